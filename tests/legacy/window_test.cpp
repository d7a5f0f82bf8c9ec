#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "dynamic_library.h"
#include "layout_invariants.h"
#include "legacy_fixture.h"
#include "legacy_layout.h"
#include "twips.h"

namespace rfid::legacy::testing {
namespace {

using Strings = std::vector<std::string>;

class WindowTest : public LegacyTest {};

TEST_F(WindowTest, TheWindowIsItsLayoutTable) {
  rfid::testing::ExpectLayoutHolds(window.get(), LegacyLayout());
}

TEST_F(WindowTest, WindowFramesAndTimer) {
  EXPECT_EQ(window->windowTitle(), QStringLiteral("Form2"));
  EXPECT_EQ(window->size(), QSize(ui::Twips(kLegacyWidth), ui::Twips(kLegacyHeight)));
  EXPECT_TRUE(window->isWindow());

  const auto frames = window->findChildren<QGroupBox*>(QStringLiteral("Frame"));
  ASSERT_EQ(frames.size(), 2);
  for (int i = 0; i < 2; ++i) EXPECT_EQ(window->Frame[i]->property("index"), QVariant(i));

  EXPECT_EQ(window->findChild<QTimer*>(QStringLiteral("Timer1")), window->Timer1);
  EXPECT_EQ(window->Timer1->interval(), 1000);
  EXPECT_FALSE(window->Timer1->isActive());
}

TEST_F(WindowTest, Command10IsClippedByItsFrame) {
  window->show();
  const QRect inFrame = window->Command10->geometry();
  EXPECT_GT(inFrame.bottom(), window->Frame[0]->rect().bottom());
  const QRect shown = window->Command10->visibleRegion().boundingRect();
  EXPECT_EQ(shown.top(), 0);
  EXPECT_LT(shown.height(), inFrame.height());
  EXPECT_LE(inFrame.top() + shown.height(), window->Frame[0]->height());
}

TEST_F(WindowTest, ShowingLoadsOnceWithTheCardSettingBeforeTheWindowIsVisible) {
  reader.card.present = false;
  std::vector<bool> visibleAtMessage;
  onMessage = [&](const QString&) { visibleAtMessage.push_back(window->isVisible()); };
  window->show();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(reader.sent, Strings{kCardSetting});
  EXPECT_EQ(messages, std::vector<QString>{kCardFailed});
  EXPECT_EQ(visibleAtMessage, std::vector<bool>{false});

  window->hide();
  window->show();
  EXPECT_EQ(reader.sent.size(), 1u) << "a second show does not load again";
  EXPECT_FALSE(window->Timer1->isActive());
}

TEST_F(WindowTest, ClosedWhileTheLoadWaitsItStaysClosed) {
  reader.card.present = false;
  onMessage = [&](const QString&) { window->close(); };
  window->show();
  EXPECT_FALSE(window->isVisible());
}

TEST_F(WindowTest, AnErrorInTheLoadIsReportedAndTheWindowOpens) {
  reader.failWith = [] { throw ReaderLibraryError("no reader library", NotLoadedText("./libtqr_32.so")); };
  window->show();
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("리더기 라이브러리를 불러오지 못했습니다: ./libtqr_32.so")});
}

TEST_F(WindowTest, ButtonsRunTheirOperations) {
  reader.card.blocks[1] = LegacyBlock("00000077");
  struct Case {
    QPushButton* button;
    Strings frames;
  };
  const Case cases[] = {
      {window->Command7, {kCardSetting}},
      {window->CmdGoodBeep, {kGoodBeep}},
      {window->CmdErrorBeep, {kErrorBeep}},
      {window->CmdWriteRead, {kRead}},
      {window->Command10, {kRead, kGoodBeep}},
      {window->Command1, {}},
      {window->CmdRead, {}},
      {window->CmdReadEnd, {}},
  };
  for (const Case& c : cases) {
    reader.sent.clear();
    QTest::mouseClick(c.button, Qt::LeftButton);
    EXPECT_EQ(reader.sent, c.frames) << c.button->objectName().toStdString();
  }
  EXPECT_EQ(window->TxtWriteRead->text(), QStringLiteral("00000077"));
  EXPECT_EQ(window->TxtRead->text(), QStringLiteral("00000077"));
  EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, WriteReadClearsThenShowsTheReadBack) {
  window->TxtWriteRead->setText(QStringLiteral("old"));
  reader.card.present = false;
  window->CmdWriteRead_Click();
  EXPECT_EQ(window->TxtWriteRead->text(), QString());
  EXPECT_EQ(Messages(kCardFailed), 1);
}

