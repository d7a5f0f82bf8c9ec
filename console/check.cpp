#include "check.h"

#include <QString>
#include <tuple>

#include "Bas_YkMain11.h"
#include "frame.h"
#include "logging.h"
#include "registration_number.h"
#include "qt_reader.h"
#include "single_instance.h"

namespace {

QString Send(rfid::Reader& reader, const std::string& body) {
  const QString reply = rfid::ui::Transceive(reader, rfid::ui::FromAscii(rfid::WithBcc(body)));
  return reply.left(reply.indexOf(QChar(u'\0')));
}

bool g_Delivered = true;

void Say(const QString& line) {
  if (!PrintLine(line)) g_Delivered = false;
}

int Look(rfid::Reader& reader) {
  // The check's own lock first: a console started while it looks waits for
  // it rather than be refused.
  SingleInstance checking(SingleInstance::kCheckRole);
  SingleInstance instance;
  try {
    checking.Acquire();
    if (!instance.Acquire()) {
      Say(QStringLiteral("console: running; the reader is left to it"));
      return kExitRefused;
    }
  } catch (const std::exception& e) {
    Say(QStringLiteral("console: cannot tell whether one is running: %1").arg(e.what()));
    return kExitRefused;
  }

  std::int16_t found = 0;
  try {
    found = rfid::ui::DeviceFind(reader);
  } catch (const rfid::ReaderLibraryError& e) {
    Say(QStringLiteral("reader library: not loaded: %1").arg(e.what()));
    return kExitNothingRead;
  }
  Say(QStringLiteral("reader library: %1%2")
          .arg(QString::fromStdString(reader.LibraryPath()),
               reader.Simulated() ? QStringLiteral(" (simulated reader, 모의 리더기)") : QString()));
  if (found == 0) {
    Say(QStringLiteral("reader: none"));
    return kExitNothingRead;
  }
  Say(QStringLiteral("reader: found"));

  // ISO 14443A first, as the console detects. A detect that failed for
  // another reason than no card or another kind (a reader held by another
  // program, say) is said as such, not as no card.
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
    const QString reason = rfid::ui::ReplyField(reply, 3, 2);
    if (reason != QLatin1String("06") && reason != QLatin1String("07"))
      card = QStringLiteral("not detected %1").arg(rfid::ui::WhyFailed(reply));
  }
  Say(QStringLiteral("card: %1").arg(card));

  const QString reply = Send(reader, rfid::ReadBody(1));
  if (!rfid::ui::ReplyOk(reply)) {
    Say(QStringLiteral("block 01: not read %1").arg(rfid::ui::WhyFailed(reply)));
  } else {
    const QString block =
        rfid::ui::ReplyField(reply, rfid::kBlockDataStart, rfid::kConsoleBlockDataLength);
    const auto number = NumberForCaller(1, block, kDefaultDataLength);
    Say(number ? QStringLiteral("block 01: number %1").arg(*number)
                     : QStringLiteral("block 01: no number (%1)").arg(block));
  }
  return kExitDone;
}

}  // namespace

int CheckDesk(rfid::Reader& reader) {
  g_Delivered = true;
  const int status = Look(reader);
  return g_Delivered ? status : kExitNoLine;
}
