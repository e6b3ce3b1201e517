// Creation from the settings file, the two panels, and closing (which saves the settings).
#include "WindowHarness.h"

#include "DiagramPanel.h"
#include "MessageLogPanel.h"
#include "Messagedialog.h"
#include "Portthread.h"
#include "Wait4msg.h"

#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace quorvel::test {
namespace {

int ClientHeight(WindowHarness& harness) {
    return harness.Window().centralWidget()->height();
}

TEST(StartupTest, NoSettingsFileGivesTheDefaults) {
    WindowHarness harness;
    TForm_Quorvel& window = harness.Window();
    EXPECT_EQ(window.pos(), QPoint(50, 50));
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Baudrate")->currentText(), QStringLiteral("38400"));
    EXPECT_TRUE(harness.Find<QRadioButton>("Radio_ModeASCII")->isChecked());
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Address")->currentIndex(), 1);
    EXPECT_EQ(harness.Find<QSpinBox>("CSpin_Timer")->value(), 55);
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Max")->currentIndex(), 5);
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Max")->count(), 10);
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Port")->currentIndex(), -1);
    EXPECT_EQ(window.Engine().PollPhase, Idle);
    EXPECT_EQ(window.Engine().PollList[3].Register, 0xF508);
    EXPECT_EQ(ClientHeight(harness), 270);
}

TEST(StartupTest, OutOfRangeValuesAreCorrected) {
    WindowHarness harness(
        {"Left=-20", "Top=40", "Address=17", "Mode=7", "Baudrate=57600", "TimerASCII=5", "Max=12"});
    TForm_Quorvel& window = harness.Window();
    EXPECT_EQ(window.pos(), QPoint(0, 40));
    EXPECT_EQ(window.Settings.Address, 0);
    EXPECT_EQ(window.Settings.Mode, ModeASCII);
    EXPECT_EQ(window.Settings.Baudrate, 38400U);
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Baudrate")->currentIndex(), -1);
    EXPECT_EQ(harness.Find<QSpinBox>("CSpin_Timer")->value(), 10);
    EXPECT_EQ(window.Settings.TimerASCII, 5); // changes only at "Alkalmaz"
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Max")->currentIndex(), 5);
    EXPECT_EQ(window.Settings.Max, 5);
}

TEST(StartupTest, FastRtuFromTheFileStaysCheckedThoughDisabled) {
    WindowHarness harness({"Baudrate=500000", "Mode=4", "TimerRTU=2"});
    auto* rtu = harness.Find<QRadioButton>("Radio_ModeRTU");
    EXPECT_TRUE(rtu->isChecked());
    EXPECT_FALSE(rtu->isEnabled());
    EXPECT_EQ(harness.Window().Settings.Mode, ModeRTU);
    EXPECT_EQ(harness.Find<QSpinBox>("CSpin_Timer")->value(), 4);
}

TEST(StartupTest, BothPanelFlagsShowTheChart) {
    WindowHarness harness({"Diagram=1", "Messages=1"});
    EXPECT_TRUE(harness.Find<QWidget>("Panel_Diagram")->isVisible());
    EXPECT_FALSE(harness.Find<QWidget>("Panel_Messages")->isVisible());
    EXPECT_TRUE(harness.Find<QPushButton>("Bt_Diagram")->isChecked());
    EXPECT_FALSE(harness.Find<QPushButton>("Bt_Messages")->isChecked());
    EXPECT_EQ(harness.Find<QTabWidget>("Page_Extra")->currentWidget()->objectName(),
              QStringLiteral("Tab_Messages"));
    EXPECT_EQ(ClientHeight(harness), 515);
}

TEST(StartupTest, MessagesFlagShowsTheLogBelowTheGroups) {
    WindowHarness harness({"Messages=1"});
    QWidget* log = harness.Find<QWidget>("Panel_Messages");
    EXPECT_TRUE(log->isVisible());
    EXPECT_EQ(log->pos(), QPoint(10, 270));
    EXPECT_EQ(ClientHeight(harness), 515);
}

class PanelTest : public ::testing::Test {
  protected:
    void Click(const char* name) {
        QTest::mouseClick(Harness.Find<QAbstractButton>(name), Qt::LeftButton);
    }
    WindowHarness Harness;
};

TEST_F(PanelTest, ChartAndLogAreExclusive) {
    Click("Bt_Messages");
    ASSERT_TRUE(Harness.Find<QWidget>("Panel_Messages")->isVisible());
    Harness.Find<QTabWidget>("Page_Extra")->setCurrentIndex(0);
    Click("Bt_Diagram");
    EXPECT_FALSE(Harness.Find<QWidget>("Panel_Messages")->isVisible());
    EXPECT_FALSE(Harness.Find<QPushButton>("Bt_Messages")->isChecked());
    EXPECT_FALSE(Harness.Window().Settings.Messages);
    EXPECT_TRUE(Harness.Window().Settings.Diagram);
    EXPECT_TRUE(Harness.Find<QWidget>("Panel_Diagram")->isVisible());
    Click("Bt_Diagram");
    EXPECT_FALSE(Harness.Find<QWidget>("Panel_Diagram")->isVisible());
    EXPECT_EQ(ClientHeight(Harness), 270);
}

TEST_F(PanelTest, ScaleChangeClearsTheShownChart) {
    Click("Bt_Diagram");
    auto* chart = Harness.Find<TDiagramPanel>("Panel_Diagram");
    chart->AddChartPoint(QStringLiteral("10"), QLocale());
    ASSERT_EQ(chart->ChartColumn, 1);
    auto* scales = Harness.Find<QComboBox>("Combo_Max");
    scales->setCurrentIndex(9);
    emit scales->activated(9);
    EXPECT_EQ(chart->ChartColumn, 0);
    EXPECT_DOUBLE_EQ(chart->ChartPixelsPerHz, 200.0 / 1000.0);
    EXPECT_EQ(Harness.Window().Settings.Max, 9);
}

TEST_F(PanelTest, ScaleChangeWhileLogShownKeepsTheLog) {
    Click("Bt_Messages");
    auto* scales = Harness.Find<QComboBox>("Combo_Max");
    scales->setCurrentIndex(2);
    emit scales->activated(2);
    EXPECT_TRUE(Harness.Find<QWidget>("Panel_Messages")->isVisible());
    EXPECT_EQ(ClientHeight(Harness), 515);
}

TEST_F(PanelTest, DeleteEmptiesBothMemosEvenWhenHidden) {
    auto* log = Harness.Find<TMessageLogPanel>("Panel_Messages");
    log->AppendSent(QStringLiteral("3A 30 "));
    log->AppendReceived(QStringLiteral("3A 31 "));
    Click("Bt_DeleteMessages");
    EXPECT_TRUE(log->MemoSent()->toPlainText().isEmpty());
    EXPECT_TRUE(log->MemoReceived()->toPlainText().isEmpty());
}

TEST(ClosingTest, CloseSavesTheSettings) {
    WindowHarness harness({"Baudrate=19200", "Mode=4", "Messages=1", "Max=3"});
    harness.Window().move(120, 80);
    harness.Close();
    const std::string text = harness.SettingsText();
    EXPECT_NE(text.find("Left=120"), std::string::npos) << text;
    EXPECT_NE(text.find("Top=80"), std::string::npos) << text;
    EXPECT_NE(text.find("Baudrate=19200"), std::string::npos) << text;
    EXPECT_NE(text.find("Mode=4"), std::string::npos) << text;
    EXPECT_NE(text.find("Messages=1"), std::string::npos) << text;
    EXPECT_NE(text.find("Max=3"), std::string::npos) << text;
}

TEST(ClosingTest, CloseWithThePortOpenClosesItAndSaves) {
    WindowHarness harness({"Port=PTY1"});
    PtyPort pty(harness.PortFolder(), "PTY1");
    harness.Create();
    QTest::mouseClick(harness.Find<QPushButton>("Bt_PortOpen"), Qt::LeftButton);
    ASSERT_TRUE(harness.Window().Port().IsOpen());
    EXPECT_TRUE(harness.Window().findChild<QTimer*>(QStringLiteral("Timer"))->isActive());
    EXPECT_FALSE(harness.Find<QPushButton>("Bt_PortOpen")->isEnabled());
    QTest::mouseClick(harness.Find<QPushButton>("Bt_PortClose"), Qt::LeftButton);
    EXPECT_FALSE(harness.Window().Port().IsOpen());
    QTest::mouseClick(harness.Find<QPushButton>("Bt_PortOpen"), Qt::LeftButton);
    ASSERT_TRUE(harness.Window().Port().IsOpen());
    harness.Window().close();
    EXPECT_FALSE(harness.Window().Port().IsOpen());
    EXPECT_NE(harness.SettingsText().find("Port=PTY1"), std::string::npos);
}

// The write-protected dialog exactly as the console shows it when the settings cannot be saved.
void ExpectTheWriteProtectedDialog(const MessageDialogSeen& seen) {
    EXPECT_EQ(seen.Showings, 1);
    EXPECT_EQ(seen.Caption, QStringLiteral("Hiba!"));
    EXPECT_EQ(seen.Title, QStringLiteral("quorvel.ini"));
    EXPECT_EQ(seen.Lines,
              QStringList{QStringLiteral("A fájl nem írható! (Lehet, hogy írásvédett)")});
    EXPECT_EQ(seen.Buttons, QStringList{QStringLiteral("OK")});
    EXPECT_EQ(seen.Kind, mkError) << "not the error icon";
}

// Entries of the folder beside the file whose names the save would have made.
int TemporaryFilesBeside(const std::string& path) {
    int count = 0;
    const auto folder = std::filesystem::path(path).parent_path();
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        count += entry.path().filename().string().find(".tmp") != std::string::npos ? 1 : 0;
    }
    return count;
}

