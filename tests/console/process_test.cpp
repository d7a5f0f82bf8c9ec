// The real program, started as another program would start it.
#include <QThread>
#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "program_fixture.h"

namespace {

class ProgramTest : public ProgramFixture {
 protected:
  static void Terminate(QProcess& p, int status) {
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), status);
  }
  // What a refused copy does to learn who holds the name: connect to it.
  static bool ConnectsToTheRunningCopy() {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const timeval wait{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &wait, sizeof wait);
    const std::string name = "rfid-console-" + std::to_string(::getuid());
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&address),
                                     socklen_t(offsetof(sockaddr_un, sun_path) + 1 + name.size())) == 0;
    ::close(fd);
    return connected;
  }
};

// What a calling program learns: the exit status, standard output, and the
// card's block afterwards. Rows that do not end by themselves are ended by
// SIGTERM once the log shows what they did; the status must keep it.
TEST_F(ProgramTest, ACallerLearnsFromTheExitStatusAndStandardOutput) {
  const QString blank = "00000000000000000000000000000000";
  const struct {
    const char* name;
    QStringList sim;        // tqr-sim words run first
    QStringList args;
    bool loseLibrary;       // started from a folder without the reader library
    QString endAfterLog;    // empty: the program ends by itself
    int status;
    QString output;
    QString block;          // block 01 afterwards; empty: no card to look at
    const char* platform = "offscreen";  // QT_QPA_PLATFORM; nullptr: neither it nor a display
    QString logShows = {};  // on standard error, for rows that end by themselves
  } cases[] = {
      // The log names the library that ran, and that it is the simulated one.
      {"verified write", {}, {"0012345678", "홍길동"}, false, "", 0, "0012345678\n",
       "0012345678AAAAAA2020202020202020", "offscreen",
       "/lib/libtqr_32.so (simulated reader, 모의 리더기)"},
      {"short number is filled", {}, {"1"}, false, "", 0, "0000000001\n",
       "0000000001AAAAAA2020202020202020"},
      {"write that does not verify", {"fault", "lost-write"}, {"0012345678", "홍길동"}, false,
       "write failed", 1, "", blank},
      {"number too long for the box", {}, {"00123456789"}, false, "write refused", 1, "", blank},
      {"reader library missing", {}, {"0012345678"}, true, "could not be loaded", 1, "", blank},
      {"READ of a number", {"block", "1", "0000000001AAAAAA2020202020202020"}, {"READ"}, false,
       "read: 0000000001", 0, "0000000001\n", "0000000001AAAAAA2020202020202020"},
      // Ten characters of a number are ten digits: not nine and a letter.
      {"READ of nine digits and filler", {"block", "1", "123456789AAAAAAA2020202020202020"},
       {"READ"}, false, "read: 123456789A", 2, "", ""},
      {"READ without a card", {"card", "none"}, {"READ"}, false, "read: nothing", 2, "", ""},
      {"interactive start counts down and closes", {}, {}, false, "", 0, "", blank},
      // Words, but no number in word 0 (a caller's empty variable): not done.
      {"empty word 0", {}, {"", "0012345678"}, false, "loaded:", 1, "", blank},
      {"READ of a torn block", {"block", "1", "FFFFFFFF78AAAAAA2020202020202020"}, {"READ"},
       false, "read: FFFFFFFF78", 2, "", ""},
      {"number with a letter", {}, {"123456789A"}, false, "write refused", 1, "", blank},
      {"no display to show the console on", {}, {"0012345678"}, false, "", 1, "", blank, nullptr},
      {"a platform that cannot start", {}, {"0012345678"}, false, "", 1, "", blank, "bogus",
       "Could not find the Qt platform plugin \"bogus\""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sim({"reset"});
    if (!c.sim.isEmpty()) Sim(c.sim);
    QString program = RFID_CONSOLE_BIN;
    QProcessEnvironment env = Env();
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    if (c.platform) env.insert("QT_QPA_PLATFORM", c.platform);
    else env.remove("QT_QPA_PLATFORM");
    if (c.loseLibrary) {
      program = ProgramWithoutLibrary();
      QDir().mkpath(dir.filePath("alone/empty"));
      env.insert("LD_LIBRARY_PATH", dir.filePath("alone/empty"));
    }
    auto p = Start(program, c.args, env);
    if (c.endAfterLog.isEmpty()) {
      ASSERT_TRUE(p->waitForFinished(20000));
      const QString log = QString::fromUtf8(p->readAllStandardError());
      EXPECT_TRUE(log.contains(c.logShows)) << log.toStdString();
    } else {
      const QString log = WaitForLog(*p, c.endAfterLog);
      ASSERT_TRUE(log.contains(c.endAfterLog)) << log.toStdString();
      ::kill(pid_t(p->processId()), SIGTERM);
      ASSERT_TRUE(p->waitForFinished(5000));
    }
    EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p->exitCode(), c.status);
    EXPECT_EQ(QString::fromLocal8Bit(p->readAllStandardOutput()), c.output);
    if (!c.block.isEmpty()) {
      EXPECT_TRUE(Sim({"block", "1"}).contains(c.block));
    }
  }
}