TEST_F(WindowTest, Command10WithoutACardLeavesTheBoxEmptyAndGivesNoGoodBeep) {
  window->TxtRead->setText(QStringLiteral("old"));
  reader.card.present = false;
  window->Command10_Click();
  EXPECT_EQ(window->TxtRead->text(), QString());
  EXPECT_EQ(reader.card.goodBeeps, 0);
  EXPECT_EQ(reader.card.errorBeeps, 1);
}

TEST_F(WindowTest, EndClosesTheWindowAndDiscardsItsTexts) {
  window->show();
  window->TxtWrite->setText(QStringLiteral("123"));
  window->CmdWrite_Click();
  window->TxtRead->setText(QStringLiteral("5"));
  reader.sent.clear();
  QTest::mouseClick(window->cmdEnd, Qt::LeftButton);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(reader.sent.empty());
  for (QLineEdit* box : {window->TxtRead, window->TxtWrite, window->TxtWriteRead})
    EXPECT_EQ(box->text(), QString()) << box->objectName().toStdString();
  EXPECT_EQ(window->Label3->text(), QStringLiteral("Label3"));
  EXPECT_EQ(window->Label4->text(), QStringLiteral("Label3"));

  window->show();  // loads again
  EXPECT_EQ(reader.sent, Strings{kCardSetting});
}

// --- write and verify ------------------------------------------------------

TEST_F(WindowTest, WriteButtonFormatsWritesAndVerifies) {
  struct Case {
    QString typed;
    QString written;  // what TxtWrite shows and the frame carries
    QString readBack;
    bool good;
  };
  const Case cases[] = {
      {"123", "00000123", "00000123", true},
      {"abc", "00000000", "00000000", true},
      {"12.7", "00000013", "00000013", true},
      {" 42 ", "00000042", "00000042", true},
      // Nine characters: the frame is 39 long, and the read-back holds at most 8.
      {"-5", "-00000005", "", false},
      {"123456789", "123456789", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed.toStdString());
    reader = {};
    reader.card.is15693 = true;
    // The card keeps the frame's first 8 data characters, whatever its length.
    reader.respond = [this](const std::string& frame) {
      if (frame.rfind("57", 0) == 0) {
        reader.card.blocks[1] = LegacyBlock(frame.substr(4, 8));
        return std::string("4100");
      }
      return reader.card.Respond(frame);
    };
    window->TxtWrite->setText(c.typed);
    window->TxtWriteRead->setText(QStringLiteral("old"));
    window->CmdWrite_Click();
    EXPECT_EQ(window->TxtWrite->text(), c.written);
    const std::string body = "5701" + c.written.toStdString() + "AAAAAAAA" + std::string(kHalfFill);
    ASSERT_EQ(reader.sent.size(), 4u);
    EXPECT_EQ(reader.sent[0], kCardSetting);
    EXPECT_EQ(reader.sent[1], body + Bcc(body));
    EXPECT_EQ(reader.sent[2], kRead);
    EXPECT_EQ(reader.sent[3], c.good ? kGoodBeep : kErrorBeep);
    if (c.good) {
      EXPECT_EQ(window->TxtWriteRead->text(), c.readBack);
    } else {
      EXPECT_NE(window->TxtWriteRead->text(), window->TxtWrite->text());
    }
  }
  EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, WriteButtonWithOnlySpacesDoesNothing) {
  for (const QString& typed : {QString(), QStringLiteral("    ")}) {
    window->TxtWrite->setText(typed);
    window->TxtWriteRead->setText(QStringLiteral("kept"));
    window->CmdWrite_Click();
    EXPECT_EQ(window->TxtWrite->text(), typed);
    EXPECT_EQ(window->TxtWriteRead->text(), QStringLiteral("kept"));
  }
  EXPECT_TRUE(reader.sent.empty());
}

TEST_F(WindowTest, SuccessfulWriteOf123) {
  const std::string body = "570100000123AAAAAAAA2020202020202020";
  QString label3AtRead, label4AtRead;
  reader.respond = [&](const std::string& frame) {
    if (frame == kRead) label3AtRead = window->Label3->text(), label4AtRead = window->Label4->text();
    return reader.card.Respond(frame);
  };
  QTest::keyClicks(window->TxtWrite, QStringLiteral("123"));
  QTest::keyClick(window->TxtWrite, Qt::Key_Return);  // in the box: nothing
  EXPECT_TRUE(reader.sent.empty());
  // By the keyboard, as on Windows: Enter presses the focused button.
  window->CmdWrite->setFocus();
  QTest::keyClick(window->CmdWrite, Qt::Key_Return);
  EXPECT_EQ(window->TxtWrite->text(), QStringLiteral("00000123"));
  EXPECT_EQ(window->TxtWriteRead->text(), QStringLiteral("00000123"));
  EXPECT_EQ(reader.card.Block(1), LegacyBlock("00000123"));
  EXPECT_EQ(reader.card.beeps, Strings{"good"});
  EXPECT_EQ(reader.sent, (Strings{kCardSetting, body + Bcc(body), kRead, kGoodBeep}));
  // The read goes out without the builder: the labels still show the write frame then.
  EXPECT_EQ(label3AtRead.toStdString(), body);
  EXPECT_EQ(label4AtRead.toStdString(), body + Bcc(body));
  // The good beep goes through the builder and is the last frame shown.
  EXPECT_EQ(window->Label4->text().toStdString(), kGoodBeep);
  EXPECT_TRUE(messages.empty());
}

