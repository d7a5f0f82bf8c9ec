#include <QWidget>

#include "topmost.h"

// The window system keeps the window in its stay-on-top layer.
void SetTopMost(QWidget* hWnd, std::int16_t flag) {
  if (!hWnd) return;
  const bool wasVisible = hWnd->isVisible();
  hWnd->setWindowFlag(Qt::WindowStaysOnTopHint, flag == -1);
  if (wasVisible) hWnd->show();  // changing window flags hides a shown window
}
