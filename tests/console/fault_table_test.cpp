// One table of faults, each run through the real program as a calling
// program starts it (rfid-console 0012345678 홍길동): the card's block
// afterwards, what the window showed (the log's "write verified" is
// "정상 저장 OK", "write failed" / "write refused" is "저장 실패"), and how the
// process ended. No row may show success while the block differs. The table
// is printed so that its outcome can be quoted.
#include <algorithm>
#include <csignal>
#include <cstdio>

#include "fault_table.h"
#include "program_fixture.h"

namespace {

const QString kNumber = "0012345678";
const QString kBlank = "00000000000000000000000000000000";

enum class Library { Simulated, Missing, WithoutTransceive };

struct Row {
  const char* name;
  QStringList before;      // tqr-sim words before the start
  QStringList midWrite;    // tqr-sim words once the write frame has gone out
  Library library = Library::Simulated;
  bool verified;           // the write is expected to verify
  bool cardHolds;          // the block is expected to hold the number
  QString failureLog;      // what the log shows when it does not verify
  QStringList args = {kNumber, "홍길동"};
  QString number = kNumber;  // the zero-filled number the card is to hold
  int status = -1;           // -1: 0 when verified, else 1
};

QString BlockFor(const QString& number) {
  return number + QString(16 - number.size(), 'A') + "2020202020202020";
}

class FaultTable : public ProgramFixture {
 protected:
  // A copy of the program whose RUNPATH (bin/../lib) finds no library,
  // and a folder holding the library to load under the reader's name.
  void Place(Library library, QString& program, QProcessEnvironment& env) {
    program = RFID_CONSOLE_BIN;
    if (library == Library::Simulated) return;
    program = ProgramWithoutLibrary();
    QDir().mkpath(dir.filePath("alone/libs"));
    const QString named = dir.filePath("alone/libs/libtqr_32.so");
    QFile::remove(named);
    if (library == Library::WithoutTransceive)
      QFile::link(RFID_NO_TRANSCEIVE_LIBRARY, named);
    env.insert("LD_LIBRARY_PATH", dir.filePath("alone/libs"));
  }
};

struct Seen {
  bool shownOk = false;
  bool shownFailed = false;
  bool endedByItself = false;
  int status = -1;
  QString output;
  QString block;
  QString log;
};

TEST_F(FaultTable, NoRowShowsSuccessWhileTheBlockDiffers) {
  const std::vector<Row> rows = {
      {"no fault", {}, {}, Library::Simulated, true, true, ""},
      {"no reader", {"detach"}, {}, Library::Simulated, false, false, "write failed"},
      {"no card", {"card", "none"}, {}, Library::Simulated, false, false, "write failed"},
      // The simulated reader writes any card it has; the number is read back.
      {"wrong card kind (ISO 15693)", {"card", "15693"}, {}, Library::Simulated, true, true, ""},
      {"failed write", {"fault", "fail", "57"}, {}, Library::Simulated, false, false,
       "write failed"},
      {"lost write", {"fault", "lost-write"}, {}, Library::Simulated, false, false, "write failed"},
      {"wrong read-back", {"fault", "wrong-read"}, {}, Library::Simulated, false, true,
       "write failed"},
      {"garbage reply", {"fault", "garbage"}, {}, Library::Simulated, false, true, "write failed"},
      // The first 40 characters are the whole, true reply; the console warns
      // about the overrun and goes by them.
      {"over-long reply", {"fault", "overlong"}, {}, Library::Simulated, true, true, ""},
      {"slow reader (700 ms an exchange)", {"fault", "delay", "700"}, {}, Library::Simulated, true,
       true, ""},
      {"missing library", {}, {}, Library::Missing, false, false, "could not be loaded"},
      {"missing entry point", {}, {}, Library::WithoutTransceive, false, false,
       "tqr_data_transceive_ex"},
      {"card removed mid-write", {"fault", "delay", "1000"}, {"card", "none"}, Library::Simulated,
       false, true, "write failed"},
      {"card stops answering mid-write", {"fault", "delay", "1000"}, {"detach"},
       Library::Simulated, false, true, "write failed"},
      // A blank block's zeros are no number, read or written.
      {"lost write of \"0\"", {"fault", "lost-write"}, {}, Library::Simulated, false, false,
       "write failed", {"0"}, "0000000000"},
      {"READ of a blank card", {}, {}, Library::Simulated, false, false, "read:", {"READ"},
       kNumber, 2},
  };

  std::vector<std::pair<const Row*, Seen>> table;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Sim({"reset"});
    if (!row.before.isEmpty()) Sim(row.before);
    QString program;
    QProcessEnvironment env = Env();
    Place(row.library, program, env);

    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, row.args);
    ASSERT_TRUE(p.waitForStarted(5000));

