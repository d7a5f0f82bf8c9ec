#include <windows.h>

#include "command_line.h"

QString ProcessCommandLine(int, char**) {
  // argv is in the ANSI code page and loses every character outside it (a
  // Korean name on a Western system): the wide command line keeps them.
  const wchar_t* line = GetCommandLineW();
  if (!line) return {};
  const wchar_t* p = line;
  if (*p == L'"') {  // a quoted program name ends at the next quote
    ++p;
    while (*p && *p != L'"') ++p;
    if (*p) ++p;
  } else {
    while (*p && *p != L' ' && *p != L'\t') ++p;
  }
  // Any run of blanks ends the program's name, as Windows reads a command
  // line: callers differ in how many they put there (QProcess puts two).
  while (*p == L' ' || *p == L'\t') ++p;
  return QString::fromWCharArray(p);
}
