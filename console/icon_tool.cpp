// Writes the console's icon as PNG files for the hicolor icon theme:
// rfid-console-icon DIR SIZE... makes DIR/SIZExSIZE/apps/rfid-console.png.
// Run at build time; paints into images, so it needs no display.
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>

#include "icons.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s DIR SIZE...\n", argv[0]);
    return 2;
  }
  const QString root = QString::fromLocal8Bit(argv[1]);
  for (int i = 2; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    if (size < 16 || size > 1024) {
      std::fprintf(stderr, "bad size: %s\n", argv[i]);
      return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    rfid::ui::PaintConsoleIcon(p, size);
    p.end();
    const QString dir = QStringLiteral("%1/%2x%2/apps").arg(root).arg(size);
    const QString file = dir + QStringLiteral("/rfid-console.png");
    if (!QDir().mkpath(dir) || !image.save(file, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
