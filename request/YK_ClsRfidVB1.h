// A whole card request in one call: read the registration number, or write
// one and verify it by reading it back. It drives the console's card
// operations and reads their outcome from the program's globals.
#pragma once

#include <QString>
#include <cstdint>

class YK_ClsRfidVB1 {
 public:
  // ArgRDWR_GB: "DIR", "READ", "READ_TIMER", or anything else for a write of
  // ArgPTNO. ArgLen 0 stands for 10 and is set to 10. Returns the number
  // read or verified, "" when none, "ERROR챠트" / "ERROR길이" for a number
  // that is empty / longer than ArgLen, or the current directory for "DIR".
  // Throws when a step cannot run (ArgLen above 16 for a write, negative for
  // a read, a reader library that cannot be bound).
  QString G_YK_Rfid(QString& ArgRDWR_GB, std::int16_t& ArgLen, QString& ArgPTNO);
};
