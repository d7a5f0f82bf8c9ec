// The main of every test program that drives widgets.
#include <gtest/gtest.h>

#include <QApplication>

#include "single_instance.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Listing the tests at build time happens without the tests' environment.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // As the program does: a runtime folder of the user's own, so that Qt does
  // not warn of none (as root, say, with no session).
  SingleInstance::SetRuntimeFolder();
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("rfid-console-tests"));
  return RUN_ALL_TESTS();
}
