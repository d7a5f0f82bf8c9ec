// CardLink over pcsc-lite.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "card_link.h"

namespace rfid::pcsc {

// The context is established on first use; the destructor releases it.
std::unique_ptr<CardLink> MakePcscLink();

// Other processes that have the PC/SC client library loaded, as
// "name (PID n)": the programs that may hold a reader. Only those whose
// memory maps this process may read are seen.
std::vector<std::string> OtherPcscPrograms();

}  // namespace rfid::pcsc
