// The console's controls: where each sits, its caption and font, and the
// tab order, as the window's description gives them.
#pragma once

#include <span>

#include "layout.h"

// The client area as the console first shows it, and its corner on the
// screen (twips); the lower group lies below it until the window is enlarged.
inline constexpr int kConsoleLeft = 5100, kConsoleTop = 5475;
inline constexpr int kConsoleWidth = 7350, kConsoleHeight = 2790;

std::span<const rfid::ui::ControlRow> ConsoleLayout();
