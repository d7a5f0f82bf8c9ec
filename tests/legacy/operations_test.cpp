#include <QLabel>
#include <stdexcept>

#include "legacy_fixture.h"

namespace rfid::legacy::testing {
namespace {

using Strings = std::vector<std::string>;

class OperationsTest : public LegacyTest {};

TEST_F(OperationsTest, SendBuildAppendsTheCheckByteAndShowsBothFrames) {
  struct Case {
    std::string in, bcc;
  };
  const Case cases[] = {
      {"4402" + kFillStr, "46"},
      {"4301" + kFillStr, "42"},
      {"4302" + kFillStr, "41"},
      {"570100000057AAAAAAAA2020202020202020", "01"},  // below 0x10: leading zero
      {"4402" + kFillStr + "4", "42"},                  // odd length: last digit alone
      {"ab1Z", "AA"},                                   // lower case; 1Z counts 0x01
  };
  for (const Case& c : cases) {
    QString frame = QString::fromStdString(c.in);
    window->RFID_Send_Build(frame);
    EXPECT_EQ(frame.toStdString(), c.in + c.bcc);
    EXPECT_EQ(window->Label3->text().toStdString(), c.in);
    EXPECT_EQ(window->Label4->text().toStdString(), c.in + c.bcc);
  }
  EXPECT_TRUE(reader.sent.empty());
}

TEST_F(OperationsTest, SendBuildRefusesTextsBeyondItsRangeAndChangesNothing) {
  QString ok(254, u'1');
  window->RFID_Send_Build(ok);
  EXPECT_EQ(ok.size(), 256);

  QString tooLong(255, u'2');
  EXPECT_THROW(window->RFID_Send_Build(tooLong), std::length_error);
  EXPECT_EQ(tooLong, QString(255, u'2'));
  EXPECT_EQ(window->Label3->text(), QString(254, u'1'));
}

TEST_F(OperationsTest, WriteSendsCardSettingThenTheWriteFrame) {
  struct Case {
    QString number;
    std::string write;  // whole frame
  };
  const Case cases[] = {
      {QStringLiteral("12345678"), "570112345678AAAAAAAA20202020202020205E"},
      {QStringLiteral(" 1234 "), "57011234AAAAAAAA202020202020202070"},  // 32 before the check byte
      {QStringLiteral("  00000123"), "570100000123AAAAAAAA202020202020202074"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.write);
    reader.sent.clear();
    window->RFID_Write(c.number);
    EXPECT_EQ(reader.sent, (Strings{kCardSetting, c.write}));
    const std::string body = c.write.substr(0, c.write.size() - 2);
    EXPECT_EQ(window->Label3->text().toStdString(), body);
    EXPECT_EQ(window->Label4->text().toStdString(), c.write);
    if (c.write.size() == kFrameLength) {
      EXPECT_EQ(reader.card.Block(1), body.substr(4));
    }
  }
}

TEST_F(OperationsTest, WriteTooLongForAFrameIsRefusedBeforeAnythingIsSent) {
  // 226 characters make 254 before the check byte, the most it takes;
  // surrounding spaces are trimmed first and do not count.
  for (const QString& fits : {QString(226, u'1'), QStringLiteral("  ") + QString(226, u'1') + u' '}) {
    reader.sent.clear();
    window->RFID_Write(fits);
    ASSERT_EQ(reader.sent.size(), 2u);
    EXPECT_EQ(reader.sent[1].size(), 256u);
  }

  reader.sent.clear();
  window->Label3->setText(QStringLiteral("before"));
  for (int length : {227, 300, 5000})
    EXPECT_THROW(window->RFID_Write(QString(length, u'1')), WriteTooLong) << length;
  EXPECT_TRUE(reader.sent.empty());
  EXPECT_EQ(window->Label3->text(), QStringLiteral("before"));
}

TEST_F(OperationsTest, WriteOfTextThatCannotGoIntoAFrameSendsNothing) {
  EXPECT_THROW(window->RFID_Write(QStringLiteral("등록번호")), std::invalid_argument);
  EXPECT_TRUE(reader.sent.empty());
}

TEST_F(OperationsTest, ReadTakesEightCharactersFromTheFifthAndTrimsSpaces) {
  struct Case {
    std::string reply, number;
  };
  const Case cases[] = {
      {"410000012345AAAAAAAA2020202020202020", "00012345"},
      {"4100 12345  AAAAAAAA", "12345"},
      {"4100  1  2  ", "1  2"},
      {"4100\t1234567", "\t1234567"},  // only spaces are trimmed
      {"410012", "12"},                // short reply: a short field
      {"41", ""},                      // success without data
  };
  for (const Case& c : cases) {
    reader.sent.clear();
    reader.queued.push_back(c.reply);
    EXPECT_EQ(window->RFID_Read().toStdString(), c.number) << c.reply;
    EXPECT_EQ(reader.sent, Strings{kRead}) << "no beep, no card setting on success";
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(OperationsTest, FailedReadBeepsOnceSetsTheCardOnceAndReturnsNothing) {
  struct Case {
    std::string reply;
    bool cardAnswers;
  };
  const Case cases[] = {
      {"4E00", true}, {"", true}, {" 41000012345", true}, {"14000012345", false}, {"4E00", false},
  };
  for (const Case& c : cases) {
    reader.sent.clear();
    messages.clear();
    reader.card = {};
    reader.card.is15693 = c.cardAnswers;
    reader.queued.push_back(c.reply);
    EXPECT_EQ(window->RFID_Read(), QString()) << c.reply;
    EXPECT_EQ(reader.sent, (Strings{kRead, kErrorBeep, kCardSetting})) << c.reply;
    EXPECT_EQ(reader.card.errorBeeps, 1);
    EXPECT_EQ(reader.card.goodBeeps, 0);
    EXPECT_EQ(Messages(kCardFailed), c.cardAnswers ? 0 : 1) << c.reply;
  }
}

TEST_F(OperationsTest, CardSettingSendsItsStoredFrameAndReportsOnlyAFailure) {
  window->RFID_CARD_SETING();
  EXPECT_EQ(reader.sent, Strings{kCardSetting});
  EXPECT_EQ(kCardSetting, WithBcc(Detect15693Body()));
  EXPECT_TRUE(messages.empty());

  for (bool present : {true, false}) {
    reader.card.is15693 = present;  // a 14443A card or none: no answer to 15693 detection
    reader.card.present = present;
    messages.clear();
    window->RFID_CARD_SETING();
    EXPECT_EQ(messages, present ? std::vector<QString>{} : std::vector<QString>{kCardFailed});
  }
}

TEST_F(OperationsTest, ReadAndCardSettingLeaveTheLabelsAlone) {
  window->RFID_Good_Beep();
  const QString label3 = window->Label3->text(), label4 = window->Label4->text();
  reader.card.blocks[1] = LegacyBlock("00000042");
  EXPECT_EQ(window->RFID_Read(), QStringLiteral("00000042"));
  window->RFID_CARD_SETING();
  EXPECT_EQ(window->Label3->text(), label3);
  EXPECT_EQ(window->Label4->text(), label4);

  // At the start the labels keep their captions through both.
  FrmRFID_OLD fresh(reader);
  fresh.RFID_Read();
  fresh.RFID_CARD_SETING();
  EXPECT_EQ(fresh.Label3->text(), QStringLiteral("Label3"));
  EXPECT_EQ(fresh.Label4->text(), QStringLiteral("Label3"));
}

TEST_F(OperationsTest, BeepsSendTheirFramesAndShowThem) {
  window->RFID_Good_Beep();
  EXPECT_EQ(window->Label4->text().toStdString(), kGoodBeep);
  window->RFID_Error_Beep();
  EXPECT_EQ(window->Label3->text().toStdString(), "4302" + kFillStr);
  EXPECT_EQ(window->Label4->text().toStdString(), kErrorBeep);
  EXPECT_EQ(reader.sent, (Strings{kGoodBeep, kErrorBeep}));
  EXPECT_EQ(reader.card.beeps, (Strings{"good", "error"}));
}

TEST_F(OperationsTest, RepliesAreNotExaminedForWritesAndBeeps) {
  reader.respond = [](const std::string&) { return std::string("4E00"); };
  window->RFID_Write(QStringLiteral("12345678"));
  window->RFID_Good_Beep();
  window->RFID_Error_Beep();
  EXPECT_EQ(reader.sent.size(), 4u);
  EXPECT_TRUE(messages.empty());
}

TEST_F(OperationsTest, EachExchangeGetsAFreshReplyBuffer) {
  // A long reply first; a short one after it must not show the rest of it.
  reader.queued = {"410099999999", "4100"};
  EXPECT_EQ(window->RFID_Read(), QStringLiteral("99999999"));
  EXPECT_EQ(window->RFID_Read(), QString());
  EXPECT_EQ(reader.sent, Strings({kRead, kRead}));
}

TEST_F(OperationsTest, ALibraryThatCannotBeCalledFailsTheOperation) {
  reader.failWith = [] { throw std::runtime_error("reader library ./libtqr_32.so could not be loaded"); };
  EXPECT_THROW(window->RFID_CARD_SETING(), std::runtime_error);
  EXPECT_THROW(window->RFID_Read(), std::runtime_error);
  EXPECT_THROW(window->RFID_Good_Beep(), std::runtime_error);
  EXPECT_TRUE(messages.empty());
}

}  // namespace
}  // namespace rfid::legacy::testing
