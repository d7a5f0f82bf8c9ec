// The windows an operator meets, on the desk this process was started for
// (--screen and --scale, a ctest test each): inside the screen's available
// area (the top-left corner when larger), at their given place where it
// fits, their layouts whole with a short and a ten-syllable name.
#include <QScreen>
#include <QTest>

#include "FrmRfid_Dll1.h"
#include "FrmTest1.h"
#include "console_layout.h"
#include "fake_reader.h"
#include "frm_rfid_old.h"
#include "layout_invariants.h"
#include "legacy_layout.h"
#include "message.h"
#include "test_window_layout.h"

namespace {

using rfid::ui::Twips;

void ExpectOnScreen(QWidget* window, std::span<const rfid::ui::ControlRow> table, const QPoint* given) {
  window->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  if (const QByteArray scale = qgetenv("RFID_TEST_SCALE"); !scale.isEmpty())
    EXPECT_DOUBLE_EQ(window->devicePixelRatioF(), scale.toDouble()) << "the desk's scale did not take";
  const QRect area = window->screen()->availableGeometry();
  const auto inside = [&] {  // a window manager's frame is known a moment after
    const QRect frame = window->frameGeometry();
    const bool fits = frame.width() <= area.width() && frame.height() <= area.height();
    return fits ? area.contains(frame) : area.contains(frame.topLeft());
  };
  QTest::qWaitFor(inside, 5000);
  const QRect frame = window->frameGeometry();
  EXPECT_TRUE(inside()) << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
  if (given && area.contains(frame.translated(*given - window->geometry().topLeft())))
    EXPECT_EQ(window->geometry().topLeft(), *given);
  rfid::testing::ExpectLayoutHolds(window, table, false);
}

TEST(OnScreen, EveryWindowAtThisScale) {
  rfid::testing::FakeReader reader;
  reader.card.is15693 = true;  // the legacy window's card
  rfid::ui::SetMessageHandler([](QWidget*, const QString&) {});
  const QPoint console(Twips(kConsoleLeft), Twips(kConsoleTop)), test(Twips(kTestWindowLeft), Twips(kTestWindowTop));
  for (const char* name : {"홍길동", "남궁민수아름다운이름"}) {
    for (bool enlarged : {false, true}) {  // enlarged: dragged down to the lower group
      SCOPED_TRACE(std::string(name) + (enlarged ? ", enlarged" : ""));
      FrmRfid_Dll1 window(reader);
      window.LabName->setText(QString::fromUtf8(name));
      for (QLineEdit* box : {window.TxtData_WR, window.TxtData_Read}) box->setText("0012345678");
      if (enlarged) window.resize(window.width(), window.Frame1->geometry().bottom() + Twips(120));
      ExpectOnScreen(&window, ConsoleLayout(), &console);
    }
  }
  FrmTest1 testWindow;
  ExpectOnScreen(&testWindow, TestWindowLayout(), &test);
  rfid::legacy::FrmRFID_OLD legacy(reader);
  ExpectOnScreen(&legacy, rfid::legacy::LegacyLayout(), nullptr);  // placed by the system
  rfid::ui::SetMessageHandler({});
}

}  // namespace
