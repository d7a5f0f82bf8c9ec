#include "YK_ClsRfidVB1.h"

#include <QDir>

#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "logging.h"
#include "registration_number.h"
#include "qt_reader.h"

namespace {

// Left that refuses a negative length instead of reading it as "all".
QString LeftOf(const QString& text, std::int16_t length) {
  if (length < 0)
    throw rfid::InvalidArgument("registration number length " + std::to_string(length) +
                                " is negative");
  return text.left(length);
}

// The block text is handed over only for the length of one request, also
// one that fails half-way.
struct HandOver {
  ~HandOver() { G_WriteData.clear(); }
};

}  // namespace

QString YK_ClsRfidVB1::G_YK_Rfid(QString& ArgRDWR_GB, std::int16_t& ArgLen, QString& ArgPTNO) {
  if (ArgLen == 0) ArgLen = 10;
  G_DataLen = ArgLen;

  if (ArgRDWR_GB == QLatin1String("DIR")) return QDir::toNativeSeparators(QDir::currentPath());

  FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
  console.CmdDiv_Check_Click();
  const bool found = G_DevMsg == FrmRfid_Dll1::kDeviceOk;
  if (found) console.CmdDiv_14443_Click();

  if (ArgRDWR_GB == QLatin1String("READ") || ArgRDWR_GB == QLatin1String("READ_TIMER")) {
    if (found) console.CmdDiv_Read_Click();
    // Without a reader nothing was read: what an earlier read left belongs
    // to another card. A block without a number as the console writes one
    // (blank, torn, other data) answers no number.
    const auto number =
        found ? rfid::NumberInBlock(rfid::ui::Utf16View(console.BlockRead()), G_DataLen) : std::nullopt;
    const QString read = number ? rfid::ui::FromU16(std::u16string(*number)) : QString();
    if (!read.isEmpty()) console.CmdDiv_Beep_OK_Click();
    if (ArgRDWR_GB == QLatin1String("READ") && read.isEmpty()) console.CmdDiv_Beep_ERR_Click();
    const QString result = LeftOf(read, G_DataLen);
    qCInfo(lcRequest).noquote() << ArgRDWR_GB << "request:" << (result.isEmpty() ? "nothing" : result);
    return result;
  }

  if (ArgPTNO.isEmpty()) return QStringLiteral("ERROR챠트");
  if (ArgPTNO.size() > G_DataLen) return QStringLiteral("ERROR길이");

  HandOver handOver;
  // Only digits can be read back as written: anything else is a write that
  // does not verify, and nothing is sent for it.
  const bool writable = rfid::IsRegistrationNumber(rfid::ui::Utf16View(ArgPTNO));
  const QString number = PadText(ArgPTNO, G_DataLen, QStringLiteral("0"), QStringLiteral("L"));
  G_WriteData = PadText(number, 16, QStringLiteral("A"), QStringLiteral("R"));
  if (found && writable) {
    console.CmdDiv_WR_Click();
    console.CmdDiv_Read_Click();
  }
  // Verified when the read made just now found the number, filler and all.
  if (!found || !writable ||
      rfid::NumberInBlock(rfid::ui::Utf16View(console.BlockRead()), G_DataLen) !=
          rfid::ui::Utf16View(number))
    G_ReadData.clear();
  if (!G_ReadData.isEmpty()) console.CmdDiv_Beep_OK_Click();
  else console.CmdDiv_Beep_ERR_Click();
  G_WriteData.clear();

  const QString result = LeftOf(G_ReadData, G_DataLen);
  qCInfo(lcRequest).noquote() << "write request of" << ArgPTNO << (result.isEmpty() ? "failed" : "verified");
  return result;
}
