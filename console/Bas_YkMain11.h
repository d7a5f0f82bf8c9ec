// The program's module: its globals, PadText on Qt text, the stay-on-top
// call (topmost.h), the command line and the start-up procedure Main.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <optional>

#include "application.h"
#include "topmost.h"

class FrmRfid_Dll1;
class YK_ClsRfidVB1;

// Device-status text of the console's last device check.
extern QString G_DevMsg;
// The console's read box after the last block read.
extern QString G_ReadData;
// Block text that a card request hands to the console's write; empty
// outside such a request.
extern QString G_WriteData;
// Significant characters of a registration number; 0 until the console loads.
extern std::int16_t G_DataLen;
// What the console's length box holds as it starts, and so G_DataLen after
// its load.
inline constexpr int kDefaultDataLength = 10;
// The card request object of the test window.
extern std::shared_ptr<YK_ClsRfidVB1> G_ClsRfid;

// Side "L" pads on the left, any other side on the right; throws
// rfid::InvalidArgument when text is longer than length.
QString PadText(const QString& text, std::int16_t length, const QString& padChar,
                const QString& side);

// The command-line text: the words after the program's name joined with
// single spaces, taken before QApplication edits argv.
QString CommandLineText();
void SetCommandLineText(const QString& text);
QString JoinArguments(int argc, char** argv);
// Split at every single space; an empty text has no words.
QStringList CommandWords(const QString& commandLine);

// One line on standard output, in the local encoding, flushed at once;
// false when standard output did not take it.
bool PrintLine(const QString& line);

// Resets the globals to their start values (a fresh run).
void ResetGlobals();

// What a calling program learns from the process's end.
enum ExitStatus : int {
  kExitDone = 0,            // what the command line asked for was done
  kExitNotWritten = 1,      // a write was asked for and did not verify, or was refused
  kExitNothingRead = 2,     // a READ start read no number
  kExitRefused = 3,         // another copy runs (or none could be ruled out): nothing done
  kExitNoLine = rfid::ui::kExitNoOutput,  // done, but standard output did not take the line
};

struct RunOutcome {
  int status = kExitDone;
  // The one line for standard output: the number the card holds; empty
  // when nothing is to be printed.
  QString output;
};

// The number a calling program is told of: block 01's text holding a
// number of the console's own length (the length box at load), filled with
// "A". Another block, or another length a card request set, never counts.
std::optional<QString> NumberForCaller(int block, const QString& blockText, int consoleLength);

// Judged from the console as it closed, by NumberForCaller: for a write,
// whether its last verified write put word 0's number, filled with "0" to
// the console's length, into block 01; for a READ start, whether the last
// read found such a number there. Words whose word 0 is empty asked for
// something that was not done.
RunOutcome Outcome(const QStringList& words, const FrmRfid_Dll1& console);

// The program: single-instance rule, then the console shown modally.
// Returns the exit status; prints the outcome's line on standard output.
int Main(int argc, char** argv);