TEST_F(WindowTest, WriteThatDoesNotReachTheCardShowsAsAMismatch) {
  reader.card.present = false;
  window->TxtWrite->setText(QStringLiteral("123"));
  window->CmdWrite_Click();
  EXPECT_EQ(window->TxtWriteRead->text(), QString());
  EXPECT_EQ(reader.card.beeps, (Strings{"error", "error"})) << "the read's and the mismatch's";
  EXPECT_EQ(Messages(kCardFailed), 1);
}

TEST_F(WindowTest, WriteTooLongIsRefusedWithAMessageAndNothingSent) {
  // 1e300 is written out in full: 301 digits.
  window->TxtWrite->setText(QStringLiteral("1e300"));
  window->CmdWrite->click();
  EXPECT_EQ(window->TxtWrite->text().size(), 301);
  EXPECT_TRUE(reader.sent.empty());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0].contains(QStringLiteral("301"))) << messages[0].toStdString();
  EXPECT_TRUE(messages[0].contains(QStringLiteral("226"))) << messages[0].toStdString();

  // Too large even for the number reader.
  messages.clear();
  window->TxtWrite->setText(QStringLiteral("1e400"));
  window->CmdWrite->click();
  EXPECT_TRUE(reader.sent.empty());
  EXPECT_EQ(messages.size(), 1u);
}

// --- the automatic loop ----------------------------------------------------

TEST_F(WindowTest, AutoReadAndAutoEndSwitchTheLoop) {
  EXPECT_FALSE(window->Timer1->isActive());
  window->CmdRead_Click();
  EXPECT_TRUE(window->Timer1->isActive());
  window->CmdRead_Click();
  EXPECT_TRUE(window->Timer1->isActive());
  window->CmdReadEnd_Click();
  EXPECT_FALSE(window->Timer1->isActive());
  window->CmdReadEnd_Click();
  EXPECT_FALSE(window->Timer1->isActive());
  EXPECT_TRUE(reader.sent.empty());
}

TEST_F(WindowTest, AutoReadTwiceRunsOneLoop) {
  reader.card.blocks[1] = LegacyBlock("00000005");
  window->Timer1->setInterval(50);
  QSignalSpy ticks(window->Timer1, &QTimer::timeout);
  QTest::mouseClick(window->CmdRead, Qt::LeftButton);
  QTest::mouseClick(window->CmdRead, Qt::LeftButton);
  QTRY_VERIFY(ticks.count() >= 3);
  window->CmdReadEnd_Click();
  // One read a tick: a second loop would read between the ticks as well.
  EXPECT_EQ(reader.CountSent("5201"), ticks.count());
}

TEST_F(WindowTest, TicksWithACardFillTheBoxWithOneGoodBeepEach) {
  reader.card.blocks[1] = LegacyBlock("00012345");
  window->CmdRead_Click();
  for (int tick = 1; tick <= 3; ++tick) {
    window->TxtRead->clear();
    window->Timer1_Timer();
    EXPECT_EQ(window->TxtRead->text(), QStringLiteral("00012345"));
    EXPECT_EQ(reader.card.goodBeeps, tick);
    EXPECT_TRUE(window->Timer1->isActive());
  }
  EXPECT_EQ(reader.card.errorBeeps, 0);
  EXPECT_EQ(reader.sent, (Strings{kRead, kGoodBeep, kRead, kGoodBeep, kRead, kGoodBeep}));
}

