#include "FrmRfid_Dll1.h"

#include <QApplication>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QTimer>
#include <stdexcept>

#include "Bas_YkMain11.h"
#include "console_layout.h"
#include "icons.h"
#include "layout.h"
#include "enter_presses.h"
#include "error_boundary.h"
#include "frame.h"
#include "library_reader.h"
#include "logging.h"
#include "registration_number.h"
#include "qt_reader.h"
#include "twips.h"

using rfid::ui::Twips;

namespace {

const QString kNoDevice = QStringLiteral("No Device ---> UBS 를 분리후 다시 삽입해주세요!\"");
const QString kTitle = QStringLiteral("TQR-USB DLL DEMO / tqr32.dll");
const QColor kDarkBlue(0, 0, 64);
// A failure's status line: white on a dark red, not on the success's blue.
const QColor kFailureRed(139, 0, 0);
const QString kWriteFailed = QStringLiteral("저장 실패");
const QString kNoNumber = QStringLiteral("등록번호 없음");

// A refused block or registration number: nothing was sent. The operator's
// text is Korean, the log's detail English.
class Refused : public std::invalid_argument, public rfid::ForOperator {
 public:
  Refused(const QString& detail, const QString& operatorText)
      : std::invalid_argument(detail.toStdString()), rfid::ForOperator(operatorText.toStdString()) {}
};

// What the operator reads of a block number that is not 0 to 255.
QString BadBlockText(const QString& text) {
  return QStringLiteral("블록 번호는 0에서 255 사이의 숫자여야 합니다: \"%1\"").arg(text);
}

FrmRfid_Dll1* g_instance = nullptr;
rfid::Reader* g_instanceReader = nullptr;
FrmRfid_Dll1::TestWindowFactory& Factory() {
  static FrmRfid_Dll1::TestWindowFactory factory;
  return factory;
}

void SetBackground(QWidget* w, const QColor& background, const QColor* text = nullptr) {
  QPalette pal = w->palette();
  pal.setColor(QPalette::Window, background);
  if (text) pal.setColor(QPalette::WindowText, *text);
  w->setPalette(pal);
  w->setAutoFillBackground(true);
}

// A status line's text and the colour it reads in.
void ShowStatus(QLabel* line, const QString& text) {
  line->setText(text);
  const QColor white(Qt::white);
  SetBackground(line, text == kWriteFailed || text == kNoDevice ? kFailureRed : kDarkBlue, &white);
}

}  // namespace

const QString FrmRfid_Dll1::kDeviceOk = QStringLiteral("Device 연결 OK");

// --- instances -------------------------------------------------------------

FrmRfid_Dll1& FrmRfid_Dll1::Instance() {
  if (!g_instance) {
    if (!g_instanceReader) throw std::logic_error("the console's reader was never set");
    g_instance = new FrmRfid_Dll1(*g_instanceReader);
  }
  return *g_instance;
}

void FrmRfid_Dll1::DestroyInstance() {
  delete g_instance;
  g_instance = nullptr;
}

void FrmRfid_Dll1::SetInstanceReader(rfid::Reader* reader) { g_instanceReader = reader; }
rfid::Reader* FrmRfid_Dll1::InstanceReader() { return g_instanceReader; }

void FrmRfid_Dll1::SetTestWindowFactory(TestWindowFactory factory) {
  Factory() = std::move(factory);
}

// --- construction ----------------------------------------------------------

FrmRfid_Dll1::FrmRfid_Dll1(rfid::Reader& reader, QWidget* parent)
    : rfid::ui::NoEscapeDialog(parent), m_Reader(reader) {
  setObjectName("FrmRfid_Dll1");
  BuildControls();
  SetDefaults();
  ConnectHandlers();
  rfid::ui::EnterPressesFocusedButtons(this);
}

FrmRfid_Dll1::~FrmRfid_Dll1() {
  if (g_instance == this) g_instance = nullptr;
}

