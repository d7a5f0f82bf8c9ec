// rfid-console --check: a read-only look at a desk, for IT.
#pragma once

#include "exchange.h"

// One line each on standard output: the reader library loaded (its full
// path), whether a reader answers, the card on it (its kind and UID), and
// whether block 01 holds a number. Sends detects and a read only: nothing
// is written and no beep sounds. Returns 0 when a reader answers, 2 when
// none does (or the library cannot be loaded), 3 while a console runs (the
// reader is then left to it), 4 when standard output did not take a line.
int CheckDesk(rfid::Reader& reader);
