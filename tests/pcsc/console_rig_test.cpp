// rfid-console started as another program starts it, on the PC/SC reader
// library, with the rig's MIFARE Classic card on the reader or taken away.
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <thread>

#include "fault_table.h"
#include "hex.h"
#include "rig_fixture.h"

namespace rfid::pcsc::rig {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Linux: offscreen, ended by SIGTERM. Windows: the library beside the
// console (the test's folder), a real window, ended by WM_CLOSE.
class Console {
 public:
  explicit Console(const QStringList& words) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : env.keys())
      if (name.startsWith("TQR_PCSC_")) env.remove(name);
#ifndef _WIN32
    env.insert("LD_LIBRARY_PATH", RFID_PCSC_LIBRARY_DIR);
    env.insert("XDG_RUNTIME_DIR", m_Dir.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
#endif
    env.insert("QT_LOGGING_RULES", "rfid.*=true");
    m_Process.setProcessEnvironment(env);
    m_Process.setStandardOutputFile(m_Dir.filePath("stdout.log"));
    m_Process.setStandardErrorFile(m_Dir.filePath("stderr.log"));
    m_Process.start(RFID_CONSOLE_BIN, words);
    m_Process.waitForStarted(10000);
  }
  ~Console() {
    m_Process.kill();
    m_Process.waitForFinished(5000);
  }

  bool Started() const { return m_Process.state() != QProcess::NotRunning; }
  bool Running() {
    if (m_Process.state() != QProcess::NotRunning) m_Process.waitForFinished(0);
    return m_Process.state() != QProcess::NotRunning;
  }
  // True when it ended within the time.
  bool WaitForExit(std::chrono::milliseconds timeout) {
    return !Running() || m_Process.waitForFinished(int(timeout.count()));
  }
  bool WaitForLog(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (Log().find(text) == std::string::npos) {
      if (Clock::now() > deadline || !Running()) return Log().find(text) != std::string::npos;
      std::this_thread::sleep_for(20ms);
    }
    return true;
  }
  void Terminate() { m_Process.terminate(); }
  int ExitCode() const {
    return m_Process.exitStatus() == QProcess::NormalExit ? m_Process.exitCode() : -1;
  }
  std::string Log(const char* name = "stderr.log") const {
    QFile log(m_Dir.filePath(name));
    return log.open(QIODevice::ReadOnly) ? log.readAll().toStdString() : std::string();
  }

 private:
  QTemporaryDir m_Dir;
  QProcess m_Process;
};


class ConsoleOnRig : public RigTest {};

