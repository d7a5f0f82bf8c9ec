#include <gtest/gtest.h>

#include <functional>
#include <map>

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "FrmTest1.h"
#include "YK_ClsRfidVB1.h"
#include "twips.h"
#include "fake_reader.h"
#include "layout_invariants.h"
#include "test_window_layout.h"
#include "dynamic_library.h"
#include "message.h"

namespace {

using Strings = std::vector<std::string>;

// The program's console if one has been made, without making one.
FrmRfid_Dll1* ExistingConsole() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* console = qobject_cast<FrmRfid_Dll1*>(w)) return console;
  return nullptr;
}

class RequestTest : public ::testing::Test {
 protected:
  rfid::testing::FakeReader reader;
  QStringList messages;
  YK_ClsRfidVB1 request;

  void SetUp() override {
    ResetGlobals();
    SetCommandLineText(QString());
    FrmRfid_Dll1::DestroyInstance();
    FrmRfid_Dll1::SetInstanceReader(&reader);
    FrmRfid_Dll1::SetTestWindowFactory([](QWidget* parent) { return new FrmTest1(parent); });
    rfid::ui::SetMessageHandler([this](QWidget*, const QString& text) { messages << text; });
  }
  void TearDown() override {
    FrmRfid_Dll1::DestroyInstance();
    FrmRfid_Dll1::SetInstanceReader(nullptr);
    FrmRfid_Dll1::SetTestWindowFactory({});
    rfid::ui::SetMessageHandler({});
    ResetGlobals();
  }

  QString Run(QString kind, std::int16_t length, QString number = QString()) {
    return request.G_YK_Rfid(kind, length, number);
  }
  std::string WrittenBlockText() const {
    for (const auto& f : reader.sent)
      if (f.rfind("57", 0) == 0) return f.substr(4, 16);
    return "";
  }
};

TEST_F(RequestTest, DirAnswersTheCurrentDirectoryWithoutTouchingTheConsole) {
  QString kind = "DIR", number;
  std::int16_t length = 0;
  EXPECT_EQ(request.G_YK_Rfid(kind, length, number), QDir::toNativeSeparators(QDir::currentPath()));
  EXPECT_EQ(length, 10);  // the caller's variable
  EXPECT_EQ(G_DataLen, 10);
  EXPECT_EQ(ExistingConsole(), nullptr);
  EXPECT_EQ(reader.deviceFindCalls, 0);
  EXPECT_TRUE(reader.sent.empty());
}

