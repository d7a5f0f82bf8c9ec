#pragma once

class QPainter;

namespace rfid::console {

// The console's icon, a card with its chip and the antenna's waves, painted
// on a square of `size` pixels. The window and the installed icon theme
// files both come from here, so they show the same picture.
void PaintConsoleIcon(QPainter& p, int size);

}  // namespace rfid::console
