// The older, self-contained reader window: its own frame builder that shows
// each frame on two labels, card setting (ISO 15693 detection), read, write,
// beeps, a write-and-verify button and a one-second automatic read loop.
#pragma once

#include <QString>
#include <QWidget>
#include <stdexcept>

#include "errors.h"
#include "exchange.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace rfid::legacy {

// A registration number whose write frame would not fit the frame builder.
class WriteTooLong : public std::length_error, public ForOperator {
 public:
  WriteTooLong(const std::string& detail, const std::string& operatorText)
      : std::length_error(detail), ForOperator(operatorText) {}
};

class FrmRFID_OLD : public QWidget {
  Q_OBJECT

 public:
  // The program passes the reader library in the current directory.
  explicit FrmRFID_OLD(Reader& reader, QWidget* parent = nullptr);
  ~FrmRFID_OLD() override;

  // Card operations. They keep no state; failures of the reader show in the
  // reply, errors of the library itself are thrown to the caller.
  void RFID_Send_Build(QString& ArgSend);
  void RFID_CARD_SETING();
  QString RFID_Read();
  void RFID_Write(const QString& ArgWrite);
  void RFID_Good_Beep();
  void RFID_Error_Beep();

  // Event handlers, connected to the controls through the error boundary;
  // public so that the automatic loop and the load can be driven without
  // waiting for real events. Called directly, they throw what they meet.
  void Form_Load();
  void Command7_Click();
  void CmdRead_Click();
  void CmdReadEnd_Click();
  void Timer1_Timer();
  void CmdWrite_Click();
  void CmdWriteRead_Click();
  void CmdGoodBeep_Click();
  void CmdErrorBeep_Click();
  void Command1_Click();
  void Command10_Click();
  void cmdEnd_Click();

  // Showing the window loads it first: the card setting runs, and may ask the
  // user, before anything of the window is on screen. Hiding keeps the window
  // loaded; closing unloads it.
  void setVisible(bool visible) override;

  // The control array of the two group frames: 0 "Read", 1 "Write".
  QGroupBox* Frame[2];
  QLineEdit* TxtRead;
  QLabel* Label1;
  QPushButton* CmdRead;
  QPushButton* CmdReadEnd;
  QPushButton* Command10;
  QLineEdit* TxtWrite;
  QLabel* Label2;
  QPushButton* CmdWrite;
  QLineEdit* TxtWriteRead;
  QPushButton* CmdWriteRead;
  QPushButton* CmdGoodBeep;
  QPushButton* CmdErrorBeep;
  QPushButton* cmdEnd;
  QLabel* Label3;
  QLabel* Label4;
  QPushButton* Command1;
  QPushButton* Command7;
  QTimer* Timer1;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Send(const QString& frame);
  void StopLoop();

  Reader& m_Reader;
  bool m_Loaded = false;
  bool m_Closed = false;
  // A tick waits in a message box while events go on: a second tick must not
  // start, and "Auto End" or a close meanwhile must keep the loop off.
  bool m_InTick = false;
  bool m_LoopEndedDuringTick = false;
  // Click handlers running or waiting on their message.
  int m_Busy = 0;
};

}  // namespace rfid::legacy
