// The pictures the windows and the installed icon theme share, painted
// rather than decoded from image files, which keeps image libraries out of
// the start-up.
#pragma once

#include <QIcon>

class QPainter;

namespace rfid::ui {

// The console's icon, a card with its chip and the antenna's waves, painted
// on a square of `size` pixels. The window and the installed icon theme
// files both come from here, so they show the same picture.
void PaintConsoleIcon(QPainter& p, int size);
// The console's icon at 16, 32 and 48 pixels.
QIcon ConsoleIcon();
// A door with an arrow leaving it, for the close button, painted at the
// size and pixel ratio it is shown at.
QIcon QuitIcon();

}  // namespace rfid::ui
