#include "frm_rfid_old.h"

#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <string>

#include "enter_presses.h"
#include "error_boundary.h"
#include "frame.h"
#include "layout.h"
#include "legacy_layout.h"
#include "logging.h"
#include "message.h"
#include "qt_reader.h"
#include "twips.h"
#include "write_number.h"

namespace rfid::legacy {

namespace {

// Sent as they are: the check byte is part of the stored text.
const QString kCardSettingFrame = QStringLiteral("44022020202020202020202020202020202046");
const QString kReadFrame = QStringLiteral("52012020202020202020202020202020202053");

const QString kHalfFillText = ui::FromAscii(kHalfFill);

// Leading and trailing spaces only: tabs and other blanks stay.
QString TrimSpaces(const QString& text) {
  qsizetype first = 0, last = text.size();
  while (first < last && text[first] == u' ') ++first;
  while (last > first && text[last - 1] == u' ') --last;
  return text.mid(first, last - first);
}

}  // namespace

FrmRFID_OLD::FrmRFID_OLD(Reader& reader, QWidget* parent) : QWidget(parent), m_Reader(reader) {
  setObjectName(QStringLiteral("FrmRFID_OLD"));
  setWindowTitle(QStringLiteral("Form2"));
  resize(ui::Twips(kLegacyWidth), ui::Twips(kLegacyHeight));

  const std::vector<QWidget*> controls = ui::BuildLayout(this, LegacyLayout());
  const auto find = [this](auto*& member, const char* name) {
    member = findChild<std::remove_reference_t<decltype(*member)>*>(QString::fromLatin1(name));
  };
  Frame[0] = qobject_cast<QGroupBox*>(controls[0]);
  Frame[1] = qobject_cast<QGroupBox*>(controls[1]);
  find(TxtRead, "TxtRead"), find(Label1, "Label1"), find(CmdRead, "CmdRead");
  find(CmdReadEnd, "CmdReadEnd"), find(Command10, "Command10"), find(TxtWrite, "TxtWrite");
  find(Label2, "Label2"), find(CmdWrite, "CmdWrite"), find(TxtWriteRead, "TxtWriteRead");
  find(CmdWriteRead, "CmdWriteRead"), find(CmdGoodBeep, "CmdGoodBeep"), find(CmdErrorBeep, "CmdErrorBeep");
  find(cmdEnd, "cmdEnd"), find(Label3, "Label3"), find(Label4, "Label4"), find(Command1, "Command1");
  find(Command7, "Command7");
  for (QLabel* label : findChildren<QLabel*>()) label->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  Timer1->setTimerType(Qt::PreciseTimer);

  TxtRead->setFocus();

  // While a click's handler runs, or waits on its message, it counts as
  // busy: the loop's tick skips rather than run beside it.
  auto on = [this](QPushButton* b, const char* name, void (FrmRFID_OLD::*handler)()) {
    ui::ConnectHandler(b, &QPushButton::clicked, this, name, [this, handler] {
      ++m_Busy;
      struct Done {
        int& busy;
        ~Done() { --busy; }
      } done{m_Busy};
      (this->*handler)();
    });
  };
  on(Command7, "Command7_Click", &FrmRFID_OLD::Command7_Click);
  on(CmdRead, "CmdRead_Click", &FrmRFID_OLD::CmdRead_Click);
  on(CmdReadEnd, "CmdReadEnd_Click", &FrmRFID_OLD::CmdReadEnd_Click);
  on(CmdWrite, "CmdWrite_Click", &FrmRFID_OLD::CmdWrite_Click);
  on(CmdWriteRead, "CmdWriteRead_Click", &FrmRFID_OLD::CmdWriteRead_Click);
  on(CmdGoodBeep, "CmdGoodBeep_Click", &FrmRFID_OLD::CmdGoodBeep_Click);
  on(CmdErrorBeep, "CmdErrorBeep_Click", &FrmRFID_OLD::CmdErrorBeep_Click);
  on(Command1, "Command1_Click", &FrmRFID_OLD::Command1_Click);
  on(Command10, "Command10_Click", &FrmRFID_OLD::Command10_Click);
  on(cmdEnd, "cmdEnd_Click", &FrmRFID_OLD::cmdEnd_Click);
  // A tick that fails leaves the loop off rather than repeating every second.
  ui::ConnectHandler(Timer1, &QTimer::timeout, this, "Timer1_Timer", [this] { Timer1_Timer(); },
                     [this] { Timer1->stop(); });
  ui::EnterPressesFocusedButtons(this);
}

FrmRFID_OLD::~FrmRFID_OLD() = default;

// --- card operations -------------------------------------------------------

void FrmRFID_OLD::Send(const QString& frame) { ui::Transceive(m_Reader, frame); }

void FrmRFID_OLD::RFID_Send_Build(QString& ArgSend) {
  // Computed first, so that a text beyond the check byte's range changes nothing.
  const std::string bcc = Bcc<char16_t>(ui::Utf16View(ArgSend));
  Label3->setText(ArgSend);
  ArgSend += ui::FromAscii(bcc);
  Label4->setText(ArgSend);
}

void FrmRFID_OLD::RFID_CARD_SETING() {
  if (ui::ReplyOk(ui::Transceive(m_Reader, kCardSettingFrame))) return;
  qCInfo(lcLegacy) << "card setting failed";
  ui::ShowMessage(this, QStringLiteral("카드인식 실패"));
}

QString FrmRFID_OLD::RFID_Read() {
  const std::u16string reply(ui::Utf16View(ui::Transceive(m_Reader, kReadFrame)));
  if (ReplyOk(reply)) {
    // The data field ends where the library stopped writing.
    const std::u16string data = ReplyField(UpToNul(reply), kBlockDataStart, kLegacyBlockDataLength);
    return TrimSpaces(ui::FromU16(data));
  }
  qCInfo(lcLegacy) << "read failed";
  RFID_Error_Beep();
  RFID_CARD_SETING();
  return QString();
}

void FrmRFID_OLD::RFID_Write(const QString& ArgWrite) {
  const QString number = TrimSpaces(ArgWrite);
  const qsizetype bodyLength =
      4 + number.size() + 8 + qsizetype(kHalfFill.size());
  // Refused before anything goes out, so that no half of the write is sent.
  if (bodyLength > qsizetype(kMaxBccText)) {
    const qsizetype most = qsizetype(kMaxBccText) - (bodyLength - number.size());
    throw WriteTooLong(QStringLiteral("The registration number has %1 characters; at most %2 fit "
                                      "into a write frame. Nothing was written.")
                           .arg(number.size())
                           .arg(most)
                           .toStdString(),
                       QStringLiteral("등록번호가 %1자입니다. %2자까지만 쓸 수 있습니다. 저장하지 "
                                      "않았습니다.")
                           .arg(number.size())
                           .arg(most)
                           .toStdString());
  }
  ui::RequireSingleByte(number, QStringLiteral("registration number"));

  QString setting = ui::FromAscii(Detect15693Body());
  RFID_Send_Build(setting);
  Send(setting);

  QString write = QStringLiteral("5701") + number + QStringLiteral("AAAAAAAA") + kHalfFillText;
  RFID_Send_Build(write);
  Send(write);
}

void FrmRFID_OLD::RFID_Good_Beep() {
  QString frame = ui::FromAscii(GoodBeepBody());
  RFID_Send_Build(frame);
  Send(frame);
}

void FrmRFID_OLD::RFID_Error_Beep() {
  QString frame = ui::FromAscii(ErrorBeepBody());
  RFID_Send_Build(frame);
  Send(frame);
}

// --- load and close --------------------------------------------------------

void FrmRFID_OLD::setVisible(bool visible) {
  if (visible && !m_Loaded) {
    m_Loaded = true;
    m_Closed = false;
    ui::Guarded(this, "Form_Load", [this] { Form_Load(); });
    // Closed while the load asked the user something: stay hidden.
    if (m_Closed) return;
  }
  QWidget::setVisible(visible);
}

// Placed where it is described, unless that is off the screen.
void FrmRFID_OLD::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  rfid::ui::KeepOnScreen(this);
}

