#include "console_layout.h"

using K = rfid::ui::ControlKind;

std::span<const rfid::ui::ControlRow> ConsoleLayout() {
  static const rfid::ui::ControlRow kTable[] = {
      // name, kind, parent, left, top, width, height, caption, font, points, bold, tab
      // The upper panel: what an operator needs.
      {"Frame2", K::Group, nullptr, 120, 120, 7095, 2535},
      {"cmdQuit", K::ToolButton, "Frame2", 90, 60, 1305, 1425, "종료(&End)", "굴림체", 11.25, false, 10},
      {"Label3", K::BorderedLabel, "Frame2", 1440, 60, 1800, 285, "등록번호 저장 ", "Verdana", 9.75, true},
      {"Label9", K::BorderedLabel, "Frame2", 3300, 60, 1800, 285, "이름", "Verdana", 9.75, true},
      {"Label4", K::BorderedLabel, "Frame2", 5190, 60, 1800, 285, "등록번호 Read", "Verdana", 9.75, true},
      {"TxtData_WR", K::Box, "Frame2", 1440, 390, 1800, 405, "", "Verdana", 12, true, 14},
      {"LabName", K::BorderedLabel, "Frame2", 3300, 390, 1800, 405, "", "Verdana", 14.25, true},
      {"TxtData_Read", K::ReadOnlyBox, "Frame2", 5190, 390, 1800, 405, "", "Verdana", 12, true, 13},
      {"CmdDiv_WR", K::Button, "Frame2", 1440, 840, 2475, 645, "WRITE", "Verdana", 11.25, true, 11},
      {"CmdTimer", K::Button, "Frame2", 3960, 840, 375, 645, "0", "Verdana", 12, true, 16},
      {"CmdDiv_Read", K::Button, "Frame2", 4350, 840, 2625, 645, "READ", "Verdana", 11.25, true, 12},
      {"LabMsg1", K::StatusLabel, "Frame2", 90, 1560, 6885, 405, "Unknown", "Verdana", 15.75, true},
      {"LabMsg2", K::StatusLabel, "Frame2", 90, 2040, 6885, 405, "대기중", "Verdana", 15.75, true},
      // The lower group: the reader's technical controls, below the first size.
      {"Frame1", K::Group, nullptr, 150, 2850, 7035, 3495, "Frame1"},
      {"Label8", K::Label, "Frame1", 120, 390, 1455, 255, "등록번호 자리수"},
      {"TxtLen", K::ReadOnlyBox, "Frame1", 1650, 300, 585, 375, "10", "굴림체", 12, true, 15},
      {"CmdDiv_Check", K::Button, "Frame1", 3660, 240, 1815, 495, "Device Check", "MS Sans Serif", 9.75, true, 9},
      {"Label6", K::Label, "Frame1", 5760, 390, 1215, 255, "부저음 제어"},
      {"CmdDiv_Beep_OK", K::Button, "Frame1", 5760, 660, 1215, 495, "GOOD BEEP", nullptr, 0, false, 8},
      {"CmdDiv_Beep_ERR", K::Button, "Frame1", 5760, 1230, 1215, 495, "ERROR BEEP", nullptr, 0, false, 7},
      {"Label7", K::Label, "Frame1", 120, 930, 435, 255, "UID"},
      {"TxtDiv_UID", K::ReadOnlyBox, "Frame1", 600, 870, 2415, 375, "", "굴림체", 9.75, true, 1},
      {"CmdDiv_15693", K::Button, "Frame1", 120, 1350, 1815, 615, "15693  DETECT", nullptr, 0, false, 6},
      {"CmdDiv_14443", K::Button, "Frame1", 2040, 1350, 1815, 615, "14443A  DETECT", nullptr, 0, false, 3},
      {"Label1", K::Label, "Frame1", 120, 2145, 1095, 255, "송신프로토콜"},
      {"TxtData_Songsin", K::ReadOnlyBox, "Frame1", 1230, 2100, 5055, 330, "", "굴림체", 9.75, true, 2},
      {"Label2", K::Label, "Frame1", 120, 2535, 1095, 255, "수신프로토콜"},
      {"TxtData_SuSin", K::ReadOnlyBox, "Frame1", 1230, 2490, 5055, 330, "", "굴림체", 9.75, true, 5},
      {"Label5", K::Label, "Frame1", 120, 2970, 1155, 255, "Block Number"},
      {"TxtDiv_Block", K::Box, "Frame1", 1320, 2850, 735, 495, "01", "MS Sans Serif", 18, true, 4},
      {"CmdCall_Test", K::Button, "Frame1", 5490, 2850, 1215, 495, "Test 폼", nullptr, 0, false, 0},
  };
  return kTable;
}
