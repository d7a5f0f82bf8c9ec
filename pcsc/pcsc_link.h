// CardLink over pcsc-lite.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "card_link.h"

namespace rfid::pcsc {

// The context is established on first use; the destructor releases it.
std::unique_ptr<CardLink> MakePcscLink();

// Other processes that use PC/SC, as "name (PID n)": the programs that may
// hold a reader. Linux: those with the PC/SC client library loaded whose
// memory maps this process may read. Windows: none are looked for. In the
// platform's file (pcsc_platform_*.cpp).
std::vector<std::string> OtherPcscPrograms();

// A setting from the environment, UTF-8 (Windows reads the wide
// environment, so that it compares with reader names). In the platform's
// file too.
std::optional<std::string> Setting(const char* name);

}  // namespace rfid::pcsc
