// The window's controls: names, positions, captions, initial states, menu and window frame.
#include "WindowHarness.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>

namespace quorvel::test {
namespace {

struct Placed {
    const char* name;
    QRect geometry; // zero size: a self-sizing label, only the corner counts
    const char* caption;
};

// Captions of labels, buttons, check and radio boxes, group frames; positions relative to the
// parent (the client area for the frames).
const Placed Layout[] = {
    {"Group_Port", {10, 5, 216, 126}, " Port kezelés "},
    {"Label_Port", {10, 23, 0, 0}, "Soros port:"},
    {"Combo_Port", {100, 20, 101, 21}, nullptr},
    {"Label_Baudrate", {10, 48, 0, 0}, "Baudrate:"},
    {"Combo_Baudrate", {100, 45, 101, 21}, nullptr},
    {"Label_Mode", {10, 72, 0, 0}, "Mód:"},
    {"Radio_ModeASCII", {100, 72, 51, 17}, "ASCII"},
    {"Radio_ModeRTU", {157, 72, 46, 17}, "RTU"},
    {"Bt_PortOpen", {35, 95, 66, 21}, "Nyit"},
    {"Bt_PortClose", {115, 95, 66, 21}, "Zár"},
    {"Group_Modbus", {235, 5, 216, 126}, " Modbus beállítások "},
    {"Label_Address", {10, 23, 0, 0}, "Eszköz címe:"},
    {"Combo_Address", {85, 20, 100, 21}, nullptr},
    {"Label_Timer", {10, 48, 0, 0}, "Időzítés:"},
    {"CSpin_Timer", {85, 45, 101, 22}, nullptr},
    {"Label_TimerMeasure", {190, 48, 0, 0}, "ms"},
    {"Bt_Apply", {35, 95, 66, 21}, "Alkalmaz"},
    {"Bt_Default", {115, 95, 66, 21}, "Alapállapot"},
    {"Group_Counters", {460, 5, 196, 181}, " Számlálók "},
    {"Label_SentMessage", {10, 23, 0, 0}, "Küldött üzenetek:"},
    {"Edit_SentMessage", {115, 20, 71, 21}, nullptr},
    {"Label_RecMessage", {10, 48, 0, 0}, "Fogadott üzenetek:"},
    {"Edit_RecMessage", {115, 45, 71, 21}, nullptr},
    {"Label_NoAnswer", {10, 73, 0, 0}, "Nincs válasz:"},
    {"Edit_NoAnswer", {115, 70, 71, 21}, nullptr},
    {"Label_ErrorMessage", {10, 98, 0, 0}, "Hibaüzenetek:"},
    {"Edit_ErrorMessage", {115, 95, 71, 21}, nullptr},
    {"Label_Error", {10, 123, 0, 0}, "Hibás üzenetek:"},
    {"Edit_Error", {115, 120, 71, 21}, nullptr},
    {"Bt_Clear", {55, 150, 75, 21}, "Nulláz"},
    {"Group_Query", {10, 135, 216, 126}, " Lekérdezés "},
    {"Shape_Query", {8, 25, 6, 6}, nullptr},
    {"Check_Frequency", {20, 20, 97, 17}, "Frekvencia"},
    {"Edit_Frequency", {120, 18, 66, 21}, nullptr},
    {"Label_FrequencyMeasure", {190, 21, 0, 0}, "Hz"},
    {"Check_MotorCurrent", {20, 45, 97, 17}, "Motor áram"},
    {"Edit_MotorCurrent", {120, 43, 66, 21}, nullptr},
    {"Label_MotorCurrentMeasure", {190, 46, 0, 0}, "A"},
    {"Check_ControlRefSignal", {20, 70, 96, 17}, "Vezérlés alapjel"},
    {"Edit_ControlRefSignal", {120, 68, 66, 21}, nullptr},
    {"Label_ControlRefSignalMeasure", {190, 71, 0, 0}, "Hz"},
    {"Check_VirtualInput", {20, 95, 86, 17}, "Virtuális bem."},
    {"Edit_VirtualInput1", {120, 93, 14, 21}, nullptr},
    {"Edit_VirtualInput2", {134, 93, 14, 21}, nullptr},
    {"Edit_VirtualInput3", {148, 93, 14, 21}, nullptr},
    {"Edit_VirtualInput4", {162, 93, 14, 21}, nullptr},
    {"Edit_VirtualInput5", {176, 93, 14, 21}, nullptr},
    {"Edit_VirtualInput6", {190, 93, 14, 21}, nullptr},
    {"Group_ValueSet", {235, 135, 216, 126}, " Értékadás "},
    {"Shape_Set", {8, 25, 6, 6}, nullptr},
    {"Label_SetControlRefSignal", {20, 21, 0, 0}, "Vezérlés alapjel"},
    {"Edit_SetControlRefSignal", {120, 18, 46, 21}, nullptr},
    {"Label_SetControlRefSignalMeasure", {170, 21, 0, 0}, "Hz"},
    {"Bt_SendControlRefSignal", {95, 45, 108, 21}, "Érték elküldése"},
    {"Bevel1", {10, 80, 196, 2}, nullptr},
    {"Label_VirtualInput", {20, 98, 0, 0}, "Virtuális bem."},
    {"Bt_VirtualInput1", {95, 94, 18, 22}, "1"},
    {"Bt_VirtualInput2", {113, 94, 18, 22}, "2"},
    {"Bt_VirtualInput3", {131, 94, 18, 22}, "3"},
    {"Bt_VirtualInput4", {149, 94, 18, 22}, "4"},
    {"Bt_VirtualInput5", {167, 94, 18, 22}, "5"},
    {"Bt_VirtualInput6", {185, 94, 18, 22}, "6"},
    {"Page_Extra", {460, 195, 196, 66}, nullptr},
    {"Bt_Diagram", {5, 5, 111, 26}, "Grafikon mutatása"},
    {"Combo_Max", {125, 9, 58, 21}, nullptr},
    {"Bt_Messages", {5, 5, 111, 26}, "Üzenetek mutatása"},
    {"Bt_DeleteMessages", {125, 5, 56, 26}, "Törlés"},
    {"Panel_Diagram", {10, 270, 646, 236}, nullptr},
    {"Panel_Messages", {10, 270, 646, 236}, nullptr},
};

QString CaptionOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        return group->title();
    }
    return {};
}

