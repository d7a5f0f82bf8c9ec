// A small window for trying card requests by hand: READ reads the card, WR
// writes the number in its box. What a request does shows on the console.
#pragma once

#include "no_escape_dialog.h"

class QLineEdit;
class QPushButton;

class FrmTest1 : public rfid::ui::NoEscapeDialog {
  Q_OBJECT

 public:
  explicit FrmTest1(QWidget* parent = nullptr);

  QPushButton* Command1;
  QPushButton* Command2;
  QLineEdit* Text1;

 public slots:
  void done(int result) override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void Form_Load();
  void Command1_Click();
  void Command2_Click();

  bool m_Loaded = false;
};
