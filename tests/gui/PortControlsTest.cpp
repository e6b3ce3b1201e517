// Port and Modbus settings controls: baud rate and mode rules, poll period, open and close.
#include "WindowHarness.h"

#include "Functionsconvert.h"
#include "Functionsmodbus.h"
#include "MessageLogPanel.h"
#include "Portthread.h"
#include "Wait4msg.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace quorvel::test {
namespace {

class PortControlsTest : public ::testing::Test {
  protected:
    explicit PortControlsTest(const SettingsLines& lines = {}) : Harness(lines) {}

    // The operator picks an entry of a drop-down list.
    void Pick(const char* combo, const QString& text) {
        auto* box = Harness.Find<QComboBox>(combo);
        const int index = box->findText(text);
        ASSERT_GE(index, 0) << text.toStdString();
        box->setCurrentIndex(index);
        emit box->activated(index);
    }
    void Click(const char* name) {
        QTest::mouseClick(Harness.Find<QAbstractButton>(name), Qt::LeftButton);
    }
    QSpinBox* Spin() { return Harness.Find<QSpinBox>("CSpin_Timer"); }
    QTimer* Timer() { return Harness.Window().findChild<QTimer*>(QStringLiteral("Timer")); }
    TSettings& Settings() { return Harness.Window().Settings; }

