// What a program of ours does before Qt starts, where the platforms differ.
// One source file per platform implements it.
#pragma once

namespace rfid::ui {

// Windows: a GUI-subsystem program started at a prompt gets no standard
// output; it then writes to the prompt's console (standard error too, when
// it has none). A redirected standard output stays as it is. Linux:
// nothing to do.
void AttachToCallersConsole();

// Windows: Qt's plugins come from the program's folder only, never from a
// QT_PLUGIN_PATH or QT_QPA_PLATFORM_PLUGIN_PATH another program left, nor a
// -platformpluginpath option (removed from argv). Linux: the system's Qt
// finds its own.
void KeepPluginsInTheProgramFolder(int& argc, char** argv);

}  // namespace rfid::ui
