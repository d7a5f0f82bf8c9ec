#include <QImage>
#include <QGroupBox>
#include <QMessageBox>
#include <QTest>

#include "console_fixture.h"
#include "twips.h"

namespace {

struct Control {
  const char* name;
  const char* kind;  // "label", "box", "button", "group"
  QString caption;
  QString family;
  qreal points;
  bool bold;
  int maxLength;  // boxes; -1: none of its own
  bool readOnly;
  const char* parent;
};

const Control kControls[] = {
    {"Frame2", "group", "", "", 0, false, -1, false, "FrmRfid_Dll1"},
    {"cmdQuit", "button", "종료(&End)", "굴림체", 11.25, false, -1, false, "Frame2"},
    {"Label3", "label", "등록번호 저장 ", "Verdana", 9.75, true, -1, false, "Frame2"},
    {"TxtData_WR", "box", "", "Verdana", 12, true, 16, false, "Frame2"},
    {"Label9", "label", "이름", "Verdana", 9.75, true, -1, false, "Frame2"},
    {"LabName", "label", "", "Verdana", 14.25, true, -1, false, "Frame2"},
    {"Label4", "label", "등록번호 Read", "Verdana", 9.75, true, -1, false, "Frame2"},
    {"TxtData_Read", "box", "", "Verdana", 12, true, 16, true, "Frame2"},
    {"CmdDiv_WR", "button", "WRITE", "Verdana", 11.25, true, -1, false, "Frame2"},
    {"CmdTimer", "button", "0", "Verdana", 12, true, -1, false, "Frame2"},
    {"CmdDiv_Read", "button", "READ", "Verdana", 11.25, true, -1, false, "Frame2"},
    {"LabMsg1", "label", "Unknown", "Verdana", 15.75, true, -1, false, "Frame2"},
    {"LabMsg2", "label", "대기중", "Verdana", 15.75, true, -1, false, "Frame2"},
    {"Frame1", "group", "Frame1", "", 0, false, -1, false, "FrmRfid_Dll1"},
    {"Label8", "label", "등록번호 자리수", "", 0, false, -1, false, "Frame1"},
    {"TxtLen", "box", "10", "굴림체", 12, true, -1, true, "Frame1"},
    {"CmdDiv_Check", "button", "Device Check", "MS Sans Serif", 9.75, true, -1, false, "Frame1"},
    {"Label6", "label", "부저음 제어", "", 0, false, -1, false, "Frame1"},
    {"CmdDiv_Beep_OK", "button", "GOOD BEEP", "", 0, false, -1, false, "Frame1"},
    {"CmdDiv_Beep_ERR", "button", "ERROR BEEP", "", 0, false, -1, false, "Frame1"},
    {"Label7", "label", "UID", "", 0, false, -1, false, "Frame1"},
    {"TxtDiv_UID", "box", "", "굴림체", 9.75, true, -1, true, "Frame1"},
    {"CmdDiv_15693", "button", "15693  DETECT", "", 0, false, -1, false, "Frame1"},
    {"CmdDiv_14443", "button", "14443A  DETECT", "", 0, false, -1, false, "Frame1"},
    {"Label1", "label", "송신프로토콜", "", 0, false, -1, false, "Frame1"},
    {"TxtData_Songsin", "box", "", "굴림체", 9.75, true, -1, true, "Frame1"},
    {"Label2", "label", "수신프로토콜", "", 0, false, -1, false, "Frame1"},
    {"TxtData_SuSin", "box", "", "굴림체", 9.75, true, -1, true, "Frame1"},
    {"Label5", "label", "Block Number", "", 0, false, -1, false, "Frame1"},
    {"TxtDiv_Block", "box", "01", "MS Sans Serif", 18, true, 2, false, "Frame1"},
    {"CmdCall_Test", "button", "Test 폼", "", 0, false, -1, false, "Frame1"},
};

TEST_F(ConsoleTest, EveryControlIsThereByNameWithItsCaptionFontAndLimits) {
  EXPECT_EQ(console->windowTitle(), "TQR-USB DLL DEMO / tqr32.dll");
  EXPECT_FALSE(console->windowIcon().isNull());
  for (int size : {16, 32, 48})
    EXPECT_FALSE(console->windowIcon().pixmap(size, size).isNull());
  for (const auto& c : kControls) {
    SCOPED_TRACE(c.name);
    auto* w = console->findChild<QWidget*>(c.name);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->parentWidget()->objectName(), c.parent);
    const std::string kind = c.kind;
    if (kind == "label") {
      EXPECT_EQ(qobject_cast<QLabel*>(w)->text(), c.caption);
    } else if (kind == "button") {
      ASSERT_NE(qobject_cast<QAbstractButton*>(w), nullptr);
      EXPECT_EQ(qobject_cast<QAbstractButton*>(w)->text(), c.caption);
    } else if (kind == "group") {
      EXPECT_EQ(qobject_cast<QGroupBox*>(w)->title(), c.caption);
    }
    if (kind == "box") {
      auto* e = qobject_cast<QLineEdit*>(w);
      ASSERT_NE(e, nullptr);
      EXPECT_EQ(e->text(), c.caption);
      EXPECT_EQ(e->isReadOnly(), c.readOnly);
      EXPECT_EQ(e->maxLength(), c.maxLength < 0 ? 32767 : c.maxLength);
    }
    if (c.points > 0) {
      EXPECT_EQ(w->font().family(), c.family);
      EXPECT_DOUBLE_EQ(w->font().pointSizeF(), c.points);
      EXPECT_EQ(w->font().bold(), c.bold);
    }
  }
  auto* timer = console->findChild<QTimer*>("Timer1");
  ASSERT_NE(timer, nullptr);
  EXPECT_EQ(timer->interval(), 2000);
  EXPECT_FALSE(timer->isActive());
}

