#include <QImage>
#include <QGroupBox>
#include <QMessageBox>
#include <QScreen>
#include <QTest>

#include "console_fixture.h"
#include "console_layout.h"
#include "layout_invariants.h"
#include "twips.h"

namespace {

TEST_F(ConsoleTest, TheWindowIsItsLayoutTable) {
  rfid::testing::ExpectLayoutHolds(console.get(), ConsoleLayout());
  EXPECT_EQ(console->windowTitle(), "TQR-USB DLL DEMO / tqr32.dll");
  for (int size : {16, 32, 48}) EXPECT_FALSE(console->windowIcon().pixmap(size, size).isNull());
  for (auto* l : console->findChildren<QLabel*>()) EXPECT_EQ(l->focusPolicy(), Qt::NoFocus);
  // The close button's picture is as sharp as the screen at 150 % and 200 %.
  for (qreal ratio : {1.0, 1.5, 2.0})
    EXPECT_EQ(console->cmdQuit->icon().pixmap(console->cmdQuit->iconSize(), ratio).size(),
              console->cmdQuit->iconSize() * ratio);
}

// The icon theme's files the package installs are painted by the window's
// own painter: at the window's sizes they are its icon, pixel for pixel.
#ifdef RFID_ICON_DIR
TEST_F(ConsoleTest, IconThemeFilesAreTheWindowsIcon) {
  for (int size : {16, 32, 48, 256}) {
    SCOPED_TRACE(size);
    const QString file = QStringLiteral(RFID_ICON_DIR "/%1x%1/apps/rfid-console.png").arg(size);
    const QImage installed(file);
    ASSERT_FALSE(installed.isNull()) << file.toStdString();
    EXPECT_EQ(installed.size(), QSize(size, size));
    // The card's body fills the middle; the corners stay transparent.
    EXPECT_EQ(installed.pixelColor(size / 2, size / 2 + size / 4), QColor(0, 0, 64));
    EXPECT_EQ(installed.pixelColor(0, 0).alpha(), 0);
    if (size > 48) continue;  // the window's icon holds 16, 32 and 48
    const QImage window =
        console->windowIcon().pixmap(size, size).toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(installed.convertToFormat(QImage::Format_ARGB32), window);
  }
}
#endif

TEST_F(ConsoleTest, WindowShowsTheUpperPanelAndHidesTheLowerGroupBelowIt) {
  const QRect panel = console->Frame2->geometry();
  EXPECT_EQ(console->size(), QSize(rfid::ui::Twips(kConsoleWidth), rfid::ui::Twips(kConsoleHeight)));
  EXPECT_LE(panel.bottom(), console->height());
  EXPECT_GE(console->Frame1->y(), console->height());
  EXPECT_EQ(console->palette().color(QPalette::Window), QColor(0, 0, 64));
  EXPECT_EQ(console->Frame2->palette().color(QPalette::Window), QColor(Qt::white));
  EXPECT_EQ(console->LabMsg1->palette().color(QPalette::WindowText), QColor(Qt::white));
  EXPECT_EQ(console->Label8->palette().color(QPalette::Window),
            QApplication::palette().color(QPalette::Window));  // the lower group keeps the system's
  // The frame can be enlarged to reach the lower group.
  EXPECT_LT(console->minimumHeight(), console->Frame1->geometry().bottom());
  EXPECT_GT(console->maximumHeight(), console->Frame1->geometry().bottom());
}

// The name is the operator's guard against the wrong patient's card: ten
// syllables read whole, a longer name keeps its start and loses its end.
TEST_F(ConsoleTest, ALongNameKeepsItsStart) {
  const int width = console->LabName->contentsRect().width() - 2;
  const QFont font = console->LabName->font();
  const auto ten = rfid::ui::FitText("남궁민수아름다운이름", font, width);
  EXPECT_EQ(ten.shown, "남궁민수아름다운이름");
  EXPECT_GE(ten.font.pointSizeF(), rfid::ui::kFloorPoints);
  const auto longer = rfid::ui::FitText("남궁민수아름다운이름남궁민수아름다운이름", font, width);
  EXPECT_TRUE(longer.shown.startsWith("남궁민수")) << longer.shown.toStdString();
  EXPECT_TRUE(longer.shown.endsWith(QChar(0x2026))) << longer.shown.toStdString();
}

// Wherever it is put, a shown window lies inside its screen's available area.
TEST_F(ConsoleTest, TheWindowStaysOnTheScreen) {
  const QRect area = console->screen()->availableGeometry();
  for (const QPoint at : {area.bottomRight(), QPoint(-5000, -5000)}) {
    console->move(at);
    console->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(console.get()));
    EXPECT_TRUE(area.contains(console->frameGeometry())) << console->frameGeometry().x();
    console->hide();
  }
}