    WindowHarness Harness;
};

TEST_F(PortControlsTest, FastBaudrateWhileRtuSwitchesToAsciiAndLocksRtu) {
    Click("Radio_ModeRTU");
    ASSERT_EQ(Settings().Mode, ModeRTU);
    Pick("Combo_Baudrate", QStringLiteral("500000"));
    EXPECT_TRUE(Harness.Find<QRadioButton>("Radio_ModeASCII")->isChecked());
    EXPECT_FALSE(Harness.Find<QRadioButton>("Radio_ModeRTU")->isEnabled());
    EXPECT_EQ(Settings().Mode, ModeASCII);
    EXPECT_EQ(Settings().Baudrate, 500000U);
    EXPECT_EQ(Harness.Find<QLabel>("Label_TimerMeasure")->text(), QStringLiteral("ms"));
    EXPECT_EQ(Spin()->minimum(), 10);
    EXPECT_EQ(Spin()->value(), Settings().TimerASCII);
}

TEST_F(PortControlsTest, SlowBaudrateEnablesRtuWithoutChangingMode) {
    Pick("Combo_Baudrate", QStringLiteral("520833"));
    Pick("Combo_Baudrate", QStringLiteral("19200"));
    EXPECT_TRUE(Harness.Find<QRadioButton>("Radio_ModeRTU")->isEnabled());
    EXPECT_TRUE(Harness.Find<QRadioButton>("Radio_ModeASCII")->isChecked());
    EXPECT_EQ(Settings().Mode, ModeASCII);
}

TEST_F(PortControlsTest, RtuShowsCharacterTimesWithItsOwnLimits) {
    Click("Radio_ModeRTU");
    EXPECT_EQ(Harness.Find<QLabel>("Label_TimerMeasure")->text(), QStringLiteral("ch"));
    EXPECT_EQ(Spin()->minimum(), 4);
    EXPECT_EQ(Spin()->singleStep(), 1);
    EXPECT_EQ(Spin()->value(), 4); // the file default
}

struct RtuInterval {
    const char* baud;
    int expectedMs;
};

class RtuIntervalTest : public PortControlsTest,
                        public ::testing::WithParamInterface<RtuInterval> {};

TEST_P(RtuIntervalTest, FourCharacterTimesBecomeWholeMilliseconds) {
    Pick("Combo_Baudrate", QString::fromLatin1(GetParam().baud));
    Click("Radio_ModeRTU");
    Spin()->setValue(4);
    Click("Bt_Apply");
    EXPECT_EQ(Settings().PollInterval, GetParam().expectedMs);
    EXPECT_EQ(Timer()->interval(), GetParam().expectedMs);
    EXPECT_EQ(Settings().TimerRTU, 4);
}

INSTANTIATE_TEST_SUITE_P(Baudrates, RtuIntervalTest,
                         ::testing::Values(RtuInterval{"9600", 5}, RtuInterval{"19200", 3},
                                           RtuInterval{"38400", 2}));

TEST_F(PortControlsTest, AsciiIntervalIsThePeriodItself) {
    Spin()->setValue(50);
    Click("Bt_Apply");
    EXPECT_EQ(Settings().PollInterval, 50);
    EXPECT_EQ(Settings().TimerASCII, 50);
    EXPECT_EQ(Timer()->interval(), 50);
}

TEST_F(PortControlsTest, DefaultButtonRestoresAddressAndPeriod) {
    Harness.Find<QComboBox>("Combo_Address")->setCurrentIndex(7);
    Spin()->setValue(300);
    Click("Bt_Default");
    EXPECT_EQ(Settings().Address, 1);
    EXPECT_EQ(Settings().TimerASCII, 50);
    Click("Radio_ModeRTU");
    Spin()->setValue(40);
    Click("Bt_Default");
    EXPECT_EQ(Settings().TimerRTU, 4);
}

TEST_F(PortControlsTest, ReclickingTheCheckedModeChangesNothing) {
    Click("Radio_ModeRTU");
    Spin()->setValue(40); // shown, not applied
    Click("Radio_ModeRTU");
    EXPECT_EQ(Spin()->value(), 40);
}

TEST_F(PortControlsTest, ApplyAddressTakesTheSelectedIndex) {
    Harness.Find<QComboBox>("Combo_Address")->setCurrentIndex(16);
    Click("Bt_Apply");
    EXPECT_EQ(Settings().Address, 16);
}

// The spin edit's own rules.
TEST_F(PortControlsTest, ProgramSetValuesAreClamped) {
    Spin()->setValue(5);
    EXPECT_EQ(Spin()->value(), 10);
    Spin()->setValue(20000);
    EXPECT_EQ(Spin()->value(), 10000);
}

TEST_F(PortControlsTest, TypedTooLargeValueAppliesTheMaximum) {
    QLineEdit* field = Spin()->findChild<QLineEdit*>();
    Spin()->setFocus();
    field->selectAll();
    QTest::keyClicks(Spin(), QStringLiteral("20000"));
    EXPECT_EQ(field->text(), QStringLiteral("20000"));
    Click("Bt_Apply");
    EXPECT_EQ(Settings().TimerASCII, 10000);
    EXPECT_EQ(field->text(), QStringLiteral("10000"));
}

TEST_F(PortControlsTest, EmptiedFieldAppliesAndShowsTheMinimum) {
    QLineEdit* field = Spin()->findChild<QLineEdit*>();
    Spin()->setFocus();
    field->selectAll();
    QTest::keyClick(Spin(), Qt::Key_Delete);
    EXPECT_TRUE(field->text().isEmpty());
    Click("Bt_Apply");
    EXPECT_EQ(Settings().TimerASCII, 10);
    EXPECT_EQ(field->text(), QStringLiteral("10"));
    Click("Radio_ModeRTU");
    field->selectAll();
    QTest::keyClick(Spin(), Qt::Key_Delete);
    Click("Bt_Apply");
    EXPECT_EQ(Settings().TimerRTU, 4);
}

TEST_F(PortControlsTest, OnlyDigitsAreTyped) {
    QLineEdit* field = Spin()->findChild<QLineEdit*>();
    Spin()->setFocus();
    field->selectAll();
    QTest::keyClicks(Spin(), QStringLiteral("1-2.3a"));
    EXPECT_EQ(field->text(), QStringLiteral("123"));
    QTest::keyClick(Spin(), Qt::Key_Backspace);
    EXPECT_EQ(field->text(), QStringLiteral("123"));
    QTest::keyClick(Spin(), Qt::Key_Home);
    QTest::keyClick(Spin(), Qt::Key_Delete);
    EXPECT_EQ(field->text(), QStringLiteral("23"));
}

TEST_F(PortControlsTest, ArrowKeysStepByTheIncrement) {
    Spin()->setValue(50);
    Spin()->setFocus();
    QTest::keyClick(Spin(), Qt::Key_Up);
    EXPECT_EQ(Spin()->value(), 60);
    Click("Radio_ModeRTU");
    Spin()->setValue(4);
    QTest::keyClick(Spin(), Qt::Key_Up);
    EXPECT_EQ(Spin()->value(), 5);
    QTest::keyClick(Spin(), Qt::Key_Down);
    QTest::keyClick(Spin(), Qt::Key_Down);
    EXPECT_EQ(Spin()->value(), 4);
}

TEST_F(PortControlsTest, LeavingTheFieldClampsIt) {
    QLineEdit* field = Spin()->findChild<QLineEdit*>();
    Harness.Window().activateWindow();
    Spin()->setFocus();
    field->selectAll();
    QTest::keyClicks(Spin(), QStringLiteral("3"));
    Harness.Find<QLineEdit>("Edit_SetControlRefSignal")->setFocus();
    QFocusEvent leave(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(Spin(), &leave);
    EXPECT_EQ(field->text(), QStringLiteral("10"));
}

// Opening the link.
TEST_F(PortControlsTest, OpenWithoutPortReportsFailureAndArmsThePollCycle) {
    auto* ports = Harness.Find<QComboBox>("Combo_Port");
    ports->setCurrentIndex(-1);
    Harness.Window().Engine().PollIndex = 3;
    const ModalBox box = RunExpectingBox([this] { Click("Bt_PortOpen"); });
    EXPECT_TRUE(box.Seen);
    EXPECT_EQ(box.Text, QStringLiteral("A soros portot nem lehet megnyitni!"));
    EXPECT_EQ(box.Title, QStringLiteral("HIBA"));
    EXPECT_TRUE(box.Critical);
    EXPECT_EQ(box.Buttons, 1);
    EXPECT_TRUE(box.OwnedByWindow);
    EXPECT_EQ(Settings().Port, "");
    EXPECT_TRUE(Harness.Find<QPushButton>("Bt_PortOpen")->isEnabled());
    EXPECT_FALSE(Harness.Find<QPushButton>("Bt_PortClose")->isEnabled());
    EXPECT_FALSE(Timer()->isActive());
    EXPECT_EQ(Harness.Window().Engine().PollPhase, ReadyToSend);
    EXPECT_EQ(Harness.Window().Engine().PollIndex, 0);
}

// A registered port whose target is no terminal is listed but cannot be opened.
class UnopenablePortTest : public PortControlsTest {
  protected:
    UnopenablePortTest() : PortControlsTest({"Port=broken9"}) {}
};

TEST_F(UnopenablePortTest, OpenFailureShowsTheMessageAndLeavesThePortClosed) {
    const std::string target = Harness.PortFolder() + "/../not-a-tty";
    RegisterPort(Harness.PortFolder(), "BROKEN9", target);
    std::ofstream(target) << "plain file";
    Harness.Create(); // the port list is read at creation
    auto* ports = Harness.Find<QComboBox>("Combo_Port");
    ASSERT_EQ(ports->currentText(), QStringLiteral("BROKEN9")); // matched ignoring case
    const ModalBox box = RunExpectingBox([this] { Click("Bt_PortOpen"); });
    EXPECT_EQ(box.Text, QStringLiteral("A soros portot nem lehet megnyitni!"));
    EXPECT_EQ(Settings().Port, "BROKEN9");
    EXPECT_FALSE(Harness.Window().Port().IsOpen());
    EXPECT_FALSE(Timer()->isActive());
}

// Any change of port, baud rate or mode closes an open link; the address does not.
class OpenLinkTest : public PortControlsTest {
  protected:
    OpenLinkTest() : PortControlsTest({"Port=PTY1"}) {
        Pty = std::make_unique<PtyPort>(Harness.PortFolder(), "PTY1");
        Harness.Create();
        Click("Bt_PortOpen");
    }
    bool ClosedByChange() {
        return !Harness.Window().Port().IsOpen() && !Timer()->isActive() &&
               Harness.Find<QPushButton>("Bt_PortOpen")->isEnabled() &&
               !Harness.Find<QPushButton>("Bt_PortClose")->isEnabled();
    }
    std::unique_ptr<PtyPort> Pty;
};

TEST_F(OpenLinkTest, OpeningStartsTheTimer) {
    ASSERT_TRUE(Harness.Window().Port().IsOpen());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Timer()->interval(), 55); // the ASCII period of a fresh settings file
    EXPECT_EQ(Settings().Port, "PTY1");
}

TEST_F(OpenLinkTest, PickingAPortClosesTheLink) {
    ASSERT_TRUE(Harness.Window().Port().IsOpen());
    Pick("Combo_Port", QStringLiteral("PTY1"));
    EXPECT_TRUE(ClosedByChange());
}

TEST_F(OpenLinkTest, PickingABaudrateClosesTheLink) {
    ASSERT_TRUE(Harness.Window().Port().IsOpen());
    Pick("Combo_Baudrate", QStringLiteral("9600"));
    EXPECT_TRUE(ClosedByChange());
    EXPECT_EQ(Settings().Baudrate, 9600U);
}

TEST_F(OpenLinkTest, SwitchingTheModeClosesTheLink) {
    ASSERT_TRUE(Harness.Window().Port().IsOpen());
    Click("Radio_ModeRTU");
    EXPECT_TRUE(ClosedByChange());
}

TEST_F(OpenLinkTest, ReclickingTheCheckedModeKeepsTheLink) {
    Click("Radio_ModeASCII");
    EXPECT_TRUE(Harness.Window().Port().IsOpen());
}

TEST_F(OpenLinkTest, ApplyingKeepsTheLinkAndRetimesIt) {
    Spin()->setValue(120);
    Click("Bt_Apply");
    EXPECT_TRUE(Harness.Window().Port().IsOpen());
    EXPECT_TRUE(Timer()->isActive());
    EXPECT_EQ(Timer()->interval(), 120);
}

// ":AA0302HHLL" + LRC + CR LF: the drive's answer to the ASCII read request, with value.
std::string AsciiReadReply(const std::string& request, std::uint16_t value) {
    const std::uint8_t address =
        HexPairToByte(static_cast<std::uint8_t>(request[1]), static_cast<std::uint8_t>(request[2]));
    const ByteString reply{address, 0x03, 0x02, static_cast<std::uint8_t>(value >> 8),
                           static_cast<std::uint8_t>(value)};
    std::string text = ":";
    for (const std::uint8_t byte : reply) {
        text += ByteToHex(byte);
    }
    return text + ByteToHex(Lrc(reply)) + "\r\n";
}

// The worker has read the reply and waits for the window's thread when "Zár" is pressed: the
// reply is counted and logged all the same.
TEST_F(OpenLinkTest, ReplyReadJustBeforeCloseIsCountedAndLogged) {
    Click("Bt_Messages");
    auto* log = Harness.Find<TMessageLogPanel>("Panel_Messages");
    const TExchangeState& exchange = Harness.Window().Engine().ExchangeState;
    std::string request;
    ASSERT_TRUE(WaitFor([&] {
        Pty->Take(request);
        return request.size() >= 17 && request.substr(request.size() - 2) == "\r\n";
    }));
    request = request.substr(request.size() - 17);
    const std::int32_t received = exchange.ReceivedCount;
    const int lines = log->MemoReceived()->blockCount();
    ASSERT_TRUE(Pty->Write(AsciiReadReply(request, 0x007B)));
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // read, handed over, waiting
    Harness.Find<QPushButton>("Bt_PortClose")->click();
    ASSERT_FALSE(Harness.Window().Port().IsOpen());
    EXPECT_TRUE(WaitFor([&] { return exchange.ReceivedCount == received + 1; }, 2000))
        << exchange.ReceivedCount - received << " replies counted";
    EXPECT_EQ(log->MemoReceived()->blockCount(), lines + 1);
    EXPECT_EQ(exchange.BadFrameCount, 0);
}

// The drop-down is read again each time it opens; opening it is no pick.
class PortListRefreshTest : public OpenLinkTest {
  protected:
    QComboBox* Ports() { return Harness.Find<QComboBox>("Combo_Port"); }
    QStringList Names() {
        QStringList names;
        for (int i = 0; i < Ports()->count(); ++i) {
            names << Ports()->itemText(i);
        }
        return names;
    }
    void OpenTheList() {
        Ports()->showPopup();
        Ports()->hidePopup();
    }
};

TEST_F(PortListRefreshTest, LatePluggedPortIsListedWhenTheListOpens) {
    ASSERT_TRUE(Harness.Window().Port().IsOpen());
    PtyPort late(Harness.PortFolder(), "PTY2");
    EXPECT_FALSE(Names().contains(QStringLiteral("PTY2")));
    OpenTheList();
    EXPECT_TRUE(Names().contains(QStringLiteral("PTY2")));
    EXPECT_EQ(Ports()->currentText(), QStringLiteral("PTY1"));
    EXPECT_TRUE(Harness.Window().Port().IsOpen()) << "opening the list closed the port";
    EXPECT_FALSE(Harness.Find<QPushButton>("Bt_PortOpen")->isEnabled());
    const int index = static_cast<int>(Names().indexOf(QStringLiteral("PTY2")));
    EXPECT_TRUE(Ports()
                    ->itemData(index, Qt::ToolTipRole)
                    .toString()
                    .startsWith(QStringLiteral("Virtuális port: /dev/pts/")));
}

TEST_F(PortListRefreshTest, PulledPortLeavesTheListButNotTheOpenSelection) {
    PtyPort other(Harness.PortFolder(), "PTY3");
    OpenTheList();
    ASSERT_TRUE(Names().contains(QStringLiteral("PTY3")));
    Ports()->setCurrentIndex(static_cast<int>(Names().indexOf(QStringLiteral("PTY1"))));
    std::filesystem::remove(Harness.PortFolder() + "/PTY3");
    OpenTheList();
    EXPECT_FALSE(Names().contains(QStringLiteral("PTY3")));
    EXPECT_EQ(Ports()->currentText(), QStringLiteral("PTY1"));
}

TEST_F(PortListRefreshTest, VanishedDeviceOfTheOpenLinkIsShownAndReopened) {
    Pty.reset(); // the far end goes: the link's device is gone
    // The indication follows the loss in a call of its own onto the GUI thread.
    ASSERT_TRUE(WaitFor(
        [&] { return Harness.Window().Port().IsLinkLost() && !Ports()->toolTip().isEmpty(); }));
    EXPECT_TRUE(Ports()->toolTip().contains(QStringLiteral("PTY1")));
    OpenTheList();
    EXPECT_EQ(Ports()->currentText(), QStringLiteral("PTY1")); // still shown as open
    EXPECT_TRUE(Harness.Find<QPushButton>("Bt_PortClose")->isEnabled());
    std::filesystem::remove(Harness.PortFolder() + "/PTY1");
    Pty = std::make_unique<PtyPort>(Harness.PortFolder(), "PTY1");
    ASSERT_TRUE(WaitFor([&] { return !Harness.Window().Port().IsLinkLost(); }));
    EXPECT_TRUE(Harness.Window().Port().IsOpen());
    EXPECT_TRUE(Ports()->toolTip().isEmpty());
}

// The stored name is a prefix of both listed names and matches neither whole.
class UnlistedStoredPortTest : public PortControlsTest {
  protected:
    UnlistedStoredPortTest() : PortControlsTest({"Port=PTY"}) {}
};

TEST_F(UnlistedStoredPortTest, SelectsNothingThoughOtherPortsAreListed) {
    for (const char* name : {"PTY1", "PTY2"}) {
        const std::string target = Harness.PortFolder() + "/../" + name + "-target";
        RegisterPort(Harness.PortFolder(), name, target);
        std::ofstream(target) << "plain file";
    }
    Harness.Create(); // the port list is read at creation
    auto* ports = Harness.Find<QComboBox>("Combo_Port");
    ASSERT_GE(ports->findText("PTY1"), 0);
    ASSERT_GE(ports->findText("PTY2"), 0);
    EXPECT_EQ(ports->currentIndex(), -1);
    EXPECT_EQ(ports->currentText(), QString());
}

} // namespace
} // namespace quorvel::test
