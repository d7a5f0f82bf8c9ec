// The command-line text: what follows the program's name, as the caller
// wrote it. One source file per platform implements it.
#pragma once

#include <QString>

// Linux: the arguments joined with single spaces (the shell has already
// split them). Windows: the process's own command line after the program's
// name and the one space that follows it, untouched, so that no quoting
// rules apply.
QString ProcessCommandLine(int argc, char** argv);
