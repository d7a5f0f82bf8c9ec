#include "legacy_layout.h"

namespace rfid::legacy {

using K = ui::ControlKind;

std::span<const ui::ControlRow> LegacyLayout() {
  constexpr const char* kGulim = "굴림";
  // name, kind, parent, left, top, width, height, caption, font, points, bold, tab, index, overlaps
  static const ui::ControlRow kTable[] = {
      // The control array of the two group frames: 0 "Read", 1 "Write".
      {"Frame", K::Group, nullptr, 120, 120, 4215, 1455, "Read", nullptr, 0, false, -1, 0},
      {"Frame", K::Group, nullptr, 120, 1800, 4215, 1815, "Write", nullptr, 0, false, -1, 1},
      {"TxtRead", K::Box, "Frame(0)", 240, 720, 1695, 360, "", kGulim, 12, true, 0},
      // Its bottom edge meets the box below it.
      {"Label1", K::Label, "Frame(0)", 240, 360, 1335, 375, "등록번호", kGulim, 12, true, -1, -1, true},
      {"CmdRead", K::Button, "Frame(0)", 2280, 360, 1575, 375, "Auto Read", nullptr, 0, false, 1},
      {"CmdReadEnd", K::Button, "Frame(0)", 2280, 840, 1575, 375, "Auto End", nullptr, 0, false, 9},
      // Reaches below the frame's bottom edge, which cuts it, and over Auto End.
      {"Command10", K::Button, "Frame(0)", 2760, 1140, 1215, 615, "READ", nullptr, 0, false, 10, -1, true},
      {"TxtWrite", K::Box, "Frame(1)", 240, 720, 1695, 360, "", kGulim, 12, true, 2},
      {"Label2", K::Label, "Frame(1)", 240, 360, 1335, 375, "등록번호", kGulim, 12, true, -1, -1, true},
      {"CmdWrite", K::Button, "Frame(1)", 2280, 720, 1575, 375, "Write", nullptr, 0, false, 3},
      {"TxtWriteRead", K::Box, "Frame(1)", 240, 1200, 1695, 360, "", kGulim, 12, true, 4},
      {"CmdWriteRead", K::Button, "Frame(1)", 2280, 1200, 1575, 375, "확인(Read)", nullptr, 0, false, 5},
      {"CmdGoodBeep", K::Button, nullptr, 840, 3720, 1575, 375, "Good Beep", nullptr, 0, false, 6},
      {"CmdErrorBeep", K::Button, nullptr, 2520, 3720, 1575, 375, "ErrorBeep", nullptr, 0, false, 7},
      {"cmdEnd", K::Button, nullptr, 840, 4200, 1575, 375, "종료", nullptr, 0, false, 8},
      {"Label3", K::Label, nullptr, 120, 4770, 4215, 435, "Label3"},
      {"Label4", K::Label, nullptr, 60, 5280, 4215, 435, "Label3"},
      {"Command1", K::Button, nullptr, 2550, 6060, 1215, 615, "READ", nullptr, 0, false, 11},
      {"Command7", K::Button, nullptr, 390, 6030, 1815, 615, "15693  DETECT", nullptr, 0, false, 12},
  };
  return kTable;
}

}  // namespace rfid::legacy
