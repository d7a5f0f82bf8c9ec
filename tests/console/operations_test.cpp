#include "console_fixture.h"
#include "dynamic_library.h"

namespace {

using Strings = std::vector<std::string>;
const std::string kFill = "20202020202020202020202020202020";

TEST_F(ConsoleTest, DeviceCheckShowsAndSharesTheReaderStatus) {
  const struct {
    std::int16_t found;
    QString text;
  } cases[] = {
      {1, "Device 연결 OK"},
      {-1, "Device 연결 OK"},
      {0, "No Device ---> UBS 를 분리후 다시 삽입해주세요!\""},
  };
  Load();
  for (const auto& c : cases) {
    reader.device = c.found;
    console->CmdDiv_Check_Click();
    EXPECT_EQ(console->LabMsg1->text(), c.text);
    EXPECT_EQ(G_DevMsg, c.text);
  }
  EXPECT_TRUE(reader.sent.empty());
}

TEST_F(ConsoleTest, DetectShowsTheUidOrClearsIt) {
  Load();
  const struct {
    bool is15693, present;
    void (FrmRfid_Dll1::*op)();
    std::string frame;
    QString uid;
  } cases[] = {
      {false, true, &FrmRfid_Dll1::CmdDiv_14443_Click, "44012020202020202020202020202020202045", "A1B2C3D4"},
      {true, true, &FrmRfid_Dll1::CmdDiv_15693_Click, "44022020202020202020202020202020202046", "E0040100A1B2C3D4"},
      {false, false, &FrmRfid_Dll1::CmdDiv_14443_Click, "44012020202020202020202020202020202045", ""},
      {true, true, &FrmRfid_Dll1::CmdDiv_14443_Click, "44012020202020202020202020202020202045", ""},  // wrong kind
  };
  for (const auto& c : cases) {
    reader.card.is15693 = c.is15693;
    reader.card.present = c.present;
    reader.card.uid = c.is15693 ? "E0040100A1B2C3D4" : "A1B2C3D4";
    console->TxtDiv_UID->setText("OLDUID");
    reader.sent.clear();
    (console.get()->*c.op)();
    EXPECT_EQ(reader.sent, Strings{c.frame});
    EXPECT_EQ(console->TxtDiv_UID->text(), c.uid);
    EXPECT_EQ(console->TxtData_Songsin->text().toStdString(), c.frame);
    EXPECT_TRUE(reader.card.beeps.empty());
  }
}

TEST_F(ConsoleTest, ReadCutsToTheDataLengthBeepsAndRestartsTheCountdown) {
  const struct {
    std::int16_t dataLen;
    bool ok;
    QString read;
    Strings beeps;
  } cases[] = {
      {10, true, "0000012345", {"good"}},
      {20, true, "0000012345AAAAAA", {"good"}},
      {0, true, "", {"good"}},
      {10, false, "", {"error"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.dataLen);
    Load();
    G_DataLen = c.dataLen;
    reader.card.blocks[1] = "0000012345AAAAAA2020202020202020";
    reader.card.present = c.ok;
    reader.card.beeps.clear();
    console->m_TickCount = 8;
    console->m_TickLimit = 10;
    G_ReadData = "stale";
    console->CmdDiv_Read_Click();
    EXPECT_EQ(console->TxtData_Read->text(), c.read);
    EXPECT_EQ(G_ReadData, c.read);
    EXPECT_EQ(reader.card.beeps, c.beeps);
    EXPECT_EQ(console->m_TickCount, 0);
    EXPECT_EQ(console->m_TickLimit, 5);
    // The boxes show the beep's exchange, which came last.
    EXPECT_EQ(console->TxtData_Songsin->text().left(4), c.ok ? "4301" : "4302");
    EXPECT_EQ(console->TxtData_SuSin->text().left(2), "41");
  }
}

TEST_F(ConsoleTest, BlockNumberTextsBecomeTheParameterByte) {
  Load();
  const struct {
    QString block;
    std::string frame;
  } cases[] = {
      {"01", "5201" + kFill + "53"},
      {"1", "5201" + kFill + "53"},
      {"10", "520A" + kFill + "58"},
      {"90", "525A" + kFill + "08"},
      {"0", "5200" + kFill + "52"},
  };
  for (const auto& c : cases) {
    reader.sent.clear();
    console->TxtDiv_Block->setText(c.block);
    console->CmdDiv_Read_Click();
    ASSERT_FALSE(reader.sent.empty());
    EXPECT_EQ(reader.sent[0], c.frame) << c.block.toStdString();
  }
}

TEST_F(ConsoleTest, BlockNumbersThatAreNotWholeNumbersAreRefusedAndNothingIsSent) {
  Load();
  for (QString block : {"", "a", "-1", "1 ", "+1", "1.", "가"}) {
    SCOPED_TRACE(block.toStdString());
    reader.sent.clear();
    messages.clear();
    console->TxtDiv_Block->setText(block);
    console->CmdDiv_Read->click();
    console->CmdDiv_WR->click();
    EXPECT_TRUE(reader.sent.empty());
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[0].contains("블록 번호") && messages[0].contains("\"" + block + "\""))
        << messages[0].toStdString();
    EXPECT_EQ(console->LabMsg2->text(), "저장 실패");
  }
}

TEST_F(ConsoleTest, WriteIsVerifiedByReadingTheBlockBack) {
  const struct {
    const char* name;
    QString number;
    bool failWrites, writesStick;
    std::string blockBefore;
    QString box, label, runMode;
    Strings beeps;
  } cases[] = {
      {"verified", "12345", false, true, "", "0000012345", "정상 저장 OK", "", Strings{"good", "good"}},
      {"exactly G_DataLen", "1234567890", false, true, "", "1234567890", "정상 저장 OK", "", Strings{"good", "good"}},
      {"read-back differs", "12345", false, false, "0000099999AAAAAA2020202020202020", "0000012345",
       "저장 실패", "WR실패", Strings{"good", "error"}},
      {"card rejects write", "12345", true, true, "", "0000012345", "저장 실패", "WR실패", Strings{"good", "error"}},
      {"already written", "12345", true, true, "0000012345AAAAAA2020202020202020", "0000012345",
       "정상 저장 OK", "", Strings{"good", "good"}},
      // A blank block's zeros are no number of zeros: the whole block text counts.
      {"lost write of 0", "0", false, false, "", "0000000000", "저장 실패", "WR실패",
       Strings{"good", "error"}},
      {"number right, filler torn", "12345", false, false, "0000012345FFFFFF2020202020202020",
       "0000012345", "저장 실패", "WR실패", Strings{"good", "error"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reader.card = {};
    console = std::make_unique<FrmRfid_Dll1>(reader);
    Load();
    if (!c.blockBefore.empty()) reader.card.blocks[1] = c.blockBefore;
    reader.card.failWrites = c.failWrites;
    reader.card.writesStick = c.writesStick;
    console->TxtData_WR->setText(c.number);
    console->CmdDiv_WR_Click();
    EXPECT_EQ(console->TxtData_WR->text(), c.box);
    EXPECT_EQ(console->LabMsg2->text(), c.label);
    EXPECT_EQ(console->m_RunMode, c.runMode);
    EXPECT_FALSE(console->Timer1->isActive());
    EXPECT_EQ(reader.card.beeps, c.beeps);
    ASSERT_GE(reader.sent.size(), 2u);
    EXPECT_EQ(reader.sent[0], rfid::WithBcc("5701" + PadText(c.number, 10, "0", "L").toStdString() +
                                            std::string(16 - 10, 'A') + "2020202020202020"));
    EXPECT_EQ(reader.sent[1].substr(0, 4), "5201");
    EXPECT_TRUE(console->Loaded());  // not in write mode: stays open
  }
}

// The status lines agree with the caller: a failure reads as one (white on
// dark red), a blank card says it holds no number, and a reader that answers
// again clears the no-device line (G_DevMsg keeps the device check's word).
TEST_F(ConsoleTest, TheStatusLinesSayTheOutcome) {
  const QString noDevice = "No Device ---> UBS 를 분리후 다시 삽입해주세요!\"";
  const QColor blue(0, 0, 64), red(139, 0, 0);
  const struct {
    const char* name;
    bool deviceAtLoad, deviceLater, writesStick;
    QString write, line1, line2;  // write: the number written, empty for a READ
    QColor colour2;
  } cases[] = {
      {"verified, reader plugged back", false, true, true, "12345", "Device 연결 OK", "정상 저장 OK", blue},
      {"not verified", true, true, false, "12345", "Device 연결 OK", "저장 실패", red},
      {"no reader", false, false, true, "12345", noDevice, "저장 실패", red},
      {"READ of a blank card", true, true, true, "", "Device 연결 OK", "등록번호 없음", blue},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reader.card = {};
    reader.device = c.deviceAtLoad;
    console = std::make_unique<FrmRfid_Dll1>(reader);
    Load();
    reader.device = c.deviceLater;
    reader.card.writesStick = c.writesStick;
    console->TxtData_WR->setText(c.write);
    if (c.write.isEmpty()) console->CmdDiv_Read_Click();
    else console->CmdDiv_WR_Click();
    EXPECT_EQ(console->LabMsg1->text(), c.line1);
    EXPECT_EQ(console->LabMsg1->palette().color(QPalette::Window), c.line1 == noDevice ? red : blue);
    EXPECT_EQ(G_DevMsg, c.deviceAtLoad ? "Device 연결 OK" : noDevice);
    EXPECT_EQ(console->LabMsg2->text(), c.line2);
    EXPECT_EQ(console->LabMsg2->palette().color(QPalette::Window), c.colour2);
    EXPECT_EQ(console->LabMsg2->palette().color(QPalette::WindowText), QColor(Qt::white));
  }
  // A number read afterwards puts the waiting text back.
  reader.card.blocks[1] = "0000012345AAAAAA2020202020202020";
  console->CmdDiv_Read_Click();
  EXPECT_EQ(console->LabMsg2->text(), "대기중");
}

// A message pumped during the write's exchange can close the console: the
// read box left by an earlier read must not verify the write then.
TEST_F(ConsoleTest, AWriteIsVerifiedOnlyByTheReadItMakes) {
  Load();
  reader.card.writesStick = false;
  console->TxtData_Read->setText("0000012345");
  console->TxtData_WR->setText("12345");
  reader.respond = [&](const std::string& frame) {
    if (frame.rfind("57", 0) == 0) console->done(QDialog::Accepted);
    return reader.card.Respond(frame);
  };
  console->CmdDiv_WR_Click();
  EXPECT_EQ(reader.CountSent("52"), 0);
  EXPECT_TRUE(console->LastVerifiedWrite().text.isEmpty());
  EXPECT_NE(console->LabMsg2->text(), "정상 저장 OK");
}

TEST_F(ConsoleTest, WriteOfTheWorkedExampleSendsItsFrame) {
  Load();
  console->TxtData_WR->setText("12345");
  console->CmdDiv_WR_Click();
  ASSERT_FALSE(reader.sent.empty());
  EXPECT_EQ(reader.sent[0], "57010000012345AAAAAA20202020202020209B");
  EXPECT_EQ(reader.card.Block(1), "0000012345AAAAAA2020202020202020");
}

TEST_F(ConsoleTest, WritesThatCannotWriteExactlyTheNumberAreRefused) {
  const struct {
    const char* name;
    std::int16_t dataLen;
    int boxLimit;
    QString number;
    QString mentions;
  } cases[] = {
      {"longer than G_DataLen", 8, 10, "1234567890", "8자리를 넘습니다: 1234567890"},
      {"G_DataLen above 16", 20, 16, "123", "0에서 16 사이가 아닙니다: 20"},
      {"G_DataLen negative", -1, 10, "123", "0에서 16 사이가 아닙니다: -1"},
      {"padded number cut by the box", 12, 10, "1", "10자리를 넘습니다: 000000000001"},
      // A letter could not be told from the filler when read back.
      {"a letter", 10, 10, "123456789A", "숫자만 쓸 수 있습니다: 123456789A"},
      {"not single-byte", 10, 10, "12가", "숫자만 쓸 수 있습니다: 12가"},
      {"empty", 10, 10, "", "등록번호가 없습니다."},
  };
  for (bool writeMode : {false, true}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (writeMode ? " (write mode)" : ""));
      Load();
      G_DataLen = c.dataLen;
      console->TxtData_WR->setMaxLength(c.boxLimit);
      console->TxtData_WR->setText(c.number);
      console->m_RunMode = writeMode ? "WR" : "";
      console->Timer1->start();
      messages.clear();
      reader.sent.clear();
      if (writeMode) Tick();
      else console->CmdDiv_WR->click();
      EXPECT_TRUE(reader.sent.empty());
      ASSERT_EQ(messages.size(), 1);
      EXPECT_TRUE(messages[0].contains(c.mentions)) << messages[0].toStdString();
      EXPECT_EQ(console->m_RunMode, "WR실패");
      EXPECT_FALSE(console->Timer1->isActive());
      EXPECT_EQ(console->LabMsg2->text(), "저장 실패");
      EXPECT_EQ(console->TxtData_WR->text(), c.number.left(c.boxLimit));
      EXPECT_TRUE(console->Loaded());
    }
  }
}

TEST_F(ConsoleTest, BeepsSendTheirFramesAndShowTheReply) {
  Load();
  console->CmdDiv_Beep_OK->click();
  console->CmdDiv_Beep_ERR->click();
  EXPECT_EQ(reader.sent, (Strings{"43012020202020202020202020202020202042",
                                  "43022020202020202020202020202020202041"}));
  EXPECT_EQ(reader.card.beeps, (Strings{"good", "error"}));
  EXPECT_EQ(console->TxtData_Songsin->text(), "43022020202020202020202020202020202041");
  EXPECT_EQ(console->TxtData_SuSin->text(), QString::fromStdString(rfid::WithBcc("4100")));
}

TEST_F(ConsoleTest, ReceiveBoxKeepsTheReplyUpToItsFirstNul) {
  Load();
  reader.queued = {std::string("4100AB\0CD", 9), std::string(40, '9')};
  console->CmdDiv_Beep_OK_Click();
  EXPECT_EQ(console->TxtData_SuSin->text(), "4100AB");
  console->CmdDiv_Beep_OK_Click();
  EXPECT_EQ(console->TxtData_SuSin->text(), QString(40, '9'));
}

TEST_F(ConsoleTest, AnUnboundReaderIsReportedOnceAndTheWindowStaysUsable) {
  reader.failWith = [] {
    throw rfid::ReaderLibraryError("reader library libtqr_32.so could not be loaded: libtqr_32.so: "
                                   "cannot open shared object file",
                                   rfid::NotLoadedText("libtqr_32.so"));
  };
  static QStringList log;
  log.clear();
  const QtMessageHandler previous = qInstallMessageHandler(
      [](QtMsgType, const QMessageLogContext&, const QString& line) { log << line; });
  Load("0012345678 name");
  qInstallMessageHandler(previous);
  // The operator reads Korean; the log keeps the loader's reason.
  ASSERT_EQ(messages.size(), 1);
  EXPECT_EQ(messages[0], "리더기 라이브러리를 불러오지 못했습니다: libtqr_32.so");
  EXPECT_TRUE(log.join('\n').contains("cannot open shared object file")) << log.join('\n').toStdString();
  EXPECT_TRUE(console->Loaded());

  messages.clear();
  console->CmdDiv_Read->click();
  EXPECT_EQ(messages.size(), 1);

  // A tick that fails stops the timer before its message: it never repeats.
  console->m_RunMode = "WR";
  console->Timer1->start();
  messages.clear();
  Tick();
  EXPECT_EQ(messages.size(), 1);
  EXPECT_FALSE(console->Timer1->isActive());

  console->cmdQuit->click();
  EXPECT_FALSE(console->Loaded());
}

}  // namespace
