#include "test_window_layout.h"

using K = rfid::ui::ControlKind;

std::span<const rfid::ui::ControlRow> TestWindowLayout() {
  // name, kind, parent, left, top, width, height, caption, font, points, bold, tab
  static const rfid::ui::ControlRow kTable[] = {
      {"Command1", K::Button, nullptr, 150, 90, 435, 615, "READ", nullptr, 0, false, 0},
      {"Command2", K::Button, nullptr, 2460, 90, 435, 615, "WR", nullptr, 0, false, 1},
      {"Text1", K::Box, nullptr, 630, 300, 1785, 375, "12345678", nullptr, 0, false, 2},
  };
  return kTable;
}
