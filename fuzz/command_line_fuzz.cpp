// The command line: split at every single space, so the words joined with
// single spaces give the text back, no word holds a space, and there is one
// word more than spaces; words without spaces passed as arguments come back
// as they were.
#include <QStringList>

#include "Bas_YkMain11.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
  const QStringList words = CommandWords(text);
  if (text.isEmpty()) {
    FUZZ_CHECK(words.isEmpty());
    return 0;
  }
  FUZZ_CHECK(words.join(QLatin1Char(' ')) == text);
  FUZZ_CHECK(words.size() == text.count(QLatin1Char(' ')) + 1);
  for (const QString& w : words) FUZZ_CHECK(!w.contains(QLatin1Char(' ')));

  // argv as another program passes it: the bytes split at NUL.
  std::vector<std::string> args = {"rfid-console"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.push_back(current);
      current.clear();
    } else {
      current += char(data[i]);
    }
  }
  args.push_back(current);
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  const QStringList back = CommandWords(JoinArguments(int(argv.size()), argv.data()));
  bool spaced = false;
  for (std::size_t i = 1; i < args.size(); ++i)
    spaced = spaced || args[i].find(' ') != std::string::npos;
  if (!spaced && !(args.size() == 2 && args[1].empty())) {
    FUZZ_CHECK(back.size() == qsizetype(args.size() - 1));
    for (std::size_t i = 1; i < args.size(); ++i)
      FUZZ_CHECK(back[qsizetype(i - 1)] == QString::fromLocal8Bit(args[i].c_str()));
  }
  return 0;
}