TEST_F(ConsoleTest, EveryControlSitsWhereTheLayoutPutsIt) {
  // Left, top, width, height in twips, relative to the control's group.
  const struct {
    const char* name;
    int left, top, width, height;
  } placements[] = {
      {"Frame2", 120, 120, 7095, 2535},
      {"cmdQuit", 90, 60, 1305, 1425},
      {"Label3", 1440, 60, 1800, 285},
      {"Label9", 3300, 60, 1800, 285},
      {"Label4", 5190, 60, 1800, 285},
      {"TxtData_WR", 1440, 390, 1800, 405},
      {"LabName", 3300, 390, 1800, 405},
      {"TxtData_Read", 5190, 390, 1800, 405},
      {"CmdDiv_WR", 1440, 840, 2475, 645},
      {"CmdTimer", 3960, 840, 375, 645},
      {"CmdDiv_Read", 4350, 840, 2625, 645},
      {"LabMsg1", 90, 1560, 6885, 405},
      {"LabMsg2", 90, 2040, 6885, 405},
      {"Frame1", 150, 2850, 7035, 3495},
      {"Label8", 120, 390, 1455, 255},
      {"TxtLen", 1650, 300, 585, 375},
      {"CmdDiv_Check", 3660, 240, 1815, 495},
      {"Label6", 5760, 390, 1215, 255},
      {"CmdDiv_Beep_OK", 5760, 660, 1215, 495},
      {"CmdDiv_Beep_ERR", 5760, 1230, 1215, 495},
      {"Label7", 120, 930, 435, 255},
      {"TxtDiv_UID", 600, 870, 2415, 375},
      {"CmdDiv_15693", 120, 1350, 1815, 615},
      {"CmdDiv_14443", 2040, 1350, 1815, 615},
      {"Label1", 120, 2145, 1095, 255},
      {"TxtData_Songsin", 1230, 2100, 5055, 330},
      {"Label2", 120, 2535, 1095, 255},
      {"TxtData_SuSin", 1230, 2490, 5055, 330},
      {"Label5", 120, 2970, 1155, 255},
      {"TxtDiv_Block", 1320, 2850, 735, 495},
      {"CmdCall_Test", 5490, 2850, 1215, 495},
  };
  for (const auto& p : placements) {
    auto* w = console->findChild<QWidget*>(p.name);
    ASSERT_NE(w, nullptr) << p.name;
    using rfid::ui::Twips;
    EXPECT_EQ(w->geometry(), QRect(Twips(p.left), Twips(p.top), Twips(p.width), Twips(p.height)))
        << p.name;
  }
  // Columns and rows the layout lines up: the panel's three columns and the
  // status lines spanning it.
  EXPECT_EQ(console->Label3->x(), console->TxtData_WR->x());
  EXPECT_EQ(console->Label4->x(), console->TxtData_Read->x());
  EXPECT_EQ(console->LabMsg1->width(), console->LabMsg2->width());
  EXPECT_LE(console->LabMsg2->geometry().bottom(), console->Frame2->height());
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
  EXPECT_EQ(console->size(), QSize(rfid::ui::Twips(7350), rfid::ui::Twips(2790)));
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

TEST_F(ConsoleTest, TheClientAreasCornerIsPlacedNotTheFrames) {
  console->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(console.get()));
  const QPoint corner(rfid::ui::Twips(5100), rfid::ui::Twips(5475));
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

TEST_F(ConsoleTest, LoadKeepsTheConsoleAboveOtherWindows) {
  EXPECT_FALSE(console->windowFlags() & Qt::WindowStaysOnTopHint);
  Load();
  EXPECT_TRUE(console->windowFlags() & Qt::WindowStaysOnTopHint);
  SetTopMost(console.get(), 0);
  EXPECT_FALSE(console->windowFlags() & Qt::WindowStaysOnTopHint);
}

TEST_F(ConsoleTest, TabOrderStartsInTheLowerGroup) {
  const char* expected[] = {"CmdCall_Test", "TxtDiv_UID",   "TxtData_Songsin", "CmdDiv_14443",
                            "TxtDiv_Block", "TxtData_SuSin", "CmdDiv_15693",   "CmdDiv_Beep_ERR",
                            "CmdDiv_Beep_OK", "CmdDiv_Check", "cmdQuit",        "CmdDiv_WR",
                            "CmdDiv_Read",  "TxtData_Read",  "TxtData_WR",     "TxtLen",
                            "CmdTimer"};
  QWidget* w = console->CmdCall_Test;
  for (const char* name : expected) {
    EXPECT_EQ(w->objectName(), name);
    do w = w->nextInFocusChain();
    while (!(w->focusPolicy() & Qt::TabFocus) || w == console.get());
  }
  EXPECT_EQ(w->objectName(), "CmdCall_Test");  // and round again
  for (auto* l : console->findChildren<QLabel*>()) EXPECT_EQ(l->focusPolicy(), Qt::NoFocus);
}

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
