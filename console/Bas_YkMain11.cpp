#include "Bas_YkMain11.h"

#include <QApplication>
#include <QLineEdit>
#include <QSocketNotifier>
#include <chrono>
#include <cstdio>
#include <thread>

#include "FrmRfid_Dll1.h"
#include "application.h"
#include "check.h"
#include "close_on_signal.h"
#include "command_line.h"
#include "logging.h"
#include "message.h"
#include "registration_number.h"
#include "qt_reader.h"
#include "single_instance.h"

QString G_DevMsg;
QString G_ReadData;
QString G_WriteData;
std::int16_t G_DataLen = 0;
std::shared_ptr<YK_ClsRfidVB1> G_ClsRfid;

namespace {
QString& CommandLine() {
  static QString text;
  return text;
}

std::u16string U16(const QString& s) { return std::u16string(rfid::ui::Utf16View(s)); }
}  // namespace

QString PadText(const QString& text, std::int16_t length, const QString& padChar,
                const QString& side) {
  return rfid::ui::FromU16(rfid::PadText(U16(text), length, U16(padChar), U16(side)));
}

QString CommandLineText() { return CommandLine(); }
void SetCommandLineText(const QString& text) { CommandLine() = text; }

QString JoinArguments(int argc, char** argv) {
  QStringList words;
  for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
  return words.join(QLatin1Char(' '));
}

QStringList CommandWords(const QString& commandLine) {
  if (commandLine.isEmpty()) return {};
  return commandLine.split(QLatin1Char(' '), Qt::KeepEmptyParts);
}

bool PrintLine(const QString& line) {
  return rfid::ui::WriteStandardOutput((line + QLatin1Char('\n')).toLocal8Bit());
}

void ResetGlobals() {
  G_DevMsg.clear();
  G_ReadData.clear();
  G_WriteData.clear();
  G_DataLen = 0;
  G_ClsRfid.reset();
}

std::optional<QString> NumberForCaller(int block, const QString& blockText, int consoleLength) {
  if (block != 1) return std::nullopt;
  // Only a number as this program writes one counts: a blank block's zeros
  // or a torn block are no number.
  const auto number = rfid::NumberInBlock(rfid::ui::Utf16View(blockText), consoleLength);
  if (!number) return std::nullopt;
  return rfid::ui::FromU16(std::u16string(*number));
}

RunOutcome Outcome(const QStringList& words, const FrmRfid_Dll1& console) {
  if (words.isEmpty()) return {};
  // Words without a number to write (a caller's empty variable): nothing
  // that was asked for was done.
  const QString& word0 = words[0];
  if (word0.isEmpty()) return {kExitNotWritten, {}};
  const int length = console.ConsoleLength();
  if (word0 == QLatin1String("READ")) {
    const auto number = NumberForCaller(console.LastRead().block, console.LastRead().text, length);
    if (!number) return {kExitNothingRead, {}};
    return {kExitDone, *number};
  }
  const auto& written = console.LastVerifiedWrite();
  const auto verified = NumberForCaller(written.block, written.text, length);
  if (!verified || word0.size() > length ||
      *verified != PadText(word0, std::int16_t(length), QStringLiteral("0"), QStringLiteral("L")))
    return {kExitNotWritten, {}};
  return {kExitDone, *verified};
}

namespace {
// How long a start waits for a running --check (whose four exchanges take
// at most about 13 s on the PC/SC reader), and how long the refusal of a
// second copy stays up.
constexpr std::chrono::seconds kCheckWait{20};
constexpr int kRefusedMessageMs = 5000;

const char kHelp[] = R"(Usage: rfid-console [NUMBER [NAME] | READ | --check | --version | --help]

  rfid-console 0012345678 NAME  writes the number onto the card in block 01,
                                reads it back, prints it and ends by itself
                                when it verified (about 2 s)
  rfid-console READ             reads block 01 and prints the number
  rfid-console                  the console, for an operator
  rfid-console --check          a read-only look at this desk: the reader
                                library loaded, the reader, the card and its
                                UID, the number in block 01; writes nothing
  A number is decimal digits, at most 10, filled with "0" to 10.

Exit status:
  0  done: the write verified, READ read a number, --check found a reader
  1  a write that did not verify or was refused; no display to show it on
  2  READ read no number; --check found no reader
  3  another console of this user is running: nothing was done
  4  done on the card, but standard output could not take the line

Standard output: on status 0, the number the card holds (one line);
--check: one line each. The log goes to standard error, and also to the
file RFID_LOG_FILE names.
Manual: man rfid-console; on Windows README-Windows.txt beside the program.
)";
}  // namespace

int Main(int argc, char** argv) {
  if (const auto status = rfid::ui::AnswerInfoOption(argc, argv, "rfid-console", kHelp)) return *status;
  rfid::ui::StartLog("rfid-console");
  // QApplication removes options such as -style from argv: the words a
  // caller passed are taken first.
  SetCommandLineText(ProcessCommandLine(argc, argv));
  if (CommandLineText() == QLatin1String("--check")) return CheckDesk(*FrmRfid_Dll1::InstanceReader());
  SingleInstance::SetRuntimeFolder();
  const auto app = rfid::ui::StartApplication(argc, argv, kExitNotWritten);
  QApplication::setApplicationName(QStringLiteral("rfid-console"));

  rfid::ui::CloseOnTerminationSignals(nullptr);  // also ends a refused copy's message
  SingleInstance instance;
  bool first = false;
  try {
    first = instance.Acquire();
    // A --check holds the name for the few seconds it looks.
    const auto until = std::chrono::steady_clock::now() + kCheckWait;
    while (!first && SingleInstance::CheckRunning() && std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
      first = instance.Acquire();
    }
  } catch (const std::exception& e) {
    qCWarning(lcConsole) << e.what();
    rfid::ui::ShowMessage(nullptr, QStringLiteral("프로그램이 이미 실행 중인지 확인하지 못했습니다."),
                          kRefusedMessageMs);
    return kExitRefused;
  }
  if (!first) {
    qCInfo(lcConsole) << "another copy is running";
    // Closed by itself: an unattended caller learns 3 without a person.
    rfid::ui::ShowMessage(nullptr, QStringLiteral("이미 프로그램이 실행 중입니다.!"), kRefusedMessageMs);
    return kExitRefused;
  }

  // Copies refused meanwhile connect to learn who holds the name; their
  // connections are answered, or the queue would fill and later copies could
  // not tell a running console from a fault.
  if (instance.ConnectionSocket() >= 0) {
    auto* callers = new QSocketNotifier(instance.ConnectionSocket(), QSocketNotifier::Read, app.get());
    QObject::connect(callers, &QSocketNotifier::activated, [&instance] { instance.AcceptPending(); });
  }

  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  rfid::ui::CloseOnTerminationSignals(&console);
  console.ShowModal();
  const RunOutcome outcome = Outcome(CommandWords(CommandLineText()), console);
  FrmRfid_Dll1::DestroyInstance();
  int status = outcome.status;
  if (!outcome.output.isEmpty() && !PrintLine(outcome.output)) {
    qCWarning(lcConsole).noquote() << "standard output did not take the line" << outcome.output
                                   << "(closed, full, or its reader gone)";
    status = kExitNoLine;
  }
  qCInfo(lcConsole) << "ended, exit status" << status;
  return status;
}