TEST_F(WindowTest, TicksWithoutACardGiveOnlyTheErrorBeepAndTheMessage) {
  reader.card.present = false;
  window->TxtRead->setText(QStringLiteral("old"));
  window->CmdRead_Click();
  std::vector<bool> timerDuringMessage;
  onMessage = [&](const QString&) { timerDuringMessage.push_back(window->Timer1->isActive()); };
  for (int tick = 1; tick <= 2; ++tick) {
    window->Timer1_Timer();
    EXPECT_EQ(window->TxtRead->text(), QString());
    EXPECT_EQ(reader.card.errorBeeps, tick);
    EXPECT_EQ(Messages(kCardFailed), tick);
    EXPECT_TRUE(window->Timer1->isActive());
  }
  EXPECT_EQ(reader.card.goodBeeps, 0);
  EXPECT_EQ(timerDuringMessage, (std::vector<bool>{false, false}));
}

TEST_F(WindowTest, TickNeverOverlapsItself) {
  reader.card.present = false;
  window->CmdRead_Click();
  onMessage = [&](const QString&) {
    window->Timer1_Timer();  // a tick while the first one waits in its message
  };
  window->Timer1_Timer();
  EXPECT_EQ(reader.CountSent("5201"), 1);
  EXPECT_EQ(Messages(kCardFailed), 1);
  EXPECT_TRUE(window->Timer1->isActive());
}

TEST_F(WindowTest, NoTickRunsWhileAHandlerWaitsOnItsMessage) {
  const struct {
    const char* button;
    QString writeText;
  } cases[] = {{"CmdWrite", "123"}, {"CmdWriteRead", ""}, {"Command10", ""}, {"Command7", ""}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.button);
    reader.card.present = false;
    window->CmdRead_Click();
    window->TxtWrite->setText(c.writeText);
    std::size_t framesAtMessage = 0;
    onMessage = [&](const QString&) {
      framesAtMessage = reader.sent.size();
      window->Timer1_Timer();  // the loop's tick while the handler waits
      EXPECT_EQ(reader.sent.size(), framesAtMessage) << "a tick ran inside the handler";
    };
    const int before = Messages(kCardFailed);
    window->findChild<QPushButton*>(c.button)->click();
    EXPECT_EQ(Messages(kCardFailed), before + 1);
    EXPECT_TRUE(window->Timer1->isActive());  // the loop goes on afterwards
    onMessage = nullptr;
    window->CmdReadEnd_Click();
  }
}

TEST_F(WindowTest, TheLoopsTimerIsNotCoarse) {
  EXPECT_EQ(window->Timer1->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(window->Timer1->interval(), 1000);
}

TEST_F(WindowTest, AutoEndTakesEffectBeforeTheNextTick) {
  reader.card.present = false;
  window->CmdRead_Click();
  // Clicked while a tick waits in its message: the tick must not switch the loop back on.
  onMessage = [&](const QString&) { window->CmdReadEnd_Click(); };
  window->Timer1_Timer();
  EXPECT_FALSE(window->Timer1->isActive());

  // And switched on again during a tick, the loop goes on after it.
  window->CmdRead_Click();
  onMessage = [&](const QString&) {
    window->CmdReadEnd_Click();
    window->CmdRead_Click();
  };
  window->Timer1_Timer();
  EXPECT_TRUE(window->Timer1->isActive());
}

TEST_F(WindowTest, AutoEndBetweenTicksStopsTheRealTimer) {
  reader.card.blocks[1] = LegacyBlock("00000001");
  window->Timer1->setInterval(50);
  window->CmdRead_Click();
  QSignalSpy ticks(window->Timer1, &QTimer::timeout);
  ASSERT_TRUE(ticks.wait(2000));
  QTest::mouseClick(window->CmdReadEnd, Qt::LeftButton);
  const std::size_t sent = reader.sent.size();
  QTest::qWait(300);
  EXPECT_EQ(reader.sent.size(), sent);
  EXPECT_EQ(window->TxtRead->text(), QStringLiteral("00000001"));
}

TEST_F(WindowTest, ClosingTheWindowEndsTheLoop) {
  window->show();
  window->CmdRead_Click();
  reader.card.present = false;
  onMessage = [&](const QString&) { window->close(); };  // closed during a tick
  window->Timer1_Timer();
  EXPECT_FALSE(window->Timer1->isActive());
}

TEST_F(WindowTest, AnErrorInATickIsReportedOnceAndStopsTheLoop) {
  window->CmdRead_Click();
  // Not foreseen by the window: the operator is told so, with the detail.
  reader.failWith = [] { throw std::runtime_error("reader gone"); };
  QMetaObject::invokeMethod(window->Timer1, "timeout", Qt::DirectConnection);  // as the timer delivers it
  EXPECT_FALSE(window->Timer1->isActive());
  EXPECT_EQ(messages, std::vector<QString>{QStringLiteral("프로그램 오류가 발생했습니다.\nreader gone")});
}

}  // namespace
}  // namespace rfid::legacy::testing
