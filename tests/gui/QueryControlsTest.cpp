// Query display and value setting: control reference entry, virtual inputs, query choice,
// focus of the read-only boxes, the markers and the counter reset.
#include "WindowHarness.h"

#include "DriveRegisters.h"
#include "Wait4msg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

namespace quorvel::test {
namespace {

constexpr std::size_t ControlRefWrite = 0;
constexpr std::size_t VirtualInputsWrite = 1;

class QueryControlsTest : public ::testing::Test {
  protected:
    TPollEngine& Engine() { return Harness.Window().Engine(); }
    void Click(const char* name) {
        QTest::mouseClick(Harness.Find<QAbstractButton>(name), Qt::LeftButton);
    }
    void SendControlRef(const QString& text) {
        Harness.Find<QLineEdit>("Edit_SetControlRefSignal")->setText(text);
        Click("Bt_SendControlRefSignal");
    }

    WindowHarness Harness;
};

struct Encoding {
    const char* entry; // with "." where the locale's separator goes
    std::uint16_t word;
};

class ControlRefEncodingTest : public QueryControlsTest,
                               public ::testing::WithParamInterface<Encoding> {};

TEST_P(ControlRefEncodingTest, EntryIsQueuedAsFrequencyWord) {
    SendControlRef(QString::fromLatin1(GetParam().entry));
    EXPECT_EQ(Engine().WriteList[ControlRefWrite].Active, 1);
    EXPECT_EQ(Engine().WriteList[ControlRefWrite].Value, GetParam().word);
}

INSTANTIATE_TEST_SUITE_P(Entries, ControlRefEncodingTest,
                         ::testing::Values(Encoding{"50", 5000}, Encoding{"327.67", 32767},
                                           Encoding{"327.68", 32767}, Encoding{"327.7", 32768},
                                           Encoding{"1000", 39491}, Encoding{"3604.4", 65535},
                                           Encoding{"0.29", 28}, Encoding{"0", 0}));

class ControlRefRefusalTest : public QueryControlsTest,
                              public ::testing::WithParamInterface<const char*> {};

TEST_P(ControlRefRefusalTest, RefusedEntryShowsErrorAndCancelsThePendingWrite) {
    SendControlRef(QStringLiteral("50"));
    ASSERT_EQ(Engine().WriteList[ControlRefWrite].Active, 1);
    const QString entry = QString::fromUtf8(GetParam());
    const ModalBox box = RunExpectingBox([this, &entry] { SendControlRef(entry); });
    EXPECT_TRUE(box.Seen);
    EXPECT_EQ(box.Text, QStringLiteral("Hibás érték!"));
    EXPECT_EQ(box.Title, QStringLiteral("HIBA"));
    EXPECT_TRUE(box.Critical);
    EXPECT_TRUE(box.OwnedByWindow);
    EXPECT_EQ(Engine().WriteList[ControlRefWrite].Active, 0);
    EXPECT_EQ(Harness.Find<QLineEdit>("Edit_SetControlRefSignal")->text(), entry);
}

INSTANTIATE_TEST_SUITE_P(Entries, ControlRefRefusalTest,
                         ::testing::Values("3604.5", "-1", "abc", "", "1,000", "5e9"));

TEST_F(QueryControlsTest, SecondEntryBeforeSendingReplacesTheValue) {
    SendControlRef(QStringLiteral("50"));
    SendControlRef(QStringLiteral("25"));
    EXPECT_EQ(Engine().WriteList[ControlRefWrite].Value, 2500);
    EXPECT_EQ(Engine().WriteList[ControlRefWrite].Active, 1);
}

// Hungarian writes a decimal comma; a point is then no number at all.
class CommaLocaleTest : public ::testing::Test {
  protected:
    CommaLocaleTest() {
        QLocale::setDefault(QLocale(QLocale::Hungarian, QLocale::Hungary));
        Harness = std::make_unique<WindowHarness>(); // the window reads the locale at creation
    }
    ~CommaLocaleTest() override {
        Harness.reset();
        QLocale::setDefault(QLocale::c());
    }
    void Send(const QString& text) {
        Harness->Find<QLineEdit>("Edit_SetControlRefSignal")->setText(text);
        QTest::mouseClick(Harness->Find<QPushButton>("Bt_SendControlRefSignal"), Qt::LeftButton);
    }
    std::unique_ptr<WindowHarness> Harness;
};

TEST_F(CommaLocaleTest, EntriesUseTheLocaleDecimalSeparator) {
    TPollEngine& engine = Harness->Window().Engine();
    EXPECT_EQ(engine.DecimalSeparator, ",");
    Send(QStringLiteral("327,7"));
    EXPECT_EQ(engine.WriteList[ControlRefWrite].Value, 32768);
    const ModalBox box = RunExpectingBox([this] { Send(QStringLiteral("327.7")); });
    EXPECT_EQ(box.Text, QStringLiteral("Hibás érték!"));
}

TEST_F(QueryControlsTest, VirtualInputClickQueuesAllSixStates) {
    Click("Bt_VirtualInput1");
    Click("Bt_VirtualInput3");
    Click("Bt_VirtualInput6");
    EXPECT_EQ(Engine().WriteList[VirtualInputsWrite].Active, 1);
    EXPECT_EQ(Engine().WriteList[VirtualInputsWrite].Value, 0x25);
    Click("Bt_VirtualInput1");
    EXPECT_EQ(Engine().WriteList[VirtualInputsWrite].Value, 0x24);
}

// The fake view of the engine tests cannot show this: setChecked emits toggled, so a button
// wired to the wrong signal would queue a write from the drive's own state.
TEST_F(QueryControlsTest, FirstInputsReplyPutsTheRealButtonsDownAndQueuesNoWrite) {
    TPollEngine& engine = Engine();
    Harness.Window().Settings.Mode = ModeASCII;
    Harness.Window().Settings.Address = 1;
    engine.Check_QueryClick(false, false, false, true);
    engine.ArmPollCycle();
    engine.TimerTimer();
    ASSERT_EQ(engine.PollPhase, AwaitingReply);
    ASSERT_EQ(engine.PollIndex, 3);
    engine.HandleReply(BytesOf(":0103020015E5\r\n")); // inputs 1, 3 and 5 on
    ASSERT_EQ(engine.ExchangeState.VirtualInputsSynced, 1);
    for (int k = 1; k <= 6; ++k) {
        const std::string name = "Bt_VirtualInput" + std::to_string(k);
        EXPECT_EQ(Harness.Find<QPushButton>(name.c_str())->isChecked(), k % 2 == 1) << name;
    }
    EXPECT_EQ(engine.WriteList[VirtualInputsWrite].Active, 0);
    engine.TimerTimer();
    EXPECT_EQ(engine.PendingRequest.FunctionCode, FunctionReadHolding) << "no write went out";
}

TEST_F(QueryControlsTest, QueryChecksAreCopiedIntoThePollList) {
    Click("Check_MotorCurrent");
    Click("Check_VirtualInput");
    EXPECT_EQ(Engine().PollList[0].Active, 1);
    EXPECT_EQ(Engine().PollList[1].Active, 0);
    EXPECT_EQ(Engine().PollList[2].Active, 1);
    EXPECT_EQ(Engine().PollList[3].Active, 0);
}

TEST_F(QueryControlsTest, ClearButtonRequestsCounterReset) {
    Engine().CounterResetRequest = 0;
    Click("Bt_Clear");
    EXPECT_EQ(Engine().CounterResetRequest, 1);
}

class ReadOnlyBoxFocusTest : public QueryControlsTest,
                             public ::testing::WithParamInterface<const char*> {};

TEST_P(ReadOnlyBoxFocusTest, FocusMovesOnToTheEntryField) {
    Harness.Window().activateWindow();
    ASSERT_TRUE(WaitFor([this] { return Harness.Window().isActiveWindow(); }));
    auto* box = Harness.Find<QLineEdit>(GetParam());
    QTest::mouseClick(box, Qt::LeftButton);
    EXPECT_EQ(QApplication::focusWidget(), Harness.Find<QLineEdit>("Edit_SetControlRefSignal"));
}

INSTANTIATE_TEST_SUITE_P(Boxes, ReadOnlyBoxFocusTest,
                         ::testing::Values("Edit_Frequency", "Edit_MotorCurrent",
                                           "Edit_ControlRefSignal", "Edit_VirtualInput1",
                                           "Edit_VirtualInput2", "Edit_VirtualInput3",
                                           "Edit_VirtualInput4", "Edit_VirtualInput5",
                                           "Edit_VirtualInput6"));

// The scheduler moves the markers through the window; the port need not be open for that.
// A shown marker moves with the next repaint.
TEST_F(QueryControlsTest, MarkersStandBesideTheServedRow) {
    QWidget* query = Harness.Find<QWidget>("Shape_Query");
    QWidget* set = Harness.Find<QWidget>("Shape_Set");
    Engine().ArmPollCycle();
    Harness.Window().TimerTimer(); // the first read after opening is entry 1
    EXPECT_TRUE(query->isVisible());
    EXPECT_TRUE(WaitFor([query] { return query->y() == 50; }, 2000)) << query->y();
    EXPECT_FALSE(set->isVisible());

    Click("Bt_VirtualInput2");
    Engine().PollPhase = ReadyToSend;
    Harness.Window().TimerTimer();
    EXPECT_TRUE(set->isVisible());
    EXPECT_TRUE(WaitFor([set] { return set->y() == 102; }, 2000)) << set->y();
    EXPECT_FALSE(query->isVisible());

    SendControlRef(QStringLiteral("10"));
    Engine().PollPhase = ReadyToSend;
    Harness.Window().TimerTimer();
    EXPECT_TRUE(WaitFor([set] { return set->y() == 25; }, 2000)) << set->y();

    Engine().PollPhase = ReadyToSend;
    Harness.Window().TimerTimer();
    EXPECT_TRUE(WaitFor([query] { return query->y() == 75; }, 2000)) << query->y();
    EXPECT_EQ(query->x(), 8);
}

TEST_F(QueryControlsTest, NothingEnabledHidesBothMarkers) {
    for (const char* check : {"Check_Frequency", "Check_MotorCurrent", "Check_ControlRefSignal",
                              "Check_VirtualInput"}) {
        Click(check);
    }
    Engine().ArmPollCycle();
    Harness.Window().TimerTimer();
    EXPECT_FALSE(Harness.Find<QWidget>("Shape_Query")->isVisible());
    EXPECT_FALSE(Harness.Find<QWidget>("Shape_Set")->isVisible());
}

} // namespace
} // namespace quorvel::test