TEST_F(RequestTest, ReadsAnswerTheNumberWithTheirBeeps) {
  const struct {
    const char* name;
    QString kind;
    std::int16_t device;
    bool card;
    QString result;
    int goodBeeps, errorBeeps, reads;
    std::string block = "00123456AAAAAAAA2020202020202020";
  } cases[] = {
      {"READ with a card", "READ", 1, true, "00123456", 2, 0, 1},
      // Zeros of a blank block, or a block torn in its write, are no number.
      {"READ of a blank card", "READ", 1, true, "", 1, 1, 1, std::string(32, '0')},
      {"READ_TIMER of a torn block", "READ_TIMER", 1, true, "", 1, 0, 1,
       "FFFFFFFF78AAAAAA2020202020202020"},
      // Nine digits are no number of 8 with its filler.
      {"READ of a digit where the filler goes", "READ", 1, true, "", 1, 1, 1,
       "123456789AAAAAAA2020202020202020"},
      {"READ_TIMER with a card", "READ_TIMER", 1, true, "00123456", 2, 0, 1},
      {"READ without a card", "READ", 1, false, "", 0, 2, 1},
      {"READ_TIMER without a card", "READ_TIMER", 1, false, "", 0, 1, 1},
      {"READ without a reader", "READ", 0, true, "", 0, 1, 0},
      {"READ_TIMER without a reader", "READ_TIMER", 0, true, "", 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FrmRfid_Dll1::DestroyInstance();
    reader.sent.clear();
    reader.device = c.device;
    reader.card = {};
    reader.card.present = c.card;
    reader.card.blocks[1] = c.block;
    G_ReadData = "99999999";  // what an earlier read of another card left
    EXPECT_EQ(Run(c.kind, 8), c.result);
    EXPECT_EQ(reader.CountSent("4301"), c.goodBeeps);
    EXPECT_EQ(reader.CountSent("4302"), c.errorBeeps);
    EXPECT_EQ(reader.CountSent("5201"), c.reads);
    EXPECT_EQ(reader.CountSent("4401"), c.device ? 2 : 1);  // the load's own, then the request's
    EXPECT_EQ(reader.CountSent("4402"), 0);  // a request never detects 15693
    ASSERT_NE(ExistingConsole(), nullptr);
    EXPECT_TRUE(ExistingConsole()->Loaded());
    EXPECT_FALSE(ExistingConsole()->isVisible());
  }
}

TEST_F(RequestTest, WritesHandTheBlockTextToTheCardAndVerifyIt) {
  const struct {
    QString kind;
    std::int16_t length;
    QString number;
    QString result;
    std::string blockText;  // "" when nothing is written
  } cases[] = {
      {"WR", 8, "123", "00000123", "00000123AAAAAAAA"},
      {"WR", 8, "12345678", "12345678", "12345678AAAAAAAA"},
      {"WR", 10, "12345678", "0012345678", "0012345678AAAAAA"},
      {"WR", 0, "12345678", "0012345678", "0012345678AAAAAA"},
      {"WR", 16, "1", "0000000000000001", "0000000000000001"},
      {"WR", 12, "123456789012", "123456789012", "123456789012AAAA"},
      {"WR", 8, "", "ERROR챠트", ""},
      {"WR", -1, "", "ERROR챠트", ""},
      {"WR", 8, "123456789", "ERROR길이", ""},
      {"WR", -1, "1", "ERROR길이", ""},
      {"read", 8, "1", "00000001", "00000001AAAAAAAA"},
      {"Read", 8, "1", "00000001", "00000001AAAAAAAA"},
      {"dir", 8, "1", "00000001", "00000001AAAAAAAA"},
      {"", 8, "1", "00000001", "00000001AAAAAAAA"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind.toStdString() + "/" + std::to_string(c.length) + "/" + c.number.toStdString());
    reader.sent.clear();
    reader.card = {};
    std::int16_t length = c.length;
    QString kind = c.kind, number = c.number;
    EXPECT_EQ(request.G_YK_Rfid(kind, length, number), c.result);
    EXPECT_EQ(length, c.length == 0 ? 10 : c.length);
    EXPECT_EQ(WrittenBlockText(), c.blockText);
    if (!c.blockText.empty()) {
      EXPECT_EQ(reader.card.Block(1), c.blockText + "2020202020202020");
      EXPECT_EQ(G_ReadData, c.result);
      EXPECT_EQ(reader.card.beeps.back(), "good");
    } else {
      EXPECT_TRUE(reader.card.beeps.empty());  // bad input: no beep
      EXPECT_EQ(reader.CountSent("4401"), 1);  // the check and the detect still ran
    }
    EXPECT_TRUE(G_WriteData.isEmpty());
    EXPECT_EQ(kind, c.kind);
    EXPECT_EQ(number, c.number);
  }
}

TEST_F(RequestTest, WritesThatDoNotVerifyAnswerNothingWithTheErrorBeep) {
  const struct {
    const char* name;
    std::int16_t device;
    bool failWrites, writesStick;
    bool sent;  // a write frame went out
    QString number = "12345";
  } cases[] = {
      {"card rejects the write", 1, true, true, true},
      {"write lost", 1, false, false, true},
      {"no reader", 0, false, true, false},
      // Only digits read back as written: nothing is sent for a letter.
      {"a letter", 1, false, true, false, "1234A"},
      {"not a number at all", 1, false, true, false, "ab 1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reader.sent.clear();
    reader.card = {};
    reader.device = c.device;
    reader.card.failWrites = c.failWrites;
    reader.card.writesStick = c.writesStick;
    reader.card.blocks[1] = "0000099999AAAAAA2020202020202020";
    EXPECT_EQ(Run("WR", 10, c.number), "");
    EXPECT_EQ(G_ReadData, "");
    EXPECT_TRUE(G_WriteData.isEmpty());
    // The console's write and the request each sound the error beep once.
    EXPECT_EQ(reader.CountSent("4302"), c.sent ? 2 : 1);
    EXPECT_EQ(reader.CountSent("57"), c.sent ? 1 : 0);
  }
}

TEST_F(RequestTest, FailuresInsideARequestLeaveNothingHandedOver) {
  // Above 16 the block text cannot be built: nothing is written.
  EXPECT_THROW(Run("WR", 17, "123"), std::invalid_argument);
  EXPECT_EQ(reader.CountSent("57"), 0);
  EXPECT_EQ(reader.CountSent("4401"), 2);  // the load's and the request's
  EXPECT_TRUE(G_WriteData.isEmpty());
  EXPECT_THROW(Run("READ", -1), std::invalid_argument);

  // A later write from the console's own button writes its own box.
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  G_DataLen = 10;
  console.TxtData_WR->setText("4711");
  reader.sent.clear();
  console.CmdDiv_WR->click();
  EXPECT_EQ(WrittenBlockText(), "0000004711AAAAAA");
}

TEST_F(RequestTest, TestWindowDrivesRequestsThroughItsButtons) {
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.EnsureLoaded();
  reader.card.blocks[1] = "0012345678AAAAAA2020202020202020";
  const struct {
    const char* button;
    QString text;
    std::string blockText;
    QString readBox;
  } cases[] = {
      {"Command1", "12345678", "", "00123456"},
      {"Command2", "12345678", "12345678AAAAAAAA", "12345678"},
      {"Command2", "123", "00000123AAAAAAAA", "00000123"},
      {"Command2", "", "", ""},
      {"Command2", "123456789", "", ""},
  };
  std::shared_ptr<YK_ClsRfidVB1> firstObject;
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.button) + " " + c.text.toStdString());
    reader.sent.clear();
    console.TxtData_Read->clear();
    FrmTest1* window = nullptr;
    QString textOnOpen;
    QTimer::singleShot(0, [&] {
      window = qobject_cast<FrmTest1*>(console.TestWindow());
      ASSERT_NE(window, nullptr);
      textOnOpen = window->Text1->text();
      window->Text1->setText(c.text);
      window->findChild<QPushButton*>(c.button)->click();
      window->close();
    });
    console.CmdCall_Test->click();
    EXPECT_EQ(textOnOpen, "12345678");  // reset at every opening
    EXPECT_EQ(WrittenBlockText(), c.blockText);
    EXPECT_EQ(console.TxtData_Read->text(), c.readBox);
    EXPECT_EQ(G_DataLen, 8);
    ASSERT_NE(G_ClsRfid, nullptr);
    EXPECT_NE(G_ClsRfid, firstObject);  // a new object at every opening
    firstObject = G_ClsRfid;
    EXPECT_EQ(console.TestWindow(), window);  // the window object is kept
  }
  EXPECT_TRUE(messages.isEmpty());
}

