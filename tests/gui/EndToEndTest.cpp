// The window against kelmar-sim on a pseudo-terminal: live values after "Nyit", a control
// reference written and read back, the log filled, and a clean close while replies stream.
#include "WindowHarness.h"

#include "MessageLogPanel.h"
#include "Portthread.h"
#include "Wait4msg.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <iostream>

#include <unistd.h>

namespace quorvel::test {
namespace {

// kelmar-sim in the background, registered under a name of its own in the harness's folder.
class Simulator {
  public:
    Simulator(const QString& runtimeDir, const QString& name) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
        Process.setProcessEnvironment(environment);
        Process.start(QStringLiteral(KELMAR_SIM_PATH),
                      {QStringLiteral("--name"), name, QStringLiteral("--reference"),
                       QStringLiteral("50"), QStringLiteral("--frozen")});
        Registered = WaitFor([this, &name] {
            Output += Process.readAllStandardOutput();
            return Output.contains(("port " + name).toUtf8());
        });
    }
    ~Simulator() {
        Process.terminate();
        if (!Process.waitForFinished(20000)) {
            Process.kill();
            Process.waitForFinished();
        }
    }
    bool Registered = false;
    QByteArray Output;
    QProcess Process;
};

class EndToEndTest : public ::testing::Test {
  protected:
    EndToEndTest()
        : Name(QStringLiteral("KTEST%1").arg(::getpid())),
          Sim(QString::fromStdString(Harness.PortFolder()).section('/', 0, -3), Name) {}

    void Click(const char* name) {
        QTest::mouseClick(Harness.Find<QAbstractButton>(name), Qt::LeftButton);
    }
    // Opens the simulator's port the way the operator does.
    void OpenSimulatorPort() {
        Harness.Create();
        auto* ports = Harness.Find<QComboBox>("Combo_Port");
        const int index = ports->findText(Name);
        ASSERT_GE(index, 0);
        ports->setCurrentIndex(index);
        emit ports->activated(index);
        Click("Bt_PortOpen");
        ASSERT_TRUE(Harness.Window().Port().IsOpen());
    }
    QString Text(const char* box) { return Harness.Find<QLineEdit>(box)->text(); }

    WindowHarness Harness;
    QString Name;
    Simulator Sim;
};

TEST_F(EndToEndTest, LiveValuesAppearAndAWrittenReferenceReadsBack) {
    ASSERT_TRUE(Sim.Registered) << Sim.Output.toStdString();
    OpenSimulatorPort();
    QElapsedTimer sinceOpen;
    sinceOpen.start();
    ASSERT_TRUE(WaitFor([this] {
        return Text("Edit_ControlRefSignal") == QStringLiteral("50.00") &&
               !Text("Edit_Frequency").isEmpty() && !Text("Edit_MotorCurrent").isEmpty();
    }));
    std::cout << "[ figure ] live values " << sinceOpen.elapsed() << " ms after opening\n";
    const QString picture = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath("window-live.png");
    EXPECT_TRUE(Harness.Window().grab().save(picture));
    EXPECT_EQ(Text("Edit_VirtualInput1"), QString());

    Harness.Find<QLineEdit>("Edit_SetControlRefSignal")->setText(QStringLiteral("327.7"));
    Click("Bt_SendControlRefSignal");
    EXPECT_TRUE(WaitFor([this] { return Text("Edit_ControlRefSignal") == "327.7"; }))
        << Text("Edit_ControlRefSignal").toStdString();

    Click("Bt_VirtualInput2");
    EXPECT_TRUE(WaitFor([this] { return Text("Edit_VirtualInput2") == "X"; }));
    EXPECT_TRUE(WaitFor([this] { return Text("Edit_RecMessage").toInt() >= 8; }));
    EXPECT_EQ(Text("Edit_Error"), QStringLiteral("0"));
}

TEST_F(EndToEndTest, LogListsBothDirectionsWhileShown) {
    ASSERT_TRUE(Sim.Registered) << Sim.Output.toStdString();
    OpenSimulatorPort();
    Click("Bt_Messages");
    auto* log = Harness.Find<TMessageLogPanel>("Panel_Messages");
    ASSERT_TRUE(WaitFor([log] { return log->MemoReceived()->blockCount() >= 3; }));
    EXPECT_TRUE(log->MemoSent()->toPlainText().startsWith(QStringLiteral("3A 30 31 ")));
    EXPECT_TRUE(log->MemoReceived()->toPlainText().startsWith(QStringLiteral("3A 30 31 ")));
}

TEST_F(EndToEndTest, ClosingWhileRepliesStreamEndsPromptly) {
    ASSERT_TRUE(Sim.Registered) << Sim.Output.toStdString();
    OpenSimulatorPort();
    Harness.Find<QComboBox>("Combo_Address")->setCurrentIndex(1);
    ASSERT_TRUE(WaitFor([this] { return Text("Edit_RecMessage").toInt() >= 4; }));
    Harness.Close(); // the worker must be joined without waiting on the GUI thread forever
    EXPECT_NE(Harness.SettingsText().find(("Port=" + Name).toStdString()), std::string::npos);
}

} // namespace
} // namespace quorvel::test