class LayoutTest : public ::testing::TestWithParam<Placed> {
  protected:
    static void SetUpTestSuite() { Harness = new WindowHarness(); }
    static void TearDownTestSuite() {
        delete Harness;
        Harness = nullptr;
    }
    static WindowHarness* Harness;
};

WindowHarness* LayoutTest::Harness = nullptr;

TEST_P(LayoutTest, ControlStandsAtItsPlaceWithItsCaption) {
    const Placed& placed = GetParam();
    auto* widget = Harness->Find<QWidget>(placed.name);
    ASSERT_NE(widget, nullptr);
    if (placed.geometry.isEmpty()) {
        EXPECT_EQ(widget->pos(), placed.geometry.topLeft());
    } else {
        EXPECT_EQ(widget->geometry(), placed.geometry);
    }
    if (placed.caption != nullptr) {
        EXPECT_EQ(CaptionOf(widget), QString::fromUtf8(placed.caption));
    }
}

// Every entry of a drop-down list must fit its text field (the chart scale list too, at its
// 58 pixels).
void ExpectEntriesFit(QComboBox* combo) {
    QStyleOptionComboBox option;
    option.initFrom(combo);
    option.editable = combo->isEditable();
    option.frame = combo->hasFrame();
    option.subControls = QStyle::SC_All;
    const QRect field = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                       QStyle::SC_ComboBoxEditField, combo);
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i) {
        widest = std::max(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
    }
    EXPECT_LE(widest, field.width()) << combo->objectName().toStdString();
}

