#include "Bas_YkMain11.h"
#include "command_line.h"

QString ProcessCommandLine(int argc, char** argv) { return JoinArguments(argc, argv); }
