// The real program, started as another program would start it.
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>
#include <csignal>
#include <sys/stat.h>

#include "program_fixture.h"
#include "single_instance.h"

namespace {

class ProgramTest : public ProgramFixture {
 protected:
  static void Terminate(QProcess& p, int status) {
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), status);
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
    const char* program = RFID_CONSOLE_BIN;
    QString fileShows = {};  // RFID_LOG_FILE names a file, which shows this line
    bool fileExists = false;  // and which already holds a line
    QString stdoutTo = {};   // see Start
    bool logFifo = false;    // RFID_LOG_FILE names a FIFO that nobody reads
  } cases[] = {
      // The log names the library that ran, and that it is the simulated one.
      {"verified write", {}, {"0000000001", "홍길동"}, false, "", 0, "0000000001\n",
       "0000000001AAAAAA2020202020202020", "offscreen",
       "/lib/libtqr_32.so (simulated reader, 모의 리더기)"},
      {"short number is filled", {}, {"12345"}, false, "", 0, "0000012345\n",
       "0000012345AAAAAA2020202020202020"},
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
      // Without a display, and without a reader call: the card stays blank.
      {.name = "--version", .args = {"--version"}, .status = 0,
       .output = "rfid-console " RFID_VERSION "\n", .block = blank, .platform = nullptr},
      {.name = "--help", .args = {"--help"}, .status = 0, .output = "Usage: rfid-console [...",
       .block = blank, .platform = nullptr},
      {.name = "rfid-legacy --version", .args = {"--version"}, .status = 0,
       .output = "rfid-legacy " RFID_VERSION "\n", .platform = nullptr, .program = RFID_LEGACY_BIN},
      {.name = "tqr-sim --version", .args = {"--version"}, .status = 0,
       .output = "tqr-sim " RFID_VERSION "\n", .platform = nullptr, .program = RFID_TQR_SIM},
      {.name = "--check, a written card", .sim = {"block", "1", "0012345678AAAAAA2020202020202020"},
       .args = {"--check"}, .status = 0, .output = "%LIB%%CARD%\nblock 01: number 0012345678\n",
       .block = "0012345678AAAAAA2020202020202020", .platform = nullptr},
      {.name = "--check, a blank card", .args = {"--check"}, .status = 0,
       .output = "%LIB%%CARD%\nblock 01: no number (0000000000000000)\n", .platform = nullptr},
      {.name = "--check, no card", .sim = {"card", "none"}, .args = {"--check"}, .status = 0,
       .output = "%LIB%\nreader: found\ncard: none\nblock 01: not read (reply 4E0648: 카드가 없습니다)\n",
       .platform = nullptr},
      {.name = "--check, no reader", .sim = {"detach"}, .args = {"--check"}, .status = 2,
       .output = "%LIB%\nreader: none\n", .platform = nullptr},
      {.name = "the log also in a file", .args = {"0012345678"}, .status = 0,
       .output = "0012345678\n", .block = "0012345678AAAAAA2020202020202020",
       .fileShows = "rfid.console: write verified: 0012345678\n", .fileExists = true},
      {.name = "a line break in word 0, logged", .args = {"12\n34"}, .endAfterLog = "write refused",
       .status = 1, .block = blank, .fileShows = "registration number \"12\\n34\" is not decimal digits"},
      {.name = "no display, said in the log file too", .args = {"0012345678"}, .status = 1,
       .block = blank, .platform = nullptr, .fileShows = "no display to show the window on"},
      {.name = "a log file that is a FIFO", .args = {"0012345678"}, .status = 0,
       .output = "0012345678\n", .logShows = "is not used: ", .logFifo = true},
      // Done on the card, but the caller did not get the line.
      {.name = "standard output full", .args = {"0012345678"}, .status = 4,
       .block = "0012345678AAAAAA2020202020202020", .logShows = "did not take the line",
       .stdoutTo = "/dev/full"},
      {.name = "standard output's reader gone", .args = {"0012345678"}, .status = 4,
       .block = "0012345678AAAAAA2020202020202020", .stdoutTo = "| true"},
      {.name = "--version into a full standard output", .args = {"--version"}, .status = 4,
       .platform = nullptr, .stdoutTo = "/dev/full"},
      {.name = "rfid-legacy with an unknown option", .args = {"--bogus"}, .status = 2,
       .platform = nullptr, .logShows = "is not an option", .program = RFID_LEGACY_BIN},
  };
  const QString library = "reader library: " +
                          QFileInfo(QFileInfo(RFID_CONSOLE_BIN).path() + "/../lib/libtqr_32.so")
                              .canonicalFilePath() +
                          " (simulated reader, 모의 리더기)";
  const QString card = "\nreader: found\ncard: ISO 14443A, UID 1A2B3C4D", logFile = dir.filePath("desk.log");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Sim({"reset"});
    if (!c.sim.isEmpty()) Sim(c.sim);
    QString program = c.program;
    QProcessEnvironment env = Env();
    QFile::remove(logFile);
    if (c.fileExists) {
      QFile file(logFile);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("earlier line\n") > 0);
    }
    if (c.logFifo) ASSERT_EQ(::mkfifo(logFile.toLocal8Bit().constData(), 0600), 0);
    if (c.logFifo || !c.fileShows.isEmpty()) env.insert("RFID_LOG_FILE", logFile);
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    if (c.platform) env.insert("QT_QPA_PLATFORM", c.platform);
    else env.remove("QT_QPA_PLATFORM");
    if (c.loseLibrary) {
      program = ProgramWithoutLibrary();
      QDir().mkpath(dir.filePath("alone/empty"));
      env.insert("LD_LIBRARY_PATH", dir.filePath("alone/empty"));
    }
    auto p = Start(program, c.args, env, c.stdoutTo);
    const qint64 pid = p->processId();
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
    const QString output = QString::fromLocal8Bit(p->readAllStandardOutput());
    if (c.output.endsWith("...")) EXPECT_TRUE(output.startsWith(c.output.chopped(3))) << output.toStdString();
    else EXPECT_EQ(output, QString(c.output).replace("%LIB%", library).replace("%CARD%", card));
    if (!c.fileShows.isEmpty()) {
      QFile file(logFile);
      const QString log = file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : "";
      // Appended, each line dated to the millisecond with the process id; a
      // new file is its owner's alone (it holds registration numbers).
      const QString dated = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} \\[" + QString::number(pid) + "\\] ";
      EXPECT_TRUE(QRegularExpression(QString(c.fileExists ? "^earlier line\n" : "^") + dated +
                                     "rfid.ui: rfid-console " RFID_VERSION "\n(" + dated + ".*\n)*$")
                      .match(log).hasMatch()) << log.toStdString();
      EXPECT_TRUE(log.contains(c.fileShows)) << log.toStdString();
      if (!c.fileExists)
        EXPECT_EQ(file.permissions(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    }
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
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(SingleInstance().Acquire()) << i;
  // Another environment does not make another instance.
  QProcessEnvironment env = Env(RFID_TRACER_DIR, secondTrace);
  QDir().mkdir(dir.filePath("elsewhere"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  env.insert("XDG_RUNTIME_DIR", dir.filePath("elsewhere"));
  env.insert("TMPDIR", dir.filePath("elsewhere"));
  auto second = Start({"0012345678"}, env);
  const QString log = WaitForLog(*second, "이미 프로그램이 실행 중입니다.!");
  EXPECT_TRUE(log.contains("이미 프로그램이 실행 중입니다.!")) << log.toStdString();
  // Nobody answers the message: it closes by itself and the caller has 3.
  ASSERT_TRUE(second->waitForFinished(8000));
  EXPECT_EQ(second->exitCode(), 3);
  EXPECT_TRUE(second->readAllStandardOutput().isEmpty());
  // A look at the desk leaves the reader to the running console.
  auto check = Start({"--check"}, Env(RFID_TRACER_DIR, secondTrace));
  ASSERT_TRUE(check->waitForFinished(5000));
  EXPECT_EQ(check->exitCode(), 3);
  EXPECT_EQ(check->readAllStandardOutput(), "console: running; the reader is left to it\n");
  EXPECT_TRUE(QFile::exists(firstTrace));  // the tracer marks a process that loads it
  EXPECT_FALSE(QFile::exists(secondTrace));
  EXPECT_EQ(first->state(), QProcess::Running);  // the running copy is not touched
  Terminate(*first, 0);
  // A write started while a slow --check looks waits for it, then writes.
  Sim({"fault", "delay", "1000"});
  auto slowCheck = Start({"--check"}, Env());
  WaitForLog(*slowCheck, "reader library:");
  auto write = Start({"0012345678"}, Env());
  ASSERT_TRUE(slowCheck->waitForFinished(10000)) << slowCheck->readAllStandardError().toStdString();
  ASSERT_TRUE(write->waitForFinished(20000)) << write->readAllStandardError().toStdString();
  EXPECT_EQ(slowCheck->exitCode(), 0);
  EXPECT_EQ(write->exitCode(), 0);
  EXPECT_EQ(write->readAllStandardOutput(), "0012345678\n");
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
