#include "FrmTest1.h"

#include <QLineEdit>
#include <QPushButton>

#include "Bas_YkMain11.h"
#include "YK_ClsRfidVB1.h"
#include "enter_presses.h"
#include "error_boundary.h"
#include "layout.h"
#include "test_window_layout.h"
#include "twips.h"

using rfid::ui::Twips;

FrmTest1::FrmTest1(QWidget* parent) : rfid::ui::NoEscapeDialog(parent) {
  setObjectName("FrmTest1");
  setWindowTitle(QStringLiteral("Form2"));
  setWindowIcon(QIcon());
  setGeometry(Twips(kTestWindowLeft), Twips(kTestWindowTop), Twips(kTestWindowWidth),
              Twips(kTestWindowHeight));
  rfid::ui::BuildLayout(this, TestWindowLayout());
  Command1 = findChild<QPushButton*>("Command1");
  Command2 = findChild<QPushButton*>("Command2");
  Text1 = findChild<QLineEdit*>("Text1");

  rfid::ui::ConnectHandler(Command1, &QPushButton::clicked, this, "Command1_Click",
                           [this] { Command1_Click(); });
  rfid::ui::ConnectHandler(Command2, &QPushButton::clicked, this, "Command2_Click",
                           [this] { Command2_Click(); });
  rfid::ui::EnterPressesFocusedButtons(this);
}

// Every showing after a close loads the window afresh.
void FrmTest1::showEvent(QShowEvent* event) {
  if (!m_Loaded) {
    m_Loaded = true;
    rfid::ui::Guarded(this, "Form_Load", [this] { Form_Load(); });
  }
  QDialog::showEvent(event);
  rfid::ui::KeepOnScreen(this);
}

void FrmTest1::done(int result) {
  m_Loaded = false;
  QDialog::done(result);
}

void FrmTest1::Form_Load() {
  Text1->setText(QStringLiteral("12345678"));
  Command1->setFocus();
  G_ClsRfid = std::make_shared<YK_ClsRfidVB1>();
}

void FrmTest1::Command1_Click() {
  QString kind = QStringLiteral("READ");
  std::int16_t length = 8;
  QString number;
  G_ClsRfid->G_YK_Rfid(kind, length, number);
}

void FrmTest1::Command2_Click() {
  QString kind = QStringLiteral("WR");
  std::int16_t length = 8;
  QString number = Text1->text();
  G_ClsRfid->G_YK_Rfid(kind, length, number);
}
