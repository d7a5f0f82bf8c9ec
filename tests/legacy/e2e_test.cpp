// The window on the simulated reader library, bound as the product binds it:
// ./libtqr_32.so in the current folder.
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <unistd.h>

#include "frm_rfid_old.h"
#include "legacy_fixture.h"
#include "library_reader.h"

namespace rfid::legacy::testing {
namespace {

struct ToolResult {
  int code = -1;
  QString out;
};

// A folder as rfid-legacy would be started from: the simulated library in it,
// and the simulator's state file beside it.
class SimFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder.isValid());
    ASSERT_TRUE(QFile::copy(QStringLiteral(TQR_SIM_LIBRARY), folder.filePath("libtqr_32.so")));
    state = folder.filePath("tqr-sim.state");
    qputenv("TQR_SIM_STATE", state.toLocal8Bit());
    previous = ui::SetMessageHandler([this](QWidget*, const QString& text) { messages.push_back(text); });
  }
  void TearDown() override {
    ui::SetMessageHandler(std::move(previous));
    qunsetenv("TQR_SIM_STATE");
  }

  ToolResult Tool(const QStringList& args) {
    QProcess tool;
    tool.start(QStringLiteral(TQR_SIM_TOOL), args);
    ToolResult r;
    if (!tool.waitForFinished(10000)) return r;
    r.code = tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    r.out = QString::fromLocal8Bit(tool.readAllStandardOutput()).trimmed();
    return r;
  }

  // True once the simulator has logged frame, within timeoutMs.
  bool Logged(const QString& frame, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    do {
      if (Tool({QStringLiteral("log"), QStringLiteral("20")}).out.contains(frame)) return true;
      QTest::qWait(100);
    } while (clock.elapsed() < timeoutMs);
    return false;
  }

  QTemporaryDir folder;
  QString state;
  std::vector<QString> messages;
  ui::MessageHandler previous;
};

TEST_F(SimFolderTest, WindowWritesThroughItsWriteButtonAndReadsBack) {
  ASSERT_EQ(Tool({QStringLiteral("card"), QStringLiteral("15693")}).code, 0);
  const QString before = QDir::currentPath();
  ASSERT_TRUE(QDir::setCurrent(folder.path()));
  {
    LibraryReader reader(LibraryFileName("tqr_32", true));
    FrmRFID_OLD window(reader);
    window.show();  // the load's card setting finds the card
    QTest::keyClicks(window.TxtWrite, QStringLiteral("123"));
    QTest::mouseClick(window.CmdWrite, Qt::LeftButton);
    EXPECT_EQ(window.TxtWrite->text(), QStringLiteral("00000123"));
    EXPECT_EQ(window.TxtWriteRead->text(), QStringLiteral("00000123"));
  }
  QDir::setCurrent(before);
  EXPECT_TRUE(messages.empty()) << messages.front().toStdString();

  const ToolResult block = Tool({QStringLiteral("block"), QStringLiteral("1")});
  ASSERT_EQ(block.code, 0);
  EXPECT_EQ(block.out, QStringLiteral("00000123AAAAAAAA2020202020202020"));
  EXPECT_TRUE(Tool({QStringLiteral("show")}).out.contains(QStringLiteral("good 1, error 0")));
  EXPECT_TRUE(Logged(QString::fromStdString(kCardSetting), 0));
}

class ProgramTest : public SimFolderTest {
 protected:
  // Starts rfid-legacy in the folder on the offscreen platform and waits for
  // its card setting to reach the simulator.
  void Start() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("TQR_SIM_STATE"), state);
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(folder.path());
    program.start(QStringLiteral(RFID_LEGACY_PROGRAM), QStringList());
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(Logged(QString::fromStdString(kCardSetting), 20000)) << "no card setting seen";
    QTest::qWait(300);
    ASSERT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().toStdString();
  }
  void EndsOnTerm() {
    ::kill(pid_t(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(5000)) << "still running after SIGTERM";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
  }
  void TearDown() override {
    if (program.state() != QProcess::NotRunning) {
      program.kill();
      program.waitForFinished(5000);
    }
    SimFolderTest::TearDown();
  }

  QProcess program;
};

TEST_F(ProgramTest, StartsOffscreenAndEndsWhenItsWindowIsClosed) {
  ASSERT_EQ(Tool({QStringLiteral("card"), QStringLiteral("15693")}).code, 0);
  Start();
  EndsOnTerm();
}

TEST_F(ProgramTest, EndsAlsoWhileTheLoadWaitsInItsMessage) {
  // No card: the load shows "카드인식 실패" and waits for the user.
  ASSERT_EQ(Tool({QStringLiteral("card"), QStringLiteral("none")}).code, 0);
  Start();
  EndsOnTerm();
  EXPECT_TRUE(QString::fromUtf8(program.readAllStandardError()).contains(QStringLiteral("카드인식 실패")))
      << "the load's message was not up";
}

}  // namespace
}  // namespace rfid::legacy::testing
