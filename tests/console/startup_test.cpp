#include <QDialog>
#include <QSignalSpy>

#include "console_fixture.h"

namespace {

// Linux's argv in UTF-8 (Windows reads the wide command line instead).
#ifndef _WIN32
TEST(CommandLine, WordsAreJoinedAndSplitAtEverySingleSpace) {
  const struct {
    std::vector<const char*> argv;
    QString text;
    QStringList words;
  } cases[] = {
      {{"rfid-console"}, "", {}},
      {{"rfid-console", "READ"}, "READ", {"READ"}},
      {{"rfid-console", "0012345678", "홍길동"}, "0012345678 홍길동", {"0012345678", "홍길동"}},
      {{"rfid-console", "0012345678  name"}, "0012345678  name", {"0012345678", "", "name"}},
      {{"rfid-console", "-style", "x"}, "-style x", {"-style", "x"}},
      {{"rfid-console", "\"a b\""}, "\"a b\"", {"\"a", "b\""}},
      {{"rfid-console", ""}, "", {}},
  };
  for (const auto& c : cases) {
    std::vector<char*> argv;
    for (const char* a : c.argv) argv.push_back(const_cast<char*>(a));
    const QString text = JoinArguments(int(argv.size()), argv.data());
    EXPECT_EQ(text, c.text);
    EXPECT_EQ(CommandWords(text), c.words) << text.toStdString();
  }
}
#endif

TEST_F(ConsoleTest, LoadSequenceTakesTheCommandLine) {
  const struct {
    QString commandLine;
    QString name, box, runMode;
    bool readAtLoad;
  } cases[] = {
      {"", "", "", "", false},
      {"READ", "READ", "", "", true},
      {"READ 홍길동", "READ", "", "", true},
      {"read", "", "read", "WR", false},
      {"0012345678 홍길동", "홍길동", "0012345678", "WR", false},
      {"0012345678  홍길동", "", "0012345678", "WR", false},
      {"0012345678 홍길동 김철수", "홍길동", "0012345678", "WR", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine.toStdString());
    ResetGlobals();
    reader.sent.clear();
    console = std::make_unique<FrmRfid_Dll1>(reader);
    SetCommandLineText(c.commandLine);
    reader.simulated = (&c - cases) % 2;
    console->EnsureLoaded();
    EXPECT_EQ(console->windowTitle().contains("모의 리더기"), reader.simulated);
    EXPECT_EQ(console->LabName->text(), c.name);
    EXPECT_EQ(console->TxtData_WR->text(), c.box);
    EXPECT_EQ(console->m_RunMode, c.runMode);
    EXPECT_EQ(console->TxtData_WR->maxLength(), 10);
    EXPECT_EQ(G_DataLen, 10);
    EXPECT_TRUE(console->Timer1->isActive());
    EXPECT_EQ(console->m_TickLimit, 10);
    EXPECT_EQ(console->m_TickCount, 0);
    // Device check, then 14443A detect, then the read when asked for.
    std::vector<std::string> expected = {"4401"};
    if (c.readAtLoad) expected.insert(expected.end(), {"5201", "4301"});
    EXPECT_EQ(Commands(), expected);
    EXPECT_EQ(reader.deviceFindCalls, 1);
    reader.deviceFindCalls = 0;
    EXPECT_FALSE(console->isVisible());  // all of it before the window shows
  }
}

TEST_F(ConsoleTest, LoadKeepsADataLengthAlreadySet) {
  G_DataLen = 8;
  Load();
  EXPECT_EQ(G_DataLen, 8);
  EXPECT_EQ(console->TxtData_WR->maxLength(), 10);
}

TEST_F(ConsoleTest, CountdownShowsTheSecondsAndClosesAfterTheLimit) {
  const struct {
    QString commandLine;
    bool readFirst, clickTimer;
    QStringList captions;
  } cases[] = {
      {"", false, false, {"2", "4", "6", "8", "10", "12"}},
      {"READ", false, false, {"2", "4", "6", "8", "10", "12"}},
      {"", true, false, {"2", "4", "6"}},
      {"", false, true, {"101"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.commandLine.toStdString() + (c.readFirst ? " read" : "") + (c.clickTimer ? " timer" : ""));
    console = std::make_unique<FrmRfid_Dll1>(reader);
    Load(c.commandLine);
    if (c.readFirst) console->CmdDiv_Read->click();
    if (c.clickTimer) console->CmdTimer->click();
    EXPECT_EQ(console->CmdTimer->text(), "0");  // the click does not change the caption
    QStringList captions;
    for (int i = 0; i < 20 && console->Loaded(); ++i) {
      Tick();
      captions << console->CmdTimer->text();
    }
    EXPECT_EQ(captions, c.captions);
    EXPECT_FALSE(console->Loaded());
    EXPECT_FALSE(console->Timer1->isActive());
  }
}

TEST_F(ConsoleTest, WriteModeWritesAtTheFirstTickAndClosesOnlyWhenVerified) {
  const struct {
    bool verifies, clickTimer;
    bool closed;
    QString caption, label, runMode;
  } cases[] = {
      {true, false, true, "2", "정상 저장 OK", "WR"},
      {true, true, true, "101", "정상 저장 OK", "WR"},  // the click does not close in write mode
      {false, false, false, "2", "저장 실패", "WR실패"},
  };
  for (const auto& c : cases) {
    reader.card = {};
    reader.card.failWrites = !c.verifies;
    console = std::make_unique<FrmRfid_Dll1>(reader);
    Load("0012345678 홍길동");
    if (c.clickTimer) console->CmdTimer->click();
    Tick();
    EXPECT_EQ(console->CmdTimer->text(), c.caption);
    EXPECT_EQ(console->Loaded(), !c.closed);
    EXPECT_EQ(console->LabMsg2->text(), c.label);
    EXPECT_EQ(console->m_RunMode, c.runMode);
    EXPECT_FALSE(console->Timer1->isActive());
    EXPECT_EQ(Commands().front(), "5701");
    if (!c.closed) {
      // The timer stays stopped: later ticks and clicks change nothing.
      const auto sent = reader.sent.size();
      console->CmdTimer->click();
      Tick();
      EXPECT_EQ(reader.sent.size(), sent);
      EXPECT_TRUE(console->Loaded());
      // A verified write from the button afterwards does not close either.
      reader.card.failWrites = false;
      console->CmdDiv_WR->click();
      EXPECT_EQ(console->LabMsg2->text(), "정상 저장 OK");
      EXPECT_TRUE(console->Loaded());
    }
  }
}

TEST_F(ConsoleTest, VerifiedWriteFromTheButtonStopsTheCountdownForGood) {
  Load();
  console->TxtData_WR->setText("77");
  Tick();
  console->CmdDiv_WR->click();
  EXPECT_EQ(console->LabMsg2->text(), "정상 저장 OK");
  EXPECT_FALSE(console->Timer1->isActive());
  for (int i = 0; i < 10; ++i) Tick();
  EXPECT_TRUE(console->Loaded());
  EXPECT_EQ(console->CmdTimer->text(), "2");
}

TEST_F(ConsoleTest, AWordTooLongForTheWriteBoxIsAFailedWriteNotACutOne) {
  Load("12345678901 홍길동");
  EXPECT_EQ(console->TxtData_WR->text(), "");
  EXPECT_EQ(console->LabName->text(), "홍길동");
  EXPECT_EQ(console->m_RunMode, "WR");
  Tick();
  EXPECT_TRUE(reader.sent.empty());
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains("12345678901")) << messages[0].toStdString();
  EXPECT_EQ(console->LabMsg2->text(), "저장 실패");
  EXPECT_EQ(console->m_RunMode, "WR실패");
  EXPECT_FALSE(console->Timer1->isActive());
  EXPECT_TRUE(console->Loaded());
  // The refusal is reported once; a number typed afterwards is written.
  console->TxtData_WR->setText("42");
  console->CmdDiv_WR->click();
  EXPECT_EQ(messages.size(), 1);
  EXPECT_EQ(console->LabMsg2->text(), "정상 저장 OK");
}

TEST_F(ConsoleTest, CountdownRunningOutClosesTheTestWindowFirst) {
  QDialog* testWindow = nullptr;
  FrmRfid_Dll1::SetTestWindowFactory([&](QWidget* parent) {
    testWindow = new QDialog(parent);
    return testWindow;
  });
  Load();
  QStringList order;
  bool testWindowWasOpen = false;
  // While the test window's modal loop runs, the ticks keep coming.
  QTimer::singleShot(0, [&] {
    testWindowWasOpen = testWindow && testWindow->isVisible();
    QObject::connect(testWindow, &QDialog::finished, [&] { order << "test window"; });
    QObject::connect(console.get(), &QDialog::finished, [&] { order << "console"; });
    for (int i = 0; i < 6; ++i) Tick();
  });
  console->CmdCall_Test->click();
  FrmRfid_Dll1::SetTestWindowFactory({});
  EXPECT_TRUE(testWindowWasOpen);
  EXPECT_EQ(order, (QStringList{"test window", "console"}));
  EXPECT_FALSE(console->Loaded());
  EXPECT_EQ(console->TestWindow(), testWindow);  // kept for the next click
}

TEST_F(ConsoleTest, TestButtonOpensNothingWithoutATestWindow) {
  Load();
  console->CmdCall_Test->click();
  EXPECT_EQ(console->TestWindow(), nullptr);
  EXPECT_TRUE(messages.isEmpty());
}

}  // namespace

namespace {

TEST_F(ConsoleTest, AConsoleClosedWhileItLoadsNeverShows) {
  // A message during the load is where a close can arrive before the window shows.
  reader.failWith = [] { throw std::runtime_error("reader gone"); };
  rfid::ui::SetMessageHandler([this](QWidget*, const QString& text) {
    messages << text;
    console->close();
  });
  EXPECT_EQ(console->ShowModal(), QDialog::Rejected);
  EXPECT_EQ(messages.size(), 1);
  EXPECT_FALSE(console->isVisible());
}

}  // namespace