// A group frame's title must stand inside the frame.
void ExpectTitleFits(QGroupBox* group) {
    QStyleOptionGroupBox option;
    option.initFrom(group);
    option.text = group->title();
    option.textAlignment = group->alignment();
    option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
    option.lineWidth = 1;
    const QRect label = group->style()->subControlRect(QStyle::CC_GroupBox, &option,
                                                       QStyle::SC_GroupBoxLabel, group);
    // The style may clip the label rectangle to the frame, so the text's own width is compared.
    const int textWidth = group->fontMetrics().horizontalAdvance(group->title());
    EXPECT_GE(label.x(), 0);
    EXPECT_LE(label.x() + textWidth, group->width()) << label.x() << " + " << textWidth;
}

// A caption must fit the control it stands in: labels inside their group, button texts inside
// the button, check and radio texts beside their indicator, group titles inside their frame and
// list entries inside their field.
TEST_P(LayoutTest, CaptionFitsItsControl) {
    const Placed& placed = GetParam();
    auto* widget = Harness->Find<QWidget>(placed.name);
    ASSERT_NE(widget, nullptr);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        ExpectEntriesFit(combo);
        return;
    }
    if (auto* group = qobject_cast<QGroupBox*>(widget)) {
        ExpectTitleFits(group);
        return;
    }
    const QString caption = CaptionOf(widget);
    if (caption.isEmpty()) {
        return;
    }
    const int textWidth = widget->fontMetrics().horizontalAdvance(caption);
    if (qobject_cast<QCheckBox*>(widget) != nullptr || qobject_cast<QRadioButton*>(widget)) {
        QStyleOptionButton option;
        option.initFrom(widget);
        option.text = caption;
        const QStyle::SubElement element = qobject_cast<QCheckBox*>(widget) != nullptr
                                               ? QStyle::SE_CheckBoxContents
                                               : QStyle::SE_RadioButtonContents;
        EXPECT_LE(textWidth, widget->style()->subElementRect(element, &option, widget).width());
    } else if (qobject_cast<QPushButton*>(widget) != nullptr) {
        EXPECT_LE(textWidth + 4, widget->width());
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        EXPECT_LE(label->x() + textWidth, label->parentWidget()->width());
        EXPECT_GE(label->width(), textWidth);
    }
}

INSTANTIATE_TEST_SUITE_P(Window, LayoutTest, ::testing::ValuesIn(Layout),
                         [](const ::testing::TestParamInfo<Placed>& info) {
                             return std::string(info.param.name);
                         });

class WindowFrameTest : public ::testing::Test {
  protected:
    WindowHarness Harness;
};

TEST_F(WindowFrameTest, TitleAndFixedClientArea) {
    TForm_Quorvel& window = Harness.Window();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Quorvel Kelmar  V2.2 (09.01.21)"));
    EXPECT_EQ(window.centralWidget()->size(), QSize(665, 270));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    EXPECT_FALSE(window.windowIcon().isNull());
}

