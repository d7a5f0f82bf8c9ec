// Text to and from the single-byte texts of a reader library: the system's
// ANSI code page on Windows, the locale's 8-bit encoding elsewhere. One
// source file per platform implements this header.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace rfid {

// Text to the local 8-bit encoding, one byte a character; nullopt when a
// character has no single-byte form there, or is a NUL (the library would
// take the text as ending there).
std::optional<std::string> EncodeSingleByte(std::u16string_view text);

// Bytes in the local 8-bit encoding to text; NUL bytes stay NUL characters,
// bytes that do not decode become U+FFFD.
std::u16string DecodeLocal8Bit(const char* bytes, std::size_t count);

}  // namespace rfid
