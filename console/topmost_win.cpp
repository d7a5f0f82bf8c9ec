#include <QWidget>
#include <windows.h>

#include "topmost.h"

void SetTopMost(QWidget* hWnd, std::int16_t flag) {
  if (!hWnd) return;
  SetWindowPos(reinterpret_cast<HWND>(hWnd->winId()), flag == -1 ? HWND_TOPMOST : HWND_NOTOPMOST,
               0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
}