TEST_F(RequestTest, ReadFromTheTestWindowRestartsTheConsolesCountdown) {
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.EnsureLoaded();
  console.m_TickCount = 8;
  QTimer::singleShot(0, [&] {
    auto* window = qobject_cast<FrmTest1*>(console.TestWindow());
    window->Command1->click();
    window->close();
  });
  console.CmdCall_Test->click();
  EXPECT_EQ(console.m_TickCount, 0);
  EXPECT_EQ(console.m_TickLimit, 5);
  EXPECT_TRUE(console.Timer1->isActive());
}

TEST_F(RequestTest, AFailureInARequestIsReportedOnceAndTheWindowsStayUsable) {
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.EnsureLoaded();
  reader.failWith = [] {
    throw rfid::ReaderLibraryError("reader library libtqr_32.so could not be loaded: gone",
                                   rfid::NotLoadedText("libtqr_32.so"));
  };
  bool stillOpen = false;
  QTimer::singleShot(0, [&] {
    auto* window = qobject_cast<FrmTest1*>(console.TestWindow());
    window->Command2->click();
    stillOpen = window->isVisible();
    window->close();
  });
  console.CmdCall_Test->click();
  EXPECT_TRUE(stillOpen);
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "리더기 라이브러리를 불러오지 못했습니다: libtqr_32.so");
  EXPECT_TRUE(G_WriteData.isEmpty());
  EXPECT_TRUE(console.Loaded());
}

// A verified request write closes a console in write mode; the request's
// own read-back must then not load it again nor talk to the reader, and the
// run's outcome says whether the card holds word 0's number.
TEST_F(RequestTest, TestWindowWriteInWriteModeEndsTheRunTruthfully) {
  const struct {
    QString typed;
    std::int16_t argLen;  // the test window passes 8; a caller may pass more
    std::string blockText;
    int status;
    QString output;
  } cases[] = {
      {"12345678", 8, "12345678AAAAAAAA", kExitNotWritten, ""},
      {"0012345678", 10, "0012345678AAAAAA", kExitDone, "0012345678"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    FrmRfid_Dll1::DestroyInstance();
    ResetGlobals();
    reader.card.blocks.clear();
    SetCommandLineText("0012345678 홍길동");
    FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
    console.EnsureLoaded();
    ASSERT_EQ(console.m_RunMode, "WR");
    std::size_t framesAtClose = 0;
    int findsAtClose = 0;
    QObject::connect(&console, &QDialog::finished, [&] {
      framesAtClose = reader.sent.size();
      findsAtClose = reader.deviceFindCalls;
    });
    QTimer::singleShot(0, [&] {
      auto* window = qobject_cast<FrmTest1*>(console.TestWindow());
      QString kind = "WR";
      std::int16_t length = c.argLen;
      QString number = c.typed;
      G_ClsRfid->G_YK_Rfid(kind, length, number);
      if (window->isVisible()) window->close();
    });
    console.CmdCall_Test->click();
    EXPECT_TRUE(console.Closed());
    EXPECT_FALSE(console.Loaded());
    EXPECT_EQ(reader.sent.size(), framesAtClose) << "an exchange after the console closed";
    EXPECT_EQ(reader.deviceFindCalls, findsAtClose);
    EXPECT_EQ(reader.card.Block(1).substr(0, 16), c.blockText);
    const RunOutcome outcome = Outcome(CommandWords(CommandLineText()), console);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.output, c.output);
  }
  EXPECT_TRUE(messages.isEmpty());
}

