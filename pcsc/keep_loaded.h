// The library is never unloaded: worker threads left hanging in a dead
// card's calls run its code until the process ends. On Linux the link
// (-z nodelete) sees to it; on Windows the module pins itself. One source
// file per platform implements it.
#pragma once

namespace rfid::pcsc {

void KeepLoaded();

}  // namespace rfid::pcsc
