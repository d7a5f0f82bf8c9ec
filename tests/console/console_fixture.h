// A console on a scripted reader, with messages answered and recorded.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTimer>
#include <memory>

#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "fake_reader.h"
#include "message.h"

class ConsoleTest : public ::testing::Test {
 protected:
  rfid::testing::FakeReader reader;
  std::unique_ptr<FrmRfid_Dll1> console;
  QStringList messages;

  void SetUp() override {
    ResetGlobals();
    SetCommandLineText(QString());
    rfid::ui::SetMessageHandler([this](QWidget*, const QString& text) { messages << text; });
    console = std::make_unique<FrmRfid_Dll1>(reader);
  }
  void TearDown() override {
    console.reset();
    rfid::ui::SetMessageHandler({});
    ResetGlobals();
  }

  // Loads with the command line given; the reader's calls so far are forgotten.
  void Load(const QString& commandLine = QString()) {
    SetCommandLineText(commandLine);
    console->EnsureLoaded();
    reader.sent.clear();
    reader.card.beeps.clear();
  }
  // The countdown's tick as the timer delivers it, through the window's boundary.
  void Tick() { QMetaObject::invokeMethod(console->Timer1, "timeout", Qt::DirectConnection); }
  void Click(QPushButton* b) { b->click(); }
  std::vector<std::string> Commands() const {
    std::vector<std::string> out;
    for (const auto& f : reader.sent) out.push_back(f.substr(0, 4));
    return out;
  }
};