// A caller learns of block 01 at the console's own length, whatever the
// operator's block box or a card request's length did meanwhile.
TEST_F(RequestTest, TheCallersOutcomeIsBlock01AtTheConsolesLength) {
  const std::string number = "0012345678AAAAAA2020202020202020";
  const auto onBlock2 = [](void (FrmRfid_Dll1::*press)()) {
    return [press](FrmRfid_Dll1& c) { c.TxtDiv_Block->setText("02"); (c.*press)(); };
  };
  const auto request8 = [this](FrmRfid_Dll1&) { Run("READ", 8); };
  const struct {
    QString words;
    std::map<int, std::string> blocks;
    std::function<void(FrmRfid_Dll1&)> then;
    int status;
    QString output;
  } cases[] = {
      {"0012345678 x", {}, onBlock2(&FrmRfid_Dll1::CmdDiv_WR_Click), kExitNotWritten, ""},
      {"READ", {{2, number}}, onBlock2(&FrmRfid_Dll1::CmdDiv_Read_Click), kExitNothingRead, ""},
      {"READ", {{1, number}}, request8, kExitDone, "0012345678"},
      {"READ", {{1, "12345678AAAAAAAA2020202020202020"}}, request8, kExitNothingRead, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.words.toStdString() + " " + std::to_string(&c - cases));
    FrmRfid_Dll1::DestroyInstance();
    ResetGlobals();
    reader.card.blocks = c.blocks;
    SetCommandLineText(c.words);
    FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
    console.EnsureLoaded();
    c.then(console);
    const RunOutcome outcome = Outcome(CommandWords(CommandLineText()), console);
    EXPECT_EQ(outcome.status, c.status);
    EXPECT_EQ(outcome.output, c.output);
  }
}

TEST_F(RequestTest, KeysAndPlaceOfTheTestWindow) {
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.EnsureLoaded();
  bool openAfterEscape = false, openAfterEnter = false;
  int readsOnEnter = 0;
  QPoint placed;
  QTimer::singleShot(0, [&] {
    QDialog* window = console.TestWindow();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(window, &escape);
    openAfterEscape = window->isVisible();
    // Enter presses the focused READ button; in the number box nothing.
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(window->findChild<QPushButton*>("Command1"), &enter);
    QApplication::sendEvent(window->findChild<QLineEdit*>("Text1"), &enter);
    readsOnEnter = reader.CountSent("5201");
    openAfterEnter = window->isVisible();
    // Opened where its layout puts it: clear above the console.
    placed = window->geometry().topLeft();
    rfid::testing::ExpectLayoutHolds(window, TestWindowLayout());
    window->close();
  });
  console.CmdCall_Test->click();
  EXPECT_TRUE(openAfterEscape);
  EXPECT_EQ(readsOnEnter, 1);
  EXPECT_TRUE(openAfterEnter);
  EXPECT_EQ(placed, QPoint(rfid::ui::Twips(kTestWindowLeft), rfid::ui::Twips(kTestWindowTop)));
}

TEST_F(RequestTest, AWiderHandedOverNumberLeavesTheWriteBoxAtItsLimit) {
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.EnsureLoaded();
  for (std::int16_t length : {11, 16}) {
    SCOPED_TRACE(length);
    const QString number(length, '7');
    EXPECT_EQ(Run("WR", length, number), number);
    EXPECT_EQ(console.TxtData_WR->maxLength(), 10);
  }
}

TEST_F(RequestTest, CountdownRunningOutClosesTheTestWindowThenTheConsole) {
  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.EnsureLoaded();
  QStringList order;
  QTimer::singleShot(0, [&] {
    auto* window = console.TestWindow();
    QObject::connect(window, &QDialog::finished, [&] { order << "FrmTest1"; });
    QObject::connect(&console, &QDialog::finished, [&] { order << "FrmRfid_Dll1"; });
    console.m_TickCount = 99;
    console.Timer1->setInterval(1);  // the next tick comes at once
  });
  console.CmdCall_Test->click();
  EXPECT_EQ(order, (QStringList{"FrmTest1", "FrmRfid_Dll1"}));
  EXPECT_FALSE(console.Loaded());
}

}  // namespace