TEST_F(ProgramTest, WithoutARuntimeFolderNoQtWarningReachesStandardError) {
  QProcessEnvironment env = Env();
  env.remove("XDG_RUNTIME_DIR");
  env.insert("TMPDIR", dir.path());  // the private lock folder lands here
  env.remove("QT_LOGGING_RULES");
  auto p = Start(RFID_CONSOLE_BIN, {"0012345678"}, env);
  ASSERT_TRUE(p->waitForFinished(10000));
  const QString log = QString::fromUtf8(p->readAllStandardError());
  EXPECT_EQ(p->exitCode(), 0) << log.toStdString();
  EXPECT_FALSE(log.contains("XDG_RUNTIME_DIR")) << log.toStdString();
  EXPECT_TRUE(log.contains("rfid.console: write verified: 0012345678")) << log.toStdString();
}

TEST_F(ProgramTest, ASecondCopyIsRefusedWithoutTouchingTheReader) {
  const QString firstTrace = dir.filePath("first.trace");
  const QString secondTrace = dir.filePath("second.trace");
  auto first = Start({}, Env(RFID_TRACER_DIR, firstTrace));
  WaitForLog(*first, "loaded:");
  // Many copies refused before: the running one answers each, so the queue
  // of their connections never fills.
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(ConnectsToTheRunningCopy()) << i;
  // Another environment does not make another instance.
  QProcessEnvironment env = Env(RFID_TRACER_DIR, secondTrace);
  QDir().mkdir(dir.filePath("elsewhere"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  env.insert("XDG_RUNTIME_DIR", dir.filePath("elsewhere"));
  env.insert("TMPDIR", dir.filePath("elsewhere"));
  auto second = Start({"0012345678"}, env);
  const QString log = WaitForLog(*second, "이미 프로그램이 실행 중입니다.!");
  EXPECT_TRUE(log.contains("이미 프로그램이 실행 중입니다.!")) << log.toStdString();
  Terminate(*second, 3);  // ends the copy waiting at its message
  EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
  EXPECT_TRUE(QFile::exists(firstTrace));  // the tracer marks a process that loads it
  EXPECT_FALSE(QFile::exists(secondTrace));
  EXPECT_EQ(first->state(), QProcess::Running);  // the running copy is not touched
  Terminate(*first, 0);
}

TEST_F(ProgramTest, ACopyKilledOutrightDoesNotBlockTheNext) {
  auto first = Start({}, Env());
  WaitForLog(*first, "loaded:");
  ::kill(pid_t(first->processId()), SIGKILL);
  ASSERT_TRUE(first->waitForFinished(5000));
  auto next = Start({"0087654321"}, Env());
  ASSERT_TRUE(next->waitForFinished(10000));
  EXPECT_EQ(next->exitCode(), 0);
  EXPECT_EQ(next->readAllStandardOutput(), "0087654321\n");
  EXPECT_TRUE(Sim({"block", "1"}).contains("0087654321AAAAAA"));
}

}  // namespace
