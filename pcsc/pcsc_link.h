// CardLink over pcsc-lite.
#pragma once

#include <memory>

#include "card_link.h"

namespace rfid::pcsc {

// The context is established on first use; the destructor releases it.
std::unique_ptr<CardLink> MakePcscLink();

}  // namespace rfid::pcsc
