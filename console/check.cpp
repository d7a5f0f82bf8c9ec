#include "check.h"

#include <QString>
#include <tuple>

#include "Bas_YkMain11.h"
#include "frame.h"
#include "logging.h"
#include "pad_text.h"
#include "qt_reader.h"
#include "single_instance.h"

namespace {

QString Send(rfid::Reader& reader, const std::string& body) {
  const QString reply = rfid::ui::Transceive(reader, rfid::ui::FromAscii(rfid::WithBcc(body)));
  return reply.left(reply.indexOf(QChar(u'\0')));
}

}  // namespace

int CheckDesk(rfid::Reader& reader) {
  SingleInstance instance;
  try {
    if (!instance.Acquire()) {
      PrintLine(QStringLiteral("console: running; the reader is left to it"));
      return kExitRefused;
    }
  } catch (const std::exception& e) {
    PrintLine(QStringLiteral("console: cannot tell whether one is running: %1").arg(e.what()));
    return kExitRefused;
  }

  std::int16_t found = 0;
  try {
    found = rfid::ui::DeviceFind(reader);
  } catch (const rfid::ReaderLibraryError& e) {
    PrintLine(QStringLiteral("reader library: not loaded: %1").arg(e.what()));
    return kExitNothingRead;
  }
  PrintLine(QStringLiteral("reader library: %1%2")
          .arg(QString::fromStdString(reader.LibraryPath()),
               reader.Simulated() ? QStringLiteral(" (simulated reader, 모의 리더기)") : QString()));
  if (found == 0) {
    PrintLine(QStringLiteral("reader: none"));
    return kExitNothingRead;
  }
  PrintLine(QStringLiteral("reader: found"));

  // ISO 14443A first, as the console detects.
  QString card = QStringLiteral("none");
  for (const auto& [body, length, kind] :
       {std::tuple{rfid::Detect14443Body(), rfid::kUid14443Length, "ISO 14443A"},
        std::tuple{rfid::Detect15693Body(), rfid::kUid15693Length, "ISO 15693"}}) {
    const QString reply = Send(reader, body);
    if (rfid::ui::ReplyOk(reply)) {
      card = QStringLiteral("%1, UID %2").arg(QLatin1String(kind),
                                              rfid::ui::ReplyField(reply, rfid::kUidStart, length));
      break;
    }
  }
  PrintLine(QStringLiteral("card: %1").arg(card));

  const QString reply = Send(reader, rfid::ReadBody(1));
  if (!rfid::ui::ReplyOk(reply)) {
    PrintLine(QStringLiteral("block 01: not read %1").arg(rfid::ui::WhyFailed(reply)));
  } else {
    const QString block =
        rfid::ui::ReplyField(reply, rfid::kBlockDataStart, rfid::kConsoleBlockDataLength);
    const auto number = rfid::NumberInBlock(rfid::ui::Utf16View(block), kDefaultDataLength);
    PrintLine(number ? QStringLiteral("block 01: number %1").arg(rfid::ui::FromU16(std::u16string(*number)))
               : QStringLiteral("block 01: no number (%1)").arg(block));
  }
  return kExitDone;
}
