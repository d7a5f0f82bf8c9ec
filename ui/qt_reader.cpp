#include "qt_reader.h"

#include "frame.h"
#include "logging.h"

namespace rfid::ui {

std::u16string_view Utf16View(const QString& text) {
  return {reinterpret_cast<const char16_t*>(text.utf16()), std::size_t(text.size())};
}

bool ReplyOk(const QString& reply) { return rfid::ReplyOk(Utf16View(reply)); }

QString ReplyField(const QString& reply, std::size_t start, std::size_t count) {
  const std::u16string_view field = rfid::ReplyField(Utf16View(reply), start, count);
  return QString::fromUtf16(field.data(), qsizetype(field.size()));
}

QString WhyFailed(const QString& reply) {
  const std::string_view text = rfid::OperatorText(reply.toStdString());
  if (text.empty()) return QStringLiteral("(reply %1)").arg(reply);
  return QStringLiteral("(reply %1: %2)").arg(reply, QString::fromUtf8(text.data(), qsizetype(text.size())));
}

QString FromAscii(std::string_view text) {
  return QString::fromLatin1(text.data(), qsizetype(text.size()));
}

QString FromU16(const std::u16string& text) {
  return QString::fromUtf16(text.data(), qsizetype(text.size()));
}

void RequireSingleByte(const QString& text, const QString& what) {
  if (!EncodeSingleByte(Utf16View(text)))
    throw NotSingleByte(QStringLiteral("%1 \"%2\" has characters that cannot go into a frame")
                            .arg(what, text)
                            .toStdString(),
                        QStringLiteral("보낼 수 없는 문자가 있습니다: %1").arg(text).toStdString());
}

namespace {
// Runs a reader call; the first one that binds the library logs which file
// it is, so that a desk's log tells which reader library ran.
template <class Call>
auto Noting(Reader& reader, Call call) {
  const bool bound = !reader.LibraryPath().empty();
  auto result = call();
  if (!bound && !reader.LibraryPath().empty())
    qCInfo(lcReader).noquote() << "reader library:" << QString::fromStdString(reader.LibraryPath())
                               << (reader.Simulated() ? "(simulated reader, 모의 리더기)" : "");
  return result;
}
}  // namespace

QString Transceive(Reader& reader, const QString& frame) {
  auto bytes = EncodeSingleByte(Utf16View(frame));
  if (!bytes)
    throw NotSingleByte(
        QStringLiteral("frame \"%1\" has characters that cannot be sent").arg(frame).toStdString(),
        QStringLiteral("보낼 수 없는 문자가 있습니다: %1").arg(frame).toStdString());
  qCDebug(lcReader).noquote() << "send" << frame;
  const ExchangeResult result = Noting(reader, [&] { return Exchange(reader, *bytes); });
  QString reply = FromU16(result.reply);
  QString shown = reply;
  shown.replace(QChar(u'\0'), QChar(u'.'));
  qCDebug(lcReader).noquote() << "reply" << shown;
  if (result.overrun)
    qCWarning(lcReader) << "reader library wrote past the 40-character reply buffer";
  return reply;
}

std::int16_t DeviceFind(Reader& reader) {
  const std::int16_t found = Noting(reader, [&] { return reader.DeviceFind(); });
  qCDebug(lcReader) << "device find:" << found;
  return found;
}

}  // namespace rfid::ui
