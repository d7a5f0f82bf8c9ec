// The windows an operator meets, on the desk this process was started for
// (--screen and --scale; a ctest test per desk): each lies inside the
// screen's available area (its top-left corner inside when it is larger),
// keeps the place it is given where that fits, and its layout holds at the
// scale: captions and the name whole, no control over another.
#include <QGroupBox>
#include <QScreen>
#include <QTest>
#include <functional>
#include <memory>
#include <optional>

#include "FrmRfid_Dll1.h"
#include "FrmTest1.h"
#include "console_layout.h"
#include "fake_reader.h"
#include "frm_rfid_old.h"
#include "layout_invariants.h"
#include "legacy_layout.h"
#include "message.h"
#include "test_window_layout.h"
#include "twips.h"

namespace {

using rfid::ui::Twips;

TEST(OnScreen, EveryWindowAtThisScale) {
  rfid::testing::FakeReader reader;
  reader.card.is15693 = true;  // the legacy window's card
  rfid::ui::SetMessageHandler([](QWidget*, const QString&) {});
  const QString tenSyllables = QStringLiteral("남궁민수아름다운이름");
  const struct {
    const char* window;
    QString name;     // the console's name label
    bool enlarged;    // the console dragged down to its lower group
  } rows[] = {{"console", QStringLiteral("홍길동"), false}, {"console", tenSyllables, false},
              {"console", tenSyllables, true},        {"test window", {}, false},
              {"legacy window", {}, false}};
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string(row.window) + (row.enlarged ? " enlarged, " : ", ") + row.name.toStdString());
    std::unique_ptr<QWidget> window;
    std::span<const rfid::ui::ControlRow> table;
    std::optional<QPoint> given;  // the system places the legacy window
    const std::string kind = row.window;
    if (kind == "console") {
      auto console = std::make_unique<FrmRfid_Dll1>(reader);
      console->LabName->setText(row.name);
      console->TxtData_WR->setText("0012345678");
      console->TxtData_Read->setText("0012345678");
      if (row.enlarged)
        console->resize(console->width(), console->Frame1->geometry().bottom() + Twips(120));
      table = ConsoleLayout();
      given = {Twips(kConsoleLeft), Twips(kConsoleTop)};
      window = std::move(console);
    } else if (kind == "test window") {
      window = std::make_unique<FrmTest1>(nullptr);
      table = TestWindowLayout();
      given = {Twips(kTestWindowLeft), Twips(kTestWindowTop)};
    } else {
      window = std::make_unique<rfid::legacy::FrmRFID_OLD>(reader);
      table = rfid::legacy::LegacyLayout();
    }
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    if (const QByteArray scale = qgetenv("RFID_TEST_SCALE"); !scale.isEmpty())
      EXPECT_DOUBLE_EQ(window->devicePixelRatioF(), scale.toDouble()) << "the desk's scale did not take";
    const QRect area = window->screen()->availableGeometry();
    const QRect frame = window->frameGeometry();
    if (frame.width() <= area.width() && frame.height() <= area.height())
      EXPECT_TRUE(area.contains(frame)) << "frame " << frame.x() << "," << frame.y() << " " << frame.width()
                                        << "x" << frame.height() << " on " << area.width() << "x"
                                        << area.height();
    else
      EXPECT_TRUE(area.contains(frame.topLeft()));
    // Placed by its client area's corner; kept there when it fits.
    if (given && area.contains(frame.translated(*given - window->geometry().topLeft())))
      EXPECT_EQ(window->geometry().topLeft(), *given);
    rfid::testing::ExpectLayoutHolds(window.get(), table, false);
    window->hide();
  }
  rfid::ui::SetMessageHandler({});
}

}  // namespace