TEST_F(WindowFrameTest, ControlsStartAsDesigned) {
    EXPECT_EQ(Harness.Find<QComboBox>("Combo_Baudrate")->currentText(), QStringLiteral("38400"));
    auto* address = Harness.Find<QComboBox>("Combo_Address");
    EXPECT_EQ(address->count(), 17);
    EXPECT_EQ(address->itemText(16), QStringLiteral("16"));
    EXPECT_EQ(address->currentIndex(), 1);
    EXPECT_TRUE(Harness.Find<QRadioButton>("Radio_ModeASCII")->isChecked());
    EXPECT_TRUE(Harness.Find<QPushButton>("Bt_PortOpen")->isEnabled());
    EXPECT_FALSE(Harness.Find<QPushButton>("Bt_PortClose")->isEnabled());
    auto* spin = Harness.Find<QSpinBox>("CSpin_Timer");
    EXPECT_EQ(spin->maximum(), 10000);
    EXPECT_TRUE(Harness.Find<QLineEdit>("Edit_Frequency")->isReadOnly());
    EXPECT_FALSE(Harness.Find<QLineEdit>("Edit_SetControlRefSignal")->isReadOnly());
    EXPECT_TRUE(Harness.Find<QLineEdit>("Edit_VirtualInput1")->font().bold());
    EXPECT_TRUE(Harness.Find<QPushButton>("Bt_VirtualInput6")->isCheckable());
    EXPECT_TRUE(Harness.Find<QPushButton>("Bt_VirtualInput6")->font().bold());
    EXPECT_TRUE(Harness.Find<QWidget>("Shape_Query")->isHidden());
    EXPECT_TRUE(Harness.Find<QWidget>("Shape_Set")->isHidden());
    for (const char* check : {"Check_Frequency", "Check_MotorCurrent", "Check_ControlRefSignal",
                              "Check_VirtualInput"}) {
        EXPECT_TRUE(Harness.Find<QCheckBox>(check)->isChecked()) << check;
    }
    auto* pages = Harness.Find<QTabWidget>("Page_Extra");
    EXPECT_EQ(pages->tabText(0), QStringLiteral("Grafikon"));
    EXPECT_EQ(pages->tabText(1), QStringLiteral("Üzenetek"));
    EXPECT_EQ(pages->widget(0)->objectName(), QStringLiteral("Tab_Diagram"));
    EXPECT_EQ(pages->widget(1)->objectName(), QStringLiteral("Tab_Messages"));
}

TEST_F(WindowFrameTest, TimerIsPreciseAndStopped) {
    auto* timer = Harness.Window().findChild<QTimer*>(QStringLiteral("Timer"));
    ASSERT_NE(timer, nullptr);
    EXPECT_EQ(timer->timerType(), Qt::PreciseTimer);
    EXPECT_FALSE(timer->isActive());
}

TEST_F(WindowFrameTest, MenuItemsCarryCaptionsAndShortcuts) {
    TForm_Quorvel& window = Harness.Window();
    auto action = [&window](const char* name) {
        return window.findChild<QAction*>(QString::fromLatin1(name));
    };
    ASSERT_NE(window.findChild<QMenu*>(QStringLiteral("Menu_File")), nullptr);
    EXPECT_EQ(window.findChild<QMenu*>(QStringLiteral("Menu_File"))->title(),
              QStringLiteral("Fájl"));
    EXPECT_EQ(window.findChild<QMenu*>(QStringLiteral("Menu_Help"))->title(),
              QStringLiteral("Súgó"));
    ASSERT_NE(action("Menu_Exit"), nullptr);
    EXPECT_EQ(action("Menu_Exit")->text(), QStringLiteral("Kilépés"));
    EXPECT_EQ(action("Menu_Exit")->shortcut(), QKeySequence(Qt::ALT | Qt::Key_F4));
    EXPECT_EQ(action("Menu_OpenHelp")->text(), QStringLiteral("Témakörök"));
    EXPECT_EQ(action("Menu_OpenHelp")->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_FALSE(action("Menu_OpenHelp")->isEnabled());
    EXPECT_TRUE(action("N1")->isSeparator());
    EXPECT_EQ(action("Menu_About")->text(), QStringLiteral("Névjegy"));
}

TEST_F(WindowFrameTest, AboutItemShowsTheAboutBoxModally) {
    bool shownModal = false;
    QTimer::singleShot(0, [&shownModal] {
        QWidget* modal = QApplication::activeModalWidget();
        shownModal = modal != nullptr && modal->objectName() == QStringLiteral("Form_AboutBox");
        if (modal != nullptr) {
            modal->close();
        }
    });
    Harness.Window().findChild<QAction*>(QStringLiteral("Menu_About"))->trigger();
    EXPECT_TRUE(shownModal);
}

TEST_F(WindowFrameTest, ExitItemClosesTheWindow) {
    Harness.Window().findChild<QAction*>(QStringLiteral("Menu_Exit"))->trigger();
    EXPECT_FALSE(Harness.Window().isVisible());
}

} // namespace
} // namespace quorvel::test
