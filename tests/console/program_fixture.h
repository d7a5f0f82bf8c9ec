// The real program started as another program would start it: a private
// runtime folder and simulated card per test, tqr-sim to look at the card,
// and a copy of the program that finds no reader library beside it.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>
#include <sys/stat.h>

class ProgramFixture : public ::testing::Test {
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
    env.insert("QT_LOGGING_RULES", "rfid.*=true");  // every frame sent, under rfid.reader
#ifndef RFID_SANITIZED  // see tests/CMakeLists.txt
    env.remove("LD_LIBRARY_PATH");
#endif
    if (!libraryDir.isEmpty()) env.insert("LD_LIBRARY_PATH", libraryDir);
    if (!trace.isEmpty()) env.insert("RFID_TRACE_FILE", trace);
    return env;
  }

  // tqr-sim's standard output, trimmed.
  QString Sim(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(Env());
    p.start(RFID_TQR_SIM, args);
    EXPECT_TRUE(p.waitForFinished(5000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  }

  // A copy of the program whose RUNPATH (bin/../lib) finds no library.
  QString ProgramWithoutLibrary() {
    QDir().mkpath(dir.filePath("alone/bin"));
    const QString program = dir.filePath("alone/bin/rfid-console");
    if (!QFile::exists(program)) {
      EXPECT_TRUE(QFile::copy(RFID_CONSOLE_BIN, program));
    }
    return program;
  }

  // stdoutTo: a file for standard output, or "| true" for a pipe to a
  // program that ends without reading it.
  std::unique_ptr<QProcess> Start(const QString& program, const QStringList& args,
                                  const QProcessEnvironment& env, const QString& stdoutTo = {}) {
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::SeparateChannels);
    auto* reader = stdoutTo == "| true" ? new QProcess(p.get()) : nullptr;
    if (reader) p->setStandardOutputProcess(reader);
    else if (!stdoutTo.isEmpty()) p->setStandardOutputFile(stdoutTo);
    p->start(program, args);
    EXPECT_TRUE(p->waitForStarted(5000));
    if (reader) reader->start("true", {});
    return p;
  }
  std::unique_ptr<QProcess> Start(const QStringList& args, const QProcessEnvironment& env) {
    return Start(RFID_CONSOLE_BIN, args, env);
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
};
