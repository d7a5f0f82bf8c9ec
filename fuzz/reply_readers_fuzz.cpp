// Whatever a reader library writes into the receive buffer, read by the
// console and by the legacy window: the reply is always 40 characters, an
// overrun is noticed exactly when the library wrote past them, the status
// is success only for "41", and a number or UID shown is taken from the
// reply's data field and nowhere else.
#include <fuzzer/FuzzedDataProvider.h>

#include <QLineEdit>
#include <clocale>
#include <cstring>

#include "FrmRfid_Dll1.h"
#include "Bas_YkMain11.h"
#include "frm_rfid_old.h"
#include "fuzz_check.h"
#include "qt_fuzz.h"
#include "qt_reader.h"

using namespace rfid;

namespace {

// Writes the scripted bytes into the buffer (which the program makes larger
// than 40, with slack for exactly this), whatever frame came.
class RawReader final : public Reader {
 public:
  std::string next;
  std::int16_t DeviceFind() override { return 1; }
  std::int16_t DataTransceiveEx(const char*, char* receive) override {
    std::memcpy(receive, next.data(), next.size());
    return 0;
  }
};

RawReader g_reader;
FrmRfid_Dll1* g_console;
legacy::FrmRFID_OLD* g_legacy;

bool Contains(const QString& haystack, const QString& needle) { return haystack.contains(needle); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  std::setlocale(LC_ALL, "C.UTF-8");  // multibyte decoding, as on a desktop
  fuzz::StartQt();
  g_reader.next = SuccessReply("1A2B3C4D");
  g_console = new FrmRfid_Dll1(g_reader);
  g_console->EnsureLoaded();
  g_legacy = new legacy::FrmRFID_OLD(g_reader);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const int dataLen = in.ConsumeIntegralInRange<int>(0, 20);
  const std::string raw = in.ConsumeRemainingBytesAsString().substr(0, 200);
  g_reader.next = raw;

  // The exchange itself.
  const ExchangeResult result = Exchange(g_reader, "frame");
  FUZZ_CHECK(result.reply.size() == kReplyLength);
  bool past = false;
  for (std::size_t i = kReplyLength; i < raw.size(); ++i) past = past || raw[i] != '\0';
  FUZZ_CHECK(result.overrun == past);

  // The reply readers on what the console shows of it.
  const QString reply = ui::Transceive(g_reader, QStringLiteral("frame"));
  FUZZ_CHECK(reply.size() == qsizetype(kReplyLength));
  const bool ok = reply.startsWith(QLatin1String("41"));
  FUZZ_CHECK(ui::ReplyOk(reply) == ok);
  for (std::size_t start : {std::size_t(0), std::size_t(1), kUidStart, std::size_t(40), std::size_t(41)})
    for (std::size_t count : {std::size_t(0), kUid14443Length, kConsoleBlockDataLength, std::size_t(100)}) {
      const QString field = ui::ReplyField(reply, start, count);
      FUZZ_CHECK(field.size() <= qsizetype(count));
      FUZZ_CHECK(start == 0 ? field.isEmpty() : field == reply.mid(qsizetype(start) - 1, qsizetype(count)));
    }

  // The console's read: a number only from a success reply's data field.
  G_DataLen = std::int16_t(dataLen);
  g_console->CmdDiv_Read_Click();
  const QString read = g_console->TxtData_Read->text();
  const QString shown = reply.left(reply.indexOf(QChar(u'\0')));
  if (!shown.startsWith(QLatin1String("41"))) FUZZ_CHECK(read.isEmpty());
  FUZZ_CHECK(read.size() <= qMin(dataLen, int(kConsoleBlockDataLength)));
  FUZZ_CHECK(read.isEmpty() || shown.mid(4).startsWith(read));
  FUZZ_CHECK(G_ReadData == read);

  g_console->CmdDiv_14443_Click();
  const QString uid = g_console->TxtDiv_UID->text();
  if (!shown.startsWith(QLatin1String("41"))) FUZZ_CHECK(uid.isEmpty());
  FUZZ_CHECK(uid.isEmpty() || (uid.size() <= 8 && shown.mid(4).startsWith(uid)));

  // The legacy window's read: eight characters of the data field, trimmed.
  const QString legacyRead = g_legacy->RFID_Read();
  if (!shown.startsWith(QLatin1String("41"))) FUZZ_CHECK(legacyRead.isEmpty());
  FUZZ_CHECK(legacyRead.size() <= 8 && !legacyRead.contains(QChar(u'\0')));
  FUZZ_CHECK(!legacyRead.startsWith(u' ') && !legacyRead.endsWith(u' '));
  FUZZ_CHECK(legacyRead.isEmpty() || Contains(shown.mid(4, 8), legacyRead));
  return 0;
}