void FrmRfid_Dll1::BuildControls() {
  setWindowTitle(kTitle);
  setWindowIcon(rfid::ui::ConsoleIcon());
  // A resizable frame: enlarging the window reaches the lower group.
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  SetBackground(this, kDarkBlue);
  // The client area's corner, not the frame's, is placed (setGeometry, not move).
  setGeometry(Twips(kConsoleLeft), Twips(kConsoleTop), Twips(kConsoleWidth), Twips(kConsoleHeight));

  rfid::ui::BuildLayout(this, ConsoleLayout());
  const auto find = [this](auto*& member, const char* name) {
    member = findChild<std::remove_reference_t<decltype(*member)>*>(QString::fromLatin1(name));
  };
  find(Frame2, "Frame2"), find(cmdQuit, "cmdQuit"), find(Label3, "Label3"), find(TxtData_WR, "TxtData_WR");
  find(Label9, "Label9"), find(LabName, "LabName"), find(Label4, "Label4");
  find(TxtData_Read, "TxtData_Read"), find(CmdDiv_WR, "CmdDiv_WR"), find(CmdTimer, "CmdTimer");
  find(CmdDiv_Read, "CmdDiv_Read"), find(LabMsg1, "LabMsg1"), find(LabMsg2, "LabMsg2");
  find(Frame1, "Frame1"), find(Label8, "Label8"), find(TxtLen, "TxtLen");
  find(CmdDiv_Check, "CmdDiv_Check"), find(Label6, "Label6"), find(CmdDiv_Beep_OK, "CmdDiv_Beep_OK");
  find(CmdDiv_Beep_ERR, "CmdDiv_Beep_ERR"), find(Label7, "Label7"), find(TxtDiv_UID, "TxtDiv_UID");
  find(CmdDiv_15693, "CmdDiv_15693"), find(CmdDiv_14443, "CmdDiv_14443"), find(Label1, "Label1");
  find(TxtData_Songsin, "TxtData_Songsin"), find(Label2, "Label2"), find(TxtData_SuSin, "TxtData_SuSin");
  find(Label5, "Label5"), find(TxtDiv_Block, "TxtDiv_Block"), find(CmdCall_Test, "CmdCall_Test");

  // The upper panel white on the window's blue, its status lines white on
  // blue, a failure's on dark red.
  Frame2->setTitle(QString());
  Frame2->setFlat(true);
  SetBackground(Frame2, Qt::white);
  for (QLabel* status : {LabMsg1, LabMsg2}) ShowStatus(status, status->text());
  cmdQuit->setIcon(rfid::ui::QuitIcon());
  cmdQuit->setIconSize(QSize(Twips(480), Twips(480)));
  {
    // The lower group keeps the system's colours, set explicitly, or it
    // would inherit the blue.
    const QPalette system = QApplication::palette();
    const QColor text = system.color(QPalette::WindowText);
    SetBackground(Frame1, system.color(QPalette::Window), &text);
  }

  Timer1 = new QTimer(this);
  Timer1->setObjectName("Timer1");
  Timer1->setInterval(2000);
  Timer1->setTimerType(Qt::PreciseTimer);  // a coarse timer fires up to 5 % early
}

// Texts and limits as the window starts, also when it loads again after a close.
void FrmRfid_Dll1::SetDefaults() {
  TxtData_WR->setMaxLength(16);
  TxtData_WR->clear();
  LabName->clear();
  TxtData_Read->setMaxLength(16);
  TxtData_Read->clear();
  CmdTimer->setText(QStringLiteral("0"));
  ShowStatus(LabMsg1, QStringLiteral("Unknown"));
  ShowStatus(LabMsg2, QStringLiteral("대기중"));
  TxtLen->setText(QString::number(kDefaultDataLength));
  TxtDiv_UID->clear();
  TxtData_Songsin->clear();
  TxtData_SuSin->clear();
  TxtDiv_Block->setMaxLength(2);
  TxtDiv_Block->setText(QStringLiteral("01"));
  Timer1->stop();
  m_RunMode.clear();
  m_TickCount = 0;
  m_TickLimit = 0;
  m_RefusedNumber.clear();
  m_LastRead = {};
}

