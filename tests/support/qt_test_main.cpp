// The main of every test program that drives widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>

#include "single_instance.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests at build time happens without the tests' environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // The offscreen screen as a desk's (1920 x 1080 at 96 dpi), not Qt's
  // 800 x 600. The file is named relative to the working folder: a drive
  // letter's colon would end the platform's name.
  const QString config = QStringLiteral("rfid-screens-%1.json").arg(QCoreApplication::applicationPid());
  struct Remove {
    QString file;
    ~Remove() { QFile::remove(file); }
  } remove{config};
  if (QFile file(config); qgetenv("QT_QPA_PLATFORM") == "offscreen" && file.open(QIODevice::WriteOnly) &&
                          file.write(R"({"screens": [{"name": "desk", "x": 0, "y": 0, "width": 1920,
                              "height": 1080, "logicalDpi": 96, "logicalBpp": 32, "dpr": 1}]})") > 0)
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config));
  // As the program does: a runtime folder of the user's own, so that Qt does
  // not warn of none (as root, say, with no session).
  SingleInstance::SetRuntimeFolder();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("rfid-console-tests"));
  return RUN_ALL_TESTS();
}
