// The test window on the simulated reader, bound as the program binds it.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "Bas_YkMain11.h"
#include "FrmRfid_Dll1.h"
#include "FrmTest1.h"
#include "library_reader.h"

namespace {

TEST(EndToEnd, WriteFromTheTestWindowReachesTheSimulatedCard) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString state = dir.filePath("sim.state");
  qputenv("TQR_SIM_STATE", state.toLocal8Bit());
  ResetGlobals();
  FrmRfid_Dll1::SetTestWindowFactory([](QWidget* parent) { return new FrmTest1(parent); });
  {
    rfid::LibraryReader reader(rfid::LibraryFileName("tqr_32"));  // found by the program's search
    FrmRfid_Dll1::SetInstanceReader(&reader);
    FrmRfid_Dll1& console = FrmRfid_Dll1::Instance();
    console.EnsureLoaded();
    console.show();
    QTimer::singleShot(0, [&] {
      auto* window = qobject_cast<FrmTest1*>(console.TestWindow());
      ASSERT_NE(window, nullptr);
      window->Command2->click();
      window->close();
    });
    console.CmdCall_Test->click();
    EXPECT_EQ(console.TxtData_Read->text(), "12345678");
    EXPECT_EQ(console.LabMsg2->text(), "정상 저장 OK");
    FrmRfid_Dll1::DestroyInstance();
  }
  FrmRfid_Dll1::SetTestWindowFactory({});

  QProcess sim;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("TQR_SIM_STATE", state);
  sim.setProcessEnvironment(env);
  sim.start(RFID_TQR_SIM, {"block", "1"});
  ASSERT_TRUE(sim.waitForFinished(5000));
  EXPECT_TRUE(QString::fromUtf8(sim.readAllStandardOutput()).contains("12345678AAAAAAAA2020202020202020"));
}

}  // namespace