TEST(ClosingTest, WriteProtectedSettingsFileShowsTheErrorDialogAndStaysAsItWas) {
    WindowHarness harness({"Port=COM3", "Baudrate=9600"});
    const std::string before = harness.SettingsText();
    const auto readOnly = std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                          std::filesystem::perms::others_read;
    std::filesystem::permissions(harness.SettingsPath(), readOnly);
    harness.Window().move(300, 300);
    ExpectTheWriteProtectedDialog(RunExpectingMessageDialog([&] { harness.Close(); }));
    EXPECT_EQ(harness.SettingsText(), before);
    EXPECT_EQ(std::filesystem::status(harness.SettingsPath()).permissions() & readOnly, readOnly);
    EXPECT_EQ(TemporaryFilesBeside(harness.SettingsPath()), 0);
    std::filesystem::permissions(harness.SettingsPath(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
}

// A settings path that cannot be replaced (here a folder, which even root cannot overwrite).
TEST(ClosingTest, UnwritableSettingsPathIsReportedOnce) {
    WindowHarness harness;
    std::filesystem::create_directory(harness.SettingsPath());
    harness.Create();
    harness.Window().move(300, 300);
    ExpectTheWriteProtectedDialog(RunExpectingMessageDialog([&] { harness.Close(); }));
    EXPECT_TRUE(std::filesystem::is_directory(harness.SettingsPath()));
}

// An installed copy: the administrator's file gives the start, the user's own file is written.
TEST(ClosingTest, InstalledCopyStartsFromTheAdministratorsFileAndSavesTheUsersOwn) {
    WindowHarness harness;
    const std::string admin = harness.FilePath("program/quorvel.ini");
    const std::string own = harness.FilePath("config/quorvel/quorvel.ini");
    std::filesystem::create_directories(std::filesystem::path(admin).parent_path());
    const std::string adminText = "[Quorvel]\nBaudrate=9600\nMessages=1\n";
    std::ofstream(admin, std::ios::binary) << adminText;
    harness.Create(SettingsFiles{admin, own, {}});
    EXPECT_EQ(harness.Find<QComboBox>("Combo_Baudrate")->currentText(), QStringLiteral("9600"));
    EXPECT_TRUE(harness.Find<QPushButton>("Bt_Messages")->isChecked());
    harness.Window().move(120, 80);
    const MessageDialogSeen seen = RunExpectingMessageDialog([&] { harness.Close(); });
    EXPECT_EQ(seen.Showings, 0);
    std::ifstream file(own, std::ios::binary);
    const std::string saved((std::istreambuf_iterator<char>(file)), {});
    EXPECT_NE(saved.find("Baudrate=9600"), std::string::npos) << saved;
    EXPECT_NE(saved.find("Left=120"), std::string::npos) << saved;
    std::ifstream adminFile(admin, std::ios::binary);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(adminFile)), {}), adminText);
}

TEST(ClosingTest, NoFolderOfTheUsersOwnIsReportedAndNothingWritten) {
    WindowHarness harness({"Port=COM3"});
    const std::string before = harness.SettingsText();
    harness.Create(SettingsFiles{harness.SettingsPath(), {}, "no home folder"});
    EXPECT_EQ(harness.Window().Settings.Port, "COM3");
    harness.Window().move(300, 300);
    ExpectTheWriteProtectedDialog(RunExpectingMessageDialog([&] { harness.Close(); }));
    EXPECT_EQ(harness.SettingsText(), before);
}

} // namespace
} // namespace quorvel::test
