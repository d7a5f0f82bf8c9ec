// The console window: the registration number to write, the number read,
// status lines and, below, the reader's technical controls. Its text boxes
// carry the data: a frame is composed in the send box and sent from there,
// the reply is shown in the receive box and read back from there.
#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>

#include "exchange.h"
#include "no_escape_dialog.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTimer;

class FrmRfid_Dll1 : public rfid::ui::NoEscapeDialog {
  Q_OBJECT

 public:
  using TestWindowFactory = std::function<QDialog*(QWidget* parent)>;

  // What the device check shows when it found a reader.
  static const QString kDeviceOk;

  explicit FrmRfid_Dll1(rfid::Reader& reader, QWidget* parent = nullptr);
  ~FrmRfid_Dll1() override;

  // The program's one console, created on first use with the reader set
  // below.
  static FrmRfid_Dll1& Instance();
  static void DestroyInstance();
  // The program names its reader here (main binds the reader library);
  // tests put a scripted one.
  static void SetInstanceReader(rfid::Reader* reader);
  static rfid::Reader* InstanceReader();
  // Makes the test window; without one the Test button opens nothing.
  static void SetTestWindowFactory(TestWindowFactory factory);

  // Runs the load sequence unless the window is loaded already. Returns
  // false once the console has closed: it stays closed for the rest of the
  // run, and its card operations then do nothing and send nothing.
  bool EnsureLoaded();
  bool Loaded() const { return m_Loaded; }
  bool Closed() const { return m_Closed; }
  // A block's 16 characters of data and the block they are in.
  struct BlockText {
    int block = -1;
    QString text;
  };
  // What the last write that verified put on the card; empty when the last
  // write failed or was refused, or none was made.
  const BlockText& LastVerifiedWrite() const { return m_LastVerified; }
  // What the last read got, before the read box cut it to G_DataLen; empty
  // when it failed or could not be made.
  const BlockText& LastRead() const { return m_LastRead; }
  const QString& BlockRead() const { return m_LastRead.text; }
  // The length box as the console loaded: its own registration number
  // length, whatever a card request sets G_DataLen to later; 0 before.
  int ConsoleLength() const { return m_ConsoleLength; }
  // Loads, shows the window modally and returns once it is closed.
  int ShowModal();

  // Card operations; each throws when it cannot run (the reader library
  // cannot be bound, a block number or registration number is refused).
  void CmdDiv_Check_Click();
  void CmdDiv_14443_Click();
  void CmdDiv_15693_Click();
  void CmdDiv_Read_Click();
  void CmdDiv_WR_Click();
  void CmdDiv_Beep_OK_Click();
  void CmdDiv_Beep_ERR_Click();

  // Countdown state.
  QString m_RunMode;
  std::int16_t m_TickCount = 0;
  std::int16_t m_TickLimit = 0;

  // Controls.
  QGroupBox* Frame2;
  QToolButton* cmdQuit;  // a tall button: its picture above its caption
  QLabel* Label3;
  QLineEdit* TxtData_WR;
  QLabel* Label9;
  QLabel* LabName;
  QLabel* Label4;
  QLineEdit* TxtData_Read;
  QPushButton* CmdDiv_WR;
  QPushButton* CmdTimer;
  QPushButton* CmdDiv_Read;
  QLabel* LabMsg1;
  QLabel* LabMsg2;

  QGroupBox* Frame1;
  QLabel* Label8;
  QLineEdit* TxtLen;
  QPushButton* CmdDiv_Check;
  QLabel* Label6;
  QPushButton* CmdDiv_Beep_OK;
  QPushButton* CmdDiv_Beep_ERR;
  QLabel* Label7;
  QLineEdit* TxtDiv_UID;
  QPushButton* CmdDiv_15693;
  QPushButton* CmdDiv_14443;
  QLabel* Label1;
  QLineEdit* TxtData_Songsin;
  QLabel* Label2;
  QLineEdit* TxtData_SuSin;
  QLabel* Label5;
  QLineEdit* TxtDiv_Block;
  QPushButton* CmdCall_Test;
  QTimer* Timer1;

  QDialog* TestWindow() const { return m_FrmTest; }

 public slots:
  void done(int result) override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void BuildControls();
  void SetDefaults();
  void ConnectHandlers();

  void Form_Load();
  void Timer1_Timer();
  void CmdTimer_Click();
  void cmdQuit_Click();
  void CmdCall_Test_Click();
  void AppendBcc();


  QString SendAndShow(const QString& body);
  // The block read behind CmdDiv_Read_Click; returns its block data.
  QString ReadBlock();
  void Detect(const std::string& body, std::size_t uidLength);
  // The block number box as a number; throws when it is not 0 to 255.
  int BlockNumber() const;
  // Marks the write failed, logs problem, and throws with the operator's text.
  [[noreturn]] void RefuseWrite(const QString& problem, const QString& operatorText);
  void MarkWriteFailed();

  rfid::Reader& m_Reader;
  bool m_Loaded = false;
  bool m_Closed = false;
  BlockText m_LastVerified;
  BlockText m_LastRead;
  int m_ConsoleLength = 0;
  // A word 0 the write box could not hold; refused by the next write.
  QString m_RefusedNumber;
  QDialog* m_FrmTest = nullptr;
};