void FrmRfid_Dll1::ConnectHandlers() {
  auto on = [this](QAbstractButton* b, const char* name, void (FrmRfid_Dll1::*op)()) {
    rfid::ui::ConnectHandler(b, &QAbstractButton::clicked, this, name, [this, op] { (this->*op)(); });
  };
  on(CmdDiv_Check, "CmdDiv_Check_Click", &FrmRfid_Dll1::CmdDiv_Check_Click);
  on(CmdDiv_14443, "CmdDiv_14443_Click", &FrmRfid_Dll1::CmdDiv_14443_Click);
  on(CmdDiv_15693, "CmdDiv_15693_Click", &FrmRfid_Dll1::CmdDiv_15693_Click);
  on(CmdDiv_Read, "CmdDiv_Read_Click", &FrmRfid_Dll1::CmdDiv_Read_Click);
  on(CmdDiv_WR, "CmdDiv_WR_Click", &FrmRfid_Dll1::CmdDiv_WR_Click);
  on(CmdDiv_Beep_OK, "CmdDiv_Beep_OK_Click", &FrmRfid_Dll1::CmdDiv_Beep_OK_Click);
  on(CmdDiv_Beep_ERR, "CmdDiv_Beep_ERR_Click", &FrmRfid_Dll1::CmdDiv_Beep_ERR_Click);
  on(CmdTimer, "CmdTimer_Click", &FrmRfid_Dll1::CmdTimer_Click);
  on(cmdQuit, "cmdQuit_Click", &FrmRfid_Dll1::cmdQuit_Click);
  on(CmdCall_Test, "CmdCall_Test_Click", &FrmRfid_Dll1::CmdCall_Test_Click);
  // A fault in a tick must not come back every two seconds, nor stack its
  // messages: the timer stops before the message goes up.
  rfid::ui::ConnectHandler(Timer1, &QTimer::timeout, this, "Timer1_Timer", [this] { Timer1_Timer(); },
                           [this] { Timer1->stop(); });
}

// --- loading, showing, closing -----------------------------------------------

// A dialog ignores a close while it is hidden; the console, asked to close
// during its load, unloads all the same.
// Placed where it is described, unless that is off the screen.
void FrmRfid_Dll1::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  rfid::ui::KeepOnScreen(this);
}

void FrmRfid_Dll1::closeEvent(QCloseEvent* event) {
  if (!isVisible()) {
    done(QDialog::Rejected);
    event->accept();
    return;
  }
  QDialog::closeEvent(event);
}

bool FrmRfid_Dll1::EnsureLoaded() {
  if (m_Closed) {
    qCDebug(lcConsole) << "closed: the operation is skipped";
    return false;
  }
  if (m_Loaded) return true;
  m_Loaded = true;
  SetDefaults();
  rfid::ui::Guarded(this, "Form_Load", [this] { Form_Load(); });
  return m_Loaded;
}

int FrmRfid_Dll1::ShowModal() {
  // Closed while it loaded (a termination signal during a message, say):
  // it never shows.
  if (!EnsureLoaded()) return QDialog::Rejected;
  CmdCall_Test->setFocus();
  return exec();
}

// A closed console is never loaded again in this run: a card request that
// closed it (a verified write in write mode) must not bring it back out of
// sight and go on talking to the reader.
void FrmRfid_Dll1::done(int result) {
  Timer1->stop();
  m_Loaded = false;
  m_Closed = true;
  QDialog::done(result);
}

