// The real program, started as another program would start it.
#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <sys/stat.h>

namespace {

class ProgramTest : public ::testing::Test {
 protected:
  QTemporaryDir dir;
  QString runtimeDir;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    runtimeDir = dir.filePath("run");
    QDir().mkpath(runtimeDir);
    ::chmod(runtimeDir.toLocal8Bit().constData(), 0700);
  }

  QProcessEnvironment Env(const QString& libraryDir = QString(), const QString& trace = QString()) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("TQR_SIM_STATE", dir.filePath("sim.state"));
    env.insert("XDG_RUNTIME_DIR", runtimeDir);
    env.insert("QT_LOGGING_RULES", "rfid.*=true");
#ifndef RFID_SANITIZED  // see tests/CMakeLists.txt
    env.remove("LD_LIBRARY_PATH");
#endif
    if (!libraryDir.isEmpty()) env.insert("LD_LIBRARY_PATH", libraryDir);
    if (!trace.isEmpty()) env.insert("RFID_TRACE_FILE", trace);
    return env;
  }

  std::unique_ptr<QProcess> Start(const QStringList& args, const QProcessEnvironment& env) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    p->start(RFID_CONSOLE_BIN, args);
    EXPECT_TRUE(p->waitForStarted(5000));
    return p;
  }

  // Waits until the program's log shows text; returns everything logged so far.
  static QString WaitForLog(QProcess& p, const QString& text, int ms = 8000) {
    QString log;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
      p.waitForReadyRead(100);
      log += QString::fromUtf8(p.readAllStandardError());
      if (log.contains(text)) return log;
      if (p.state() == QProcess::NotRunning) break;
    }
    log += QString::fromUtf8(p.readAllStandardError());
    return log;
  }

  static void Terminate(QProcess& p) {
    ::kill(pid_t(p.processId()), SIGTERM);
    EXPECT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 0);
  }

  QString Sim(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(Env());
    p.start(RFID_TQR_SIM, args);
    EXPECT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput());
  }
};

TEST_F(ProgramTest, UnattendedWriteClosesByItselfAndTheCardHoldsTheNumber) {
  QElapsedTimer t;
  t.start();
  auto p = Start({"0012345678", "홍길동"}, Env());
  ASSERT_TRUE(p->waitForFinished(10000));
  const qint64 ms = t.elapsed();
  const QString log = QString::fromUtf8(p->readAllStandardError());
  EXPECT_EQ(p->exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(p->exitCode(), 0);
  EXPECT_GE(ms, 1900) << "the write comes at the first tick, 2 s after loading";
  EXPECT_TRUE(log.contains("write verified: 0012345678")) << log.toStdString();
  EXPECT_TRUE(Sim({"block", "1"}).contains("0012345678AAAAAA2020202020202020"));
}

TEST_F(ProgramTest, FailedWriteLeavesTheWindowOpen) {
  Sim({"fault", "lost-write"});
  auto p = Start({"0012345678", "홍길동"}, Env());
  const QString log = WaitForLog(*p, "write failed");
  EXPECT_TRUE(log.contains("write failed")) << log.toStdString();
  EXPECT_FALSE(p->waitForFinished(2500));  // a stopped timer: nothing closes it
  EXPECT_EQ(p->state(), QProcess::Running);
  Terminate(*p);
}

TEST_F(ProgramTest, ASecondCopyIsRefusedWithoutTouchingTheReader) {
  const QString firstTrace = dir.filePath("first.trace");
  const QString secondTrace = dir.filePath("second.trace");
  auto first = Start({}, Env(RFID_TRACER_DIR, firstTrace));
  WaitForLog(*first, "loaded:");
  auto second = Start({"0012345678"}, Env(RFID_TRACER_DIR, secondTrace));
  const QString log = WaitForLog(*second, "이미 프로그램이 실행 중입니다.!");
  EXPECT_TRUE(log.contains("이미 프로그램이 실행 중입니다.!")) << log.toStdString();
  Terminate(*second);  // ends the copy waiting at its message
  EXPECT_TRUE(QFile::exists(firstTrace));  // the tracer marks a process that loads it
  EXPECT_FALSE(QFile::exists(secondTrace));
  EXPECT_EQ(first->state(), QProcess::Running);  // the running copy is not touched
  Terminate(*first);
}

TEST_F(ProgramTest, ACopyKilledOutrightDoesNotBlockTheNext) {
  auto first = Start({}, Env());
  WaitForLog(*first, "loaded:");
  ::kill(pid_t(first->processId()), SIGKILL);
  ASSERT_TRUE(first->waitForFinished(5000));
  auto next = Start({"0087654321"}, Env());
  ASSERT_TRUE(next->waitForFinished(10000));
  EXPECT_EQ(next->exitCode(), 0);
  EXPECT_TRUE(Sim({"block", "1"}).contains("0087654321AAAAAA"));
}

TEST_F(ProgramTest, ReadStartShowsTheNumberAndCountsDown) {
  Sim({"block", "1", "0012345678AAAAAA2020202020202020"});
  auto p = Start({"READ"}, Env());
  const QString log = WaitForLog(*p, "read: 0012345678");
  EXPECT_TRUE(log.contains("read: 0012345678")) << log.toStdString();
  Terminate(*p);
}

}  // namespace
