// The main of every test program that drives widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <cstdio>
#include <cstring>

#include "single_instance.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests at build time happens without the tests' environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  const bool offscreen = qgetenv("QT_QPA_PLATFORM") == "offscreen";
  // The desk: --screen=WIDTHxHEIGHT (device pixels) and --scale=FACTOR. On
  // the offscreen platform the scale is Qt's; on another it is the one the
  // system is expected to give (Windows' LogPixels), which the tests check.
  int width = 1920, height = 1080;
  for (int i = 1; i < argc; ++i) {
    if (!std::strncmp(argv[i], "--scale=", 8)) {
      if (offscreen) qputenv("QT_SCALE_FACTOR", argv[i] + 8);
      qputenv("RFID_TEST_SCALE", argv[i] + 8);
    }
    if (!std::strncmp(argv[i], "--screen=", 9)) std::sscanf(argv[i] + 9, "%dx%d", &width, &height);
  }
  // The offscreen screen as a desk's (1920 x 1080 at 96 dpi unless told),
  // not Qt's 800 x 600. The file is named relative to the working folder: a
  // drive letter's colon would end the platform's name.
  const QString config = QStringLiteral("rfid-screens-%1.json").arg(QCoreApplication::applicationPid());
  struct Remove {
    QString file;
    ~Remove() { QFile::remove(file); }
  } remove{config};
  const QByteArray screens = QStringLiteral(R"({"screens": [{"name": "desk", "x": 0, "y": 0, "width": %1,
      "height": %2, "logicalDpi": 96, "logicalBpp": 32, "dpr": 1}]})").arg(width).arg(height).toLatin1();
  if (QFile file(config); offscreen && file.open(QIODevice::WriteOnly) && file.write(screens) > 0)
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
  // As the program does: a runtime folder of the user's own, so that Qt does
  // not warn of none (as root, say, with no session).
  SingleInstance::SetRuntimeFolder();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("rfid-console-tests"));
  return RUN_ALL_TESTS();
}
