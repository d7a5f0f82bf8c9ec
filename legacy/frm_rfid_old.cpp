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

QFont BoxFont() { return ui::Font(QStringLiteral("굴림"), 12, true); }

template <class W>
W* Make(QWidget* parent, const char* name, const QString& caption, int left, int top, int width,
        int height) {
  auto* w = new W(caption, parent);
  w->setObjectName(QString::fromLatin1(name));
  ui::PlaceTwips(w, left, top, width, height);
  return w;
}

QLineEdit* MakeBox(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* box = Make<QLineEdit>(parent, name, QString(), left, top, width, height);
  box->setFont(BoxFont());
  return box;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height) {
  auto* label = Make<QLabel>(parent, name, caption, left, top, width, height);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

FrmRFID_OLD::FrmRFID_OLD(Reader& reader, QWidget* parent) : QWidget(parent), m_Reader(reader) {
  setObjectName(QStringLiteral("FrmRFID_OLD"));
  setWindowTitle(QStringLiteral("Form2"));
  resize(ui::Twips(4545), ui::Twips(6750));

  for (int i = 0; i < 2; ++i) {
    Frame[i] = Make<QGroupBox>(this, "Frame", i == 0 ? QStringLiteral("Read") : QStringLiteral("Write"),
                               120, i == 0 ? 120 : 1800, 4215, i == 0 ? 1455 : 1815);
    Frame[i]->setProperty("index", i);
  }

  TxtRead = MakeBox(Frame[0], "TxtRead", 240, 720, 1695, 360);
  Label1 = MakeLabel(Frame[0], "Label1", QStringLiteral("등록번호"), 240, 360, 1335, 375);
  Label1->setFont(BoxFont());
  CmdRead = Make<QPushButton>(Frame[0], "CmdRead", QStringLiteral("Auto Read"), 2280, 360, 1575, 375);
  CmdReadEnd =
      Make<QPushButton>(Frame[0], "CmdReadEnd", QStringLiteral("Auto End"), 2280, 840, 1575, 375);
  // Reaches below the frame's bottom edge; the frame clips it.
  Command10 = Make<QPushButton>(Frame[0], "Command10", QStringLiteral("READ"), 2760, 1140, 1215, 615);

  TxtWrite = MakeBox(Frame[1], "TxtWrite", 240, 720, 1695, 360);
  Label2 = MakeLabel(Frame[1], "Label2", QStringLiteral("등록번호"), 240, 360, 1335, 375);
  Label2->setFont(BoxFont());
  CmdWrite = Make<QPushButton>(Frame[1], "CmdWrite", QStringLiteral("Write"), 2280, 720, 1575, 375);
  TxtWriteRead = MakeBox(Frame[1], "TxtWriteRead", 240, 1200, 1695, 360);
  CmdWriteRead =
      Make<QPushButton>(Frame[1], "CmdWriteRead", QStringLiteral("확인(Read)"), 2280, 1200, 1575, 375);

  CmdGoodBeep = Make<QPushButton>(this, "CmdGoodBeep", QStringLiteral("Good Beep"), 840, 3720, 1575, 375);
  CmdErrorBeep = Make<QPushButton>(this, "CmdErrorBeep", QStringLiteral("ErrorBeep"), 2520, 3720, 1575, 375);
  cmdEnd = Make<QPushButton>(this, "cmdEnd", QStringLiteral("종료"), 840, 4200, 1575, 375);
  Label3 = MakeLabel(this, "Label3", QStringLiteral("Label3"), 120, 4770, 4215, 435);
  Label4 = MakeLabel(this, "Label4", QStringLiteral("Label3"), 60, 5280, 4215, 435);
  Command1 = Make<QPushButton>(this, "Command1", QStringLiteral("READ"), 2550, 6060, 1215, 615);
  Command7 = Make<QPushButton>(this, "Command7", QStringLiteral("15693  DETECT"), 390, 6030, 1815, 615);

  Timer1 = new QTimer(this);
  Timer1->setObjectName(QStringLiteral("Timer1"));
  Timer1->setInterval(1000);
  Timer1->setTimerType(Qt::PreciseTimer);

  // Tab indexes 0-18; frames and labels take no focus and drop out.
  QWidget* const tabOrder[] = {TxtRead,     CmdRead,      TxtWrite, CmdWrite,   TxtWriteRead,
                               CmdWriteRead, CmdGoodBeep, CmdErrorBeep, cmdEnd, CmdReadEnd,
                               Command10,   Command1,     Command7};
  for (std::size_t i = 1; i < std::size(tabOrder); ++i) setTabOrder(tabOrder[i - 1], tabOrder[i]);
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