void FrmRfid_Dll1::Form_Load() {
  SetTopMost(this, -1);
  LabName->setText(QString());
  m_ConsoleLength = TxtLen->text().toInt();
  if (G_DataLen == 0) G_DataLen = std::int16_t(m_ConsoleLength);
  TxtData_WR->setMaxLength(TxtLen->text().toInt());
  CmdDiv_Check_Click();
  // No real reader stands behind a "정상 저장 OK" on the simulated one: the
  // operator sees it in the caption.
  setWindowTitle(m_Reader.Simulated() ? kTitle + QStringLiteral(" - 모의 리더기") : kTitle);
  CmdDiv_14443_Click();

  const QStringList words = CommandWords(CommandLineText());
  if (words.size() > 0) {
    // A number the box would cut is never written as if it were the one asked for.
    if (words[0].size() > TxtData_WR->maxLength()) m_RefusedNumber = words[0];
    else TxtData_WR->setText(words[0]);
  }
  if (words.size() > 1) LabName->setText(words[1]);
  if (TxtData_WR->text() == QLatin1String("READ")) {
    LabName->setText(QStringLiteral("READ"));
    TxtData_WR->setText(QString());
    CmdDiv_Read_Click();
  }
  m_TickLimit = 10;
  Timer1->start();
  if (!TxtData_WR->text().isEmpty() || !m_RefusedNumber.isEmpty()) m_RunMode = QStringLiteral("WR");
  qCInfo(lcConsole).noquote() << "loaded:" << LabMsg1->text()
                              << (m_RunMode == QLatin1String("WR") ? "- write armed" : "");
}

void FrmRfid_Dll1::Timer1_Timer() {
  if (!Timer1->isActive()) return;
  if (m_TickCount <= INT16_MAX - 2) m_TickCount = std::int16_t(m_TickCount + 2);
  CmdTimer->setText(QString::number(m_TickCount));
  if (m_RunMode == QLatin1String("WR")) {
    CmdDiv_WR_Click();
    return;
  }
  if (m_TickCount > m_TickLimit) cmdQuit_Click();
}

void FrmRfid_Dll1::CmdTimer_Click() { m_TickCount = 99; }

void FrmRfid_Dll1::cmdQuit_Click() {
  // The test window closes first, so nothing is left open over a closed console.
  if (m_FrmTest && m_FrmTest->isVisible()) m_FrmTest->reject();
  qCInfo(lcConsole) << "closing";
  done(QDialog::Accepted);
}

void FrmRfid_Dll1::CmdCall_Test_Click() {
  if (!m_FrmTest) {
    if (!Factory()) return;
    m_FrmTest = Factory()(this);
    if (!m_FrmTest) return;
  }
  m_FrmTest->exec();
}

// --- card operations -----------------------------------------------------------

void FrmRfid_Dll1::AppendBcc() {
  const QString text = TxtData_Songsin->text();
  TxtData_Songsin->setText(text + rfid::ui::FromAscii(rfid::Bcc(rfid::ui::Utf16View(text))));
}

QString FrmRfid_Dll1::SendAndShow(const QString& body) {
  TxtData_Songsin->setText(body);
  AppendBcc();
  TxtData_Songsin->setCursorPosition(0);  // show a frame from its start
  const QString reply = rfid::ui::Transceive(m_Reader, TxtData_Songsin->text());
  TxtData_SuSin->setText(reply.left(reply.indexOf(QChar(u'\0'))));
  // The reader answered: it is there again, whatever the last device check
  // found (G_DevMsg keeps what that check said).
  if (LabMsg1->text() == kNoDevice && rfid::ReaderAnswered(TxtData_SuSin->text().toStdString()))
    ShowStatus(LabMsg1, kDeviceOk);
  TxtData_SuSin->setCursorPosition(0);
  return TxtData_SuSin->text();
}

int FrmRfid_Dll1::BlockNumber() const {
  const QString text = TxtDiv_Block->text();
  const auto block = rfid::ParseBlockNumber(rfid::ui::Utf16View(text));
  if (!block)
    throw Refused(QStringLiteral("block number \"%1\" is not a whole number from 0 to 255; nothing was sent")
                      .arg(text),
                  BadBlockText(text) + QStringLiteral("\n보내지 않았습니다."));
  return *block;
}

void FrmRfid_Dll1::CmdDiv_Check_Click() {
  if (m_Closed) return;
  const std::int16_t found = rfid::ui::DeviceFind(m_Reader);
  if (!EnsureLoaded()) return;
  ShowStatus(LabMsg1, found != 0 ? kDeviceOk : kNoDevice);
  G_DevMsg = LabMsg1->text();
}