// The fault table's PC/SC rows: rfid-console 0012345678 홍길동 on the PC/SC
// reader library, a fault made once the console has loaded (its detect
// done, the write due at the next tick). No row may show success while the
// card does not hold the number.
TEST_F(ConsoleOnRig, FaultTableRows) {
  using testing::FromHex;
  const Bytes number = FromHex("0012345678AAAAAA2020202020202020");
  const Bytes other = FromHex("0099999999AAAAAA2020202020202020");
  enum class Fault { None, Removed, LiftedBeside, SlowFirstPage, RemovedBetweenPages };
  struct Row {
    const char* name;
    CardType type;
    Fault fault;
    bool verified;
    // The block afterwards: the number, the old data, or the first page
    // marked FF FF FF FF (no number).
    enum { Number, Old, Marked } block;
  };
  const Row rows[] = {
      {"no fault", CardType::Classic1K, Fault::None, true, Row::Number},
      {"card taken away before the start", CardType::Classic1K, Fault::Removed, false, Row::Old},
      {"two readers, the detected card lifted", CardType::Classic1K, Fault::LiftedBeside, false,
       Row::Old},
      {"slow first page past the time limit", CardType::Ultralight, Fault::SlowFirstPage, false,
       Row::Number},
      {"card removed between pages", CardType::Ultralight, Fault::RemovedBetweenPages, false,
       Row::Marked},
  };
  std::printf("\n");
  rfid::testing::PrintFaultTableHeading("PC/SC fault");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    VirtualCard& card = NewCard(row.type);
    card.With([&](CardModel& m) { m.Write(16, other); });
    Insert(card);
    VirtualCard* beside = nullptr;
    if (row.fault == Fault::LiftedBeside) {
      beside = &NewCard(CardType::Classic1K);
      beside->With([&](CardModel& m) { m.Write(16, other); });
      Insert(*beside, kVpcdPort1);
    }
    if (row.fault == Fault::Removed) Remove(card);
    Console console({"0012345678", QStringLiteral("홍길동")});
    ASSERT_TRUE(console.Started()) << RFID_CONSOLE_BIN;
    // The first start in a fresh Wine prefix takes about 11 s.
    ASSERT_TRUE(console.WaitForLog("loaded:", 30s)) << console.Log();
    if (row.fault == Fault::LiftedBeside) Remove(card);
    if (row.fault == Fault::SlowFirstPage) card.DelayOnApdu(1, 3500);
    if (row.fault == Fault::RemovedBetweenPages) card.RemoveOnApdu(3);
    const bool verified = console.WaitForLog("write verified", 10s);
    const bool failed = !verified && console.WaitForLog("write failed", 10s);
    const bool byItself = console.WaitForExit(verified ? 5s : 3s);
    if (!byItself) console.Terminate();
    ASSERT_TRUE(console.WaitForExit(5s));
    if (row.fault == Fault::SlowFirstPage) std::this_thread::sleep_for(1s);  // its pages follow
    const Bytes block = card.With([](CardModel& m) { return m.Read(16, 16); });
    EXPECT_EQ(verified, row.verified) << console.Log();
    EXPECT_EQ(failed, !row.verified) << console.Log();
    EXPECT_EQ(byItself, row.verified);
    EXPECT_EQ(console.ExitCode(), row.verified ? 0 : 1);
    EXPECT_FALSE(verified && block != number);
    const bool blockAsExpected =
        row.block == Row::Number ? block == number
        : row.block == Row::Old  ? block == other
                                 : Bytes(block.begin(), block.begin() + 4) == Bytes(4, 0xFF);
    EXPECT_TRUE(blockAsExpected) << Hex(block);
    if (beside) {
      EXPECT_EQ(beside->With([](CardModel& m) { return m.Read(16, 16); }), other);
      // No read or write reached it (a beep may: beeps serve any reader).
      for (const Bytes& apdu : beside->Apdus()) EXPECT_EQ(apdu[1], 0x00) << row.name;
      Remove(*beside, kVpcdPort1);
    }
    const bool ok = !(verified && block != number) && verified == row.verified &&
                    blockAsExpected && console.ExitCode() == (row.verified ? 0 : 1);
    rfid::testing::PrintFaultRow(
        row.name, block == number ? "number" : block == other ? "old" : "no number",
        verified ? "정상 저장 OK" : failed ? "저장 실패" : "(none)",
        std::string(byItself ? "by itself" : "SIGTERM") + ", status " +
            std::to_string(console.ExitCode()),
        ok ? "✓" : "✗");
    if (card.Inserted()) Remove(card);
  }
  std::fflush(stdout);
}

// The unattended write on each reader family's documented answers: status
// 0 and the number on standard output exactly when the card holds it. Only
// a reader that keeps its keys to itself cannot write a Classic card.
TEST_F(ConsoleOnRig, EachReaderFamily) {
  const Bytes number = testing::FromHex("0012345678AAAAAA2020202020202020");
  for (const ReaderProfile& profile : ReaderProfiles()) {
    SCOPED_TRACE(profile.name);
    m_Cards.clear();
    m_Rig.reset();
    m_Rig = std::make_unique<PcscRig>(PcscRig::Readers::Virtual, profile.name);
    m_Cards.push_back(std::make_unique<VirtualCard>(CardType::Classic1K, profile));
    m_Cards.back()->Insert();
    ASSERT_TRUE(m_Rig->WaitForCard(std::string(profile.name) + " 00 00", true));
    Console console({"0012345678", QStringLiteral("홍길동")});
    ASSERT_TRUE(console.WaitForLog("loaded:", 30s)) << console.Log();
    if (!console.WaitForExit(8s)) console.Terminate();
    ASSERT_TRUE(console.WaitForExit(5s));
    const bool holds = m_Cards.back()->With([](CardModel& m) { return m.Read(16, 16); }) == number;
    std::string out = console.Log("stdout.log");
    std::erase(out, '\r');  // Windows' text mode
    EXPECT_EQ(console.ExitCode() == 0 && out == "0012345678\n", holds) << console.Log();
    EXPECT_EQ(holds, !profile.keys.empty()) << console.Log();
  }
}

}  // namespace
}  // namespace rfid::pcsc::rig
