// A legacy window on the scripted fake reader, with every message answered
// and recorded.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_reader.h"
#include "frame.h"
#include "frm_rfid_old.h"
#include "message.h"

namespace rfid::legacy::testing {

inline const std::string kFillStr(kFill);
inline const std::string kCardSetting = "44022020202020202020202020202020202046";
inline const std::string kRead = "52012020202020202020202020202020202053";
inline const std::string kGoodBeep = "43012020202020202020202020202020202042";
inline const std::string kErrorBeep = "43022020202020202020202020202020202041";
inline const QString kCardFailed = QStringLiteral("카드인식 실패");

// Block 1 as the window writes a number into it.
inline std::string LegacyBlock(const std::string& number) {
  return number + "AAAAAAAA" + std::string(kHalfFill);
}

class LegacyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reader.card.is15693 = true;
    previous = ui::SetMessageHandler([this](QWidget*, const QString& text) {
      messages.push_back(text);
      if (onMessage) onMessage(text);
    });
    window = std::make_unique<FrmRFID_OLD>(reader);
  }
  void TearDown() override {
    window.reset();
    ui::SetMessageHandler(std::move(previous));
  }

  int Messages(const QString& text) const {
    return int(std::count(messages.begin(), messages.end(), text));
  }

  rfid::testing::FakeReader reader;
  std::vector<QString> messages;
  std::function<void(const QString&)> onMessage;
  ui::MessageHandler previous;
  std::unique_ptr<FrmRFID_OLD> window;
};

}  // namespace rfid::legacy::testing
