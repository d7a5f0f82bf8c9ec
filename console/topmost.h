// SetTopMost of the module Bas_YkMain11: keeps a window above all windows
// that are not topmost. SetWindowPos on Windows, the window system's
// stay-on-top layer elsewhere; one source file per platform implements it.
#pragma once

#include <cstdint>

class QWidget;

// Flag -1 keeps the window above all windows that are not topmost; any other
// value takes it out of that layer. Position and size stay.
void SetTopMost(QWidget* hWnd, std::int16_t flag);
