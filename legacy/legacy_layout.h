// The legacy window's controls, as its description places them.
#pragma once

#include <span>

#include "layout.h"

namespace rfid::legacy {

inline constexpr int kLegacyWidth = 4545, kLegacyHeight = 6750;  // twips

std::span<const ui::ControlRow> LegacyLayout();

}  // namespace rfid::legacy