void FrmRFID_OLD::closeEvent(QCloseEvent* event) {
  m_Closed = true;
  StopLoop();
  // Closing discards the window's texts; showing it again loads it anew.
  m_Loaded = false;
  for (QLineEdit* box : {TxtRead, TxtWrite, TxtWriteRead}) box->clear();
  Label3->setText(QStringLiteral("Label3"));
  Label4->setText(QStringLiteral("Label3"));
  QWidget::closeEvent(event);
}

void FrmRFID_OLD::StopLoop() {
  Timer1->stop();
  if (m_InTick) m_LoopEndedDuringTick = true;
}

// --- event handlers --------------------------------------------------------

void FrmRFID_OLD::Form_Load() { RFID_CARD_SETING(); }

void FrmRFID_OLD::Command7_Click() { RFID_CARD_SETING(); }

void FrmRFID_OLD::CmdRead_Click() {
  if (m_InTick) {
    // The running tick switches the timer back on when it ends.
    m_LoopEndedDuringTick = false;
    return;
  }
  if (!Timer1->isActive()) Timer1->start();
}

void FrmRFID_OLD::CmdReadEnd_Click() { StopLoop(); }

void FrmRFID_OLD::Timer1_Timer() {
  // The tick, the clicks and the message box never run at the same time: a
  // tick that comes while a handler runs or waits on its message is skipped.
  if (m_InTick || m_Busy > 0) return;
  Timer1->stop();
  m_InTick = true;
  m_LoopEndedDuringTick = false;
  struct EndTick {
    bool& inTick;
    ~EndTick() { inTick = false; }
  } endTick{m_InTick};
  TxtRead->setText(RFID_Read());
  if (!TxtRead->text().isEmpty()) RFID_Good_Beep();
  if (!m_LoopEndedDuringTick) Timer1->start();
}

void FrmRFID_OLD::CmdWrite_Click() {
  if (TrimSpaces(TxtWrite->text()).isEmpty()) return;
  TxtWrite->setText(FormatWriteNumber(TxtWrite->text()));
  TxtWriteRead->setText(QString());
  RFID_Write(TxtWrite->text());
  TxtWriteRead->setText(RFID_Read());
  if (TxtWrite->text() == TxtWriteRead->text())
    RFID_Good_Beep();
  else
    RFID_Error_Beep();
}

void FrmRFID_OLD::CmdWriteRead_Click() {
  TxtWriteRead->setText(QString());
  TxtWriteRead->setText(RFID_Read());
}

void FrmRFID_OLD::CmdGoodBeep_Click() { RFID_Good_Beep(); }

void FrmRFID_OLD::CmdErrorBeep_Click() { RFID_Error_Beep(); }

// It would show a window that nothing ever names.
void FrmRFID_OLD::Command1_Click() { qCDebug(lcLegacy) << "READ (bottom): no target window"; }

void FrmRFID_OLD::Command10_Click() {
  const QString number = RFID_Read();
  TxtRead->setText(number);
  if (!number.isEmpty()) RFID_Good_Beep();
}

void FrmRFID_OLD::cmdEnd_Click() { close(); }

}  // namespace rfid::legacy
