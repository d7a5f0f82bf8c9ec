// The reply texts of the PC/SC reader library, with the reasons of
// rfid::Failure. What it answers is a frame checked as a reader checks it
// (rfid::CheckFrame, rfid::CheckedFrame).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "frame.h"

namespace rfid::pcsc {

// Status, two characters, data and check byte in 40 characters.
inline constexpr std::size_t kMaxReplyData = 17;

// "41" "00" data, then the check byte over all of it. Throws
// std::length_error beyond kMaxReplyData bytes.
std::string SuccessReply(std::span<const std::uint8_t> data);

}  // namespace rfid::pcsc