    Seen seen;
    bool acted = row.midWrite.isEmpty();
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 25000) {
      p.waitForReadyRead(50);
      seen.log += QString::fromUtf8(p.readAllStandardError());
      if (!acted && seen.log.contains("send 57")) {
        Sim(row.midWrite);  // inside the write's delay: before the read back
        acted = true;
      }
      if (p.state() == QProcess::NotRunning) break;
      if (!row.failureLog.isEmpty() && seen.log.contains(row.failureLog)) break;
    }
    seen.endedByItself = p.state() == QProcess::NotRunning;
    if (!seen.endedByItself) {
      // Still open (a failed write, or a message waiting for a click).
      ::kill(pid_t(p.processId()), SIGTERM);
      EXPECT_TRUE(p.waitForFinished(10000));
    }
    seen.log += QString::fromUtf8(p.readAllStandardError());
    seen.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    seen.output = QString::fromLocal8Bit(p.readAllStandardOutput());
    seen.shownOk = seen.log.contains("write verified: " + row.number);
    seen.shownFailed = seen.log.contains("write failed") || seen.log.contains("write refused");
    Sim({"attach"});
    seen.block = Sim({"block", "1"});

    // The promise: success only when the card holds the number.
    const bool holds = seen.block == BlockFor(row.number);
    const int status = row.status >= 0 ? row.status : row.verified ? 0 : 1;
    EXPECT_FALSE(seen.shownOk && !holds) << seen.log.toStdString();
    EXPECT_FALSE(seen.status == 0 && !holds);
    EXPECT_FALSE(!seen.output.isEmpty() && !holds) << seen.output.toStdString();
    // What this row is expected to do.
    EXPECT_EQ(seen.shownOk, row.verified) << seen.log.toStdString();
    EXPECT_EQ(holds, row.cardHolds) << seen.block.toStdString();
    if (!row.cardHolds) {
      EXPECT_EQ(seen.block, kBlank);
    }
    EXPECT_EQ(seen.status, status);
    if (row.verified) {
      EXPECT_TRUE(seen.endedByItself);
      EXPECT_EQ(seen.output, row.number + "\n");
    } else {
      EXPECT_FALSE(seen.endedByItself) << "a failed write leaves the window open";
      EXPECT_EQ(seen.output, "");
      if (row.library == Library::Simulated && status == 1) {
        EXPECT_TRUE(seen.shownFailed) << seen.log.toStdString();
      }
    }
    table.emplace_back(&row, seen);
  }

  std::printf("\n");
  rfid::testing::PrintFaultTableHeading("fault");
  for (const auto& [row, seen] : table) {
    const bool holds = seen.block == BlockFor(row->number);
    const int status = row->status >= 0 ? row->status : row->verified ? 0 : 1;
    const bool ok = !(seen.shownOk && !holds) && seen.shownOk == row->verified &&
                    holds == row->cardHolds && seen.status == status;
    const QString window = seen.shownOk ? "정상 저장 OK" : seen.shownFailed ? "저장 실패"
                           : row->args.value(0) == "READ" ? "(read)" : "(message)";
    const QString end = QString("%1, status %2")
                            .arg(seen.endedByItself ? "by itself" : "SIGTERM")
                            .arg(seen.status);
    rfid::testing::PrintFaultRow(row->name, holds ? "number" : "blank", window.toStdString(),
                                 end.toStdString(), ok ? "✓" : "✗");
  }
  std::printf("PC/SC rows (two readers with the detected card lifted, a slow page, a card "
              "removed between pages, a reader held by another program): pcsc_console_tests "
              "and pcsc_rig_tests\n");
  std::fflush(stdout);
}

}  // namespace
