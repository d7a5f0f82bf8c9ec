#include "startup.h"

namespace rfid::ui {

void AttachToCallersConsole() {}
void KeepPluginsInTheProgramFolder(int&, char**) {}

}  // namespace rfid::ui