void FrmRfid_Dll1::Detect(const std::string& body, std::size_t uidLength) {
  if (!EnsureLoaded()) return;
  const QString reply = SendAndShow(rfid::ui::FromAscii(body));
  TxtDiv_UID->setText(rfid::ui::ReplyOk(reply)
                          ? rfid::ui::ReplyField(reply, rfid::kUidStart, uidLength)
                          : QString());
}

void FrmRfid_Dll1::CmdDiv_14443_Click() { Detect(rfid::Detect14443Body(), rfid::kUid14443Length); }

void FrmRfid_Dll1::CmdDiv_15693_Click() { Detect(rfid::Detect15693Body(), rfid::kUid15693Length); }

void FrmRfid_Dll1::CmdDiv_Beep_OK_Click() {
  if (EnsureLoaded()) SendAndShow(rfid::ui::FromAscii(rfid::GoodBeepBody()));
}

void FrmRfid_Dll1::CmdDiv_Beep_ERR_Click() {
  if (EnsureLoaded()) SendAndShow(rfid::ui::FromAscii(rfid::ErrorBeepBody()));
}

void FrmRfid_Dll1::CmdDiv_Read_Click() { ReadBlock(); }

QString FrmRfid_Dll1::ReadBlock() {
  // Whatever happens below, no earlier read stands in for this one.
  m_LastRead = {};
  if (!EnsureLoaded()) return {};
  const int block = BlockNumber();
  const QString reply = SendAndShow(rfid::ui::FromAscii(rfid::ReadBody(block)));
  QString data;
  if (rfid::ui::ReplyOk(reply)) {
    data = rfid::ui::ReplyField(reply, rfid::kBlockDataStart, rfid::kConsoleBlockDataLength);
    TxtData_Read->setText(data);
    CmdDiv_Beep_OK_Click();
  } else {
    TxtData_Read->setText(QString());
    CmdDiv_Beep_ERR_Click();
  }
  if (G_DataLen < 0)
    throw rfid::InvalidArgument("registration number length " + std::to_string(G_DataLen) +
                                " is negative");
  TxtData_Read->setText(TxtData_Read->text().left(G_DataLen));
  G_ReadData = TxtData_Read->text();
  m_TickLimit = 5;
  m_TickCount = 0;
  m_LastRead = {block, data};
  // A block that answers but holds no number of the read's length (a blank
  // card, a lost write) says so, instead of waiting over its zeros.
  const bool number = rfid::NumberInBlock(rfid::ui::Utf16View(data), int(G_DataLen)).has_value();
  if (rfid::ui::ReplyOk(reply) && !number) ShowStatus(LabMsg2, kNoNumber);
  else if (number && LabMsg2->text() == kNoNumber) ShowStatus(LabMsg2, QStringLiteral("대기중"));
  if (!G_ReadData.isEmpty()) qCInfo(lcConsole).noquote() << "read:" << G_ReadData;
  else qCInfo(lcConsole).noquote() << "read: nothing" << rfid::ui::WhyFailed(reply);
  return data;
}

void FrmRfid_Dll1::MarkWriteFailed() {
  m_RunMode = QStringLiteral("WR실패");
  Timer1->stop();
  ShowStatus(LabMsg2, kWriteFailed);
}

void FrmRfid_Dll1::RefuseWrite(const QString& problem, const QString& operatorText) {
  MarkWriteFailed();
  qCWarning(lcConsole).noquote() << "write refused:" << problem;
  throw Refused(problem, operatorText + QStringLiteral("\n저장하지 않았습니다."));
}