TEST_F(ConsoleTest, TheClientAreasCornerIsPlacedNotTheFrames) {
  console->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(console.get()));
  const QPoint corner(rfid::ui::Twips(kConsoleLeft), rfid::ui::Twips(kConsoleTop));
  EXPECT_EQ(console->geometry().topLeft(), corner);
  EXPECT_EQ(console->mapToGlobal(QPoint(0, 0)), corner);
  console->hide();
}

TEST_F(ConsoleTest, CountdownTimersAreNotCoarse) {
  // A coarse timer may fire up to 5 % early: the countdown's 2 s must hold.
  EXPECT_EQ(console->Timer1->timerType(), Qt::PreciseTimer);
  EXPECT_EQ(console->Timer1->interval(), 2000);
}

TEST_F(ConsoleTest, MessagesShowCallerTextAsItStands) {
  rfid::ui::SetMessageHandler({});  // the real message box
  const QString word0 = "<b>1</b><!--x";
  SetCommandLineText(word0);
  QString shown;
  Qt::TextFormat format = Qt::AutoText;
  QTimer::singleShot(0, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    ASSERT_NE(box, nullptr);
    shown = box->text();
    format = box->textFormat();
    box->accept();
  });
  console->EnsureLoaded();
  console->CmdDiv_WR->click();  // refused: the number is longer than the box
  EXPECT_TRUE(shown.contains(word0)) << shown.toStdString();
  EXPECT_EQ(format, Qt::PlainText);
}

// The stay-on-top window flag: Windows calls SetWindowPos instead, which
// needs a desktop (the keyboard runs check it there).
#ifndef _WIN32
TEST_F(ConsoleTest, LoadKeepsTheConsoleAboveOtherWindows) {
  EXPECT_FALSE(console->windowFlags() & Qt::WindowStaysOnTopHint);
  Load();
  EXPECT_TRUE(console->windowFlags() & Qt::WindowStaysOnTopHint);
  SetTopMost(console.get(), 0);
  EXPECT_FALSE(console->windowFlags() & Qt::WindowStaysOnTopHint);
}
#endif

TEST_F(ConsoleTest, TypingStopsAtTheMaximumLengthAndReadOnlyBoxesRefuseIt) {
  Load();
  console->show();
  QTest::keyClicks(console->TxtData_WR, "123456789012345");
  EXPECT_EQ(console->TxtData_WR->text(), "1234567890");
  console->TxtDiv_Block->clear();
  QTest::keyClicks(console->TxtDiv_Block, "123");
  EXPECT_EQ(console->TxtDiv_Block->text(), "12");
  for (QLineEdit* box : {console->TxtLen, console->TxtData_Read, console->TxtDiv_UID,
                         console->TxtData_Songsin, console->TxtData_SuSin}) {
    const QString before = box->text();
    QTest::keyClicks(box, "99");
    EXPECT_EQ(box->text(), before) << box->objectName().toStdString();
  }
  // A longer text put in by the program is cut without an error.
  console->TxtData_WR->setText("ABCDEFGHIJKLMNOP");
  EXPECT_EQ(console->TxtData_WR->text(), "ABCDEFGHIJ");
  console->TxtData_SuSin->setText(QString(40, 'x'));
  EXPECT_EQ(console->TxtData_SuSin->text().size(), 40);
  console->hide();
}

TEST_F(ConsoleTest, EscapeDoesNotCloseTheConsoleButQuitDoesWithItsAccessKey) {
  Load();
  console->show();
  console->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(console.get()));
  QTest::keyClick(console->windowHandle(), Qt::Key_Escape);
  EXPECT_TRUE(console->Loaded());
  EXPECT_TRUE(console->isVisible());
  // Enter presses the focused button, as on Windows; in a text box it
  // presses nothing and closes nothing.
  console->CmdDiv_Read->setFocus();
  QTest::keyClick(console->CmdDiv_Read, Qt::Key_Return);
  EXPECT_EQ(reader.CountSent("5201"), 1);
  console->TxtData_WR->setFocus();
  QTest::keyClick(console->TxtData_WR, Qt::Key_Enter, Qt::KeypadModifier);
  EXPECT_EQ(reader.CountSent("5201"), 1);
  EXPECT_EQ(reader.CountSent("57"), 0);
  EXPECT_TRUE(console->isVisible());
  EXPECT_EQ(console->cmdQuit->shortcut(), QKeySequence(Qt::ALT | Qt::Key_E));
  console->cmdQuit->click();
  EXPECT_FALSE(console->Loaded());
  EXPECT_FALSE(console->isVisible());
}

}  // namespace
