// The test window's controls, as its description places them.
#pragma once

#include <span>

#include "layout.h"

// Where the window sits (twips): clear above the console, whose read box
// shows what a request did.
inline constexpr int kTestWindowLeft = 5580, kTestWindowTop = 3960;
inline constexpr int kTestWindowWidth = 6825, kTestWindowHeight = 1125;

std::span<const rfid::ui::ControlRow> TestWindowLayout();