void FrmRfid_Dll1::CmdDiv_WR_Click() {
  if (!EnsureLoaded()) return;
  if (!m_RefusedNumber.isEmpty()) {
    const QString number = m_RefusedNumber;
    m_RefusedNumber.clear();
    RefuseWrite(QStringLiteral("registration number \"%1\" is longer than the %2 characters of the "
                               "write box; nothing was written")
                    .arg(number)
                    .arg(TxtData_WR->maxLength()),
                QStringLiteral("등록번호가 %2자리를 넘습니다: %1").arg(number).arg(TxtData_WR->maxLength()));
  }
  int block = 0;
  try {
    block = BlockNumber();
  } catch (const Refused& e) {
    RefuseWrite(QString::fromStdString(e.what()), BadBlockText(TxtDiv_Block->text()));
  }
  if (G_DataLen < 0 || G_DataLen > 16)
    RefuseWrite(QStringLiteral("registration number length %1 is outside 0 to 16; nothing was written")
                    .arg(G_DataLen),
                QStringLiteral("등록번호 자리수가 0에서 16 사이가 아닙니다: %1").arg(G_DataLen));

  // A card request hands over its block text: the number is its first
  // G_DataLen characters, already filled with "0".
  const bool handedOver = !G_WriteData.isEmpty();
  const QString number = handedOver ? G_WriteData.left(G_DataLen) : TxtData_WR->text();
  if (!rfid::IsRegistrationNumber(rfid::ui::Utf16View(number)))
    RefuseWrite(QStringLiteral("registration number \"%1\" is not decimal digits; nothing was written")
                    .arg(number),
                number.isEmpty() ? QStringLiteral("등록번호가 없습니다.")
                                 : QStringLiteral("등록번호는 숫자만 쓸 수 있습니다: %1").arg(number));
  if (number.size() > G_DataLen)
    RefuseWrite(QStringLiteral("registration number \"%1\" is longer than %2 characters; nothing was written")
                    .arg(number)
                    .arg(G_DataLen),
                QStringLiteral("등록번호가 %2자리를 넘습니다: %1").arg(number).arg(G_DataLen));
  const QString padded = PadText(number, G_DataLen, QStringLiteral("0"), QStringLiteral("L"));
  const int boxLimit = TxtData_WR->maxLength();
  // A longer handed-over number widens the box for this write only; typing
  // stops at the usual limit again afterwards.
  struct RestoreLimit {
    QLineEdit* box = nullptr;
    int limit = 0;
    ~RestoreLimit() {
      if (box) box->setMaxLength(limit);
    }
  } restoreLimit;
  if (padded.size() > boxLimit) {
    if (!handedOver)
      RefuseWrite(QStringLiteral("registration number \"%1\" does not fit the write box's %2 "
                                 "characters; nothing was written")
                      .arg(padded)
                      .arg(boxLimit),
                  QStringLiteral("등록번호가 %2자리를 넘습니다: %1").arg(padded).arg(boxLimit));
    // The box holds what the request asked for; the limit stays within the
    // 16 characters of a block's number field.
    restoreLimit.box = TxtData_WR;
    restoreLimit.limit = boxLimit;
    TxtData_WR->setMaxLength(int(padded.size()));
  }
  TxtData_WR->setText(padded);

  const QString data = PadText(TxtData_WR->text(), 16, QStringLiteral("A"), QStringLiteral("R"));
  // From here on the card may hold anything until the read-back says what.
  m_LastVerified = {};
  SendAndShow(rfid::ui::FromU16(rfid::WriteBody(block, rfid::ui::Utf16View(data))));
  // Verified by the read made here, over the whole block text written
  // (number and filler): a blank block's zeros must not pass for a number of
  // zeros.
  const QString readBack = ReadBlock();

  if (rfid::NumberInBlock(rfid::ui::Utf16View(readBack), G_DataLen) ==
      rfid::ui::Utf16View(TxtData_WR->text())) {
    CmdDiv_Beep_OK_Click();
    Timer1->stop();
    ShowStatus(LabMsg2, QStringLiteral("정상 저장 OK"));
    m_LastVerified = {block, readBack};
    qCInfo(lcConsole).noquote() << "write verified:" << TxtData_WR->text();
    if (m_RunMode == QLatin1String("WR")) cmdQuit_Click();
  } else {
    MarkWriteFailed();
    qCWarning(lcConsole).noquote() << "write failed: wrote" << data << "read back"
                                   << (readBack.isEmpty() ? "nothing" : readBack);
    CmdDiv_Beep_ERR_Click();
  }
}
