// The console's write with any registration number, block number text,
// data length and handed-over block text, on a card that may lose writes,
// fail them or read back other data. "정상 저장 OK" only ever shows when the
// card's block holds the number; a block number that is not 0 to 255 and a
// number that cannot go into a frame send no write at all.
#include <fuzzer/FuzzedDataProvider.h>

#include <QLabel>
#include <QLineEdit>

#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "fake_reader.h"
#include "fuzz_check.h"
#include "registration_number.h"
#include "qt_reader.h"
#include "qt_fuzz.h"

using namespace rfid;

namespace {

testing::FakeReader g_reader;
FrmRfid_Dll1* g_console;

// Block number text as an operator means it: one to three digits, 0-255.
std::optional<int> BlockOracle(const QString& text) {
  if (text.isEmpty() || text.size() > 3) return std::nullopt;
  for (QChar c : text)
    if (c < u'0' || c > u'9') return std::nullopt;
  const int value = text.toInt();
  return value <= 255 ? std::optional<int>(value) : std::nullopt;
}

QString Text(FuzzedDataProvider& in, std::size_t max) {
  const std::string bytes = in.ConsumeRandomLengthString(max);
  return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::StartQt();
  g_console = new FrmRfid_Dll1(g_reader);
  g_console->EnsureLoaded();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  g_reader.sent.clear();
  g_reader.card = testing::FakeCard{};
  g_reader.card.present = in.ConsumeIntegralInRange<int>(0, 7) != 0;
  g_reader.card.writesStick = in.ConsumeIntegralInRange<int>(0, 3) != 0;
  g_reader.card.failWrites = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  if (in.ConsumeBool()) g_reader.card.blocks[1] = "0012345678AAAAAA2020202020202020";
  // A reader that answers every read with data of its own and stores
  // nothing: the console can only go by what it reads back.
  const bool staleRead = in.ConsumeIntegralInRange<int>(0, 7) == 0;
  const std::string staleBlock = staleRead ? in.ConsumeBytesAsString(32) : std::string();
  if (staleRead)
    g_reader.respond = [block = staleBlock](const std::string& frame) {
      if (frame.rfind("52", 0) == 0) return WithBcc("4100" + block);
      return std::string(WithBcc("4100"));
    };
  else
    g_reader.respond = nullptr;

  ResetGlobals();
  G_DataLen = std::int16_t(in.ConsumeIntegralInRange<int>(-2, 20));
  if (in.ConsumeIntegralInRange<int>(0, 3) == 0) G_WriteData = Text(in, 24);
  g_console->TxtData_WR->setMaxLength(in.ConsumeIntegralInRange<int>(1, 20));
  g_console->TxtDiv_Block->setText(in.ConsumeBool() ? QStringLiteral("1") : Text(in, 6));
  g_console->TxtData_WR->setText(Text(in, 30));
  g_console->LabMsg2->setText(QString());
  g_console->m_RunMode.clear();

  try {
    g_console->CmdDiv_WR_Click();
  } catch (const std::exception&) {
    // Refused: the error boundary shows it. Nothing may have been written.
  }

  const std::optional<int> block = BlockOracle(g_console->TxtDiv_Block->text());
  int writes = 0;
  for (const std::string& frame : g_reader.sent) {
    if (frame.rfind("57", 0) != 0) continue;
    ++writes;
    if (frame.size() != kFrameLength) std::fprintf(stderr, "frame [%s]\n", frame.c_str());
    FUZZ_CHECK(block.has_value());
    FUZZ_CHECK(frame.size() == kFrameLength);
    FUZZ_CHECK(HexPairValue(std::string_view(frame).substr(2, 2)) == *block);
  }
  FUZZ_CHECK(writes <= 1);

  const QString result = g_console->LabMsg2->text();
  if (result != QStringLiteral("정상 저장 OK")) return 0;
  // Verified: the card itself holds the number and its filler at the front
  // of the block.
  FUZZ_CHECK(writes == 1 && block.has_value());
  // The number as verified: the write box may be cut afterwards when a
  // wider handed-over number's limit goes back.
  const QString written = g_console->LastVerifiedWrite().text;
  FUZZ_CHECK(g_console->LastVerifiedWrite().block == *block);
  const auto inBlock = rfid::NumberInBlock(rfid::ui::Utf16View(written), G_DataLen);
  FUZZ_CHECK(inBlock.has_value());
  const QString number = rfid::ui::FromU16(std::u16string(*inBlock));
  FUZZ_CHECK(rfid::IsRegistrationNumber(rfid::ui::Utf16View(number)));
  const std::string stored = staleRead ? staleBlock : g_reader.card.Block(*block);
  const QString front = QString::fromLatin1(stored.data(), qsizetype(stored.size())).left(16);
  FUZZ_CHECK(rfid::NumberInBlock(rfid::ui::Utf16View(front), G_DataLen) ==
             rfid::ui::Utf16View(number));
  return 0;
}
