// Builds Form_Quorvel's controls at their fixed positions (client-area pixels).
#include "CachedGroupBox.h"
#include "CompactStyle.h"
#include "DiagramPanel.h"
#include "GuiFont.h"
#include "MainWindow.h"
#include "MessageLogPanel.h"
#include "NarrowCombo.h"
#include "PortCombo.h"
#include "QuorvelVersion.h"
#include "ShapeMarker.h"
#include "SpinEdit.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include <type_traits>

namespace quorvel {

namespace {

template <typename T> T* Named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QGroupBox* Group(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* group = Named(new TCachedGroupBox(caption, parent), name);
    group->setGeometry(geometry);
    return group;
}

// Labels size themselves to their caption; only the top-left corner is fixed.
QLabel* Label(QWidget* parent, const char* name, const QString& caption, int left, int top) {
    auto* label = Named(new QLabel(caption, parent), name);
    label->move(left, top);
    label->adjustSize();
    return label;
}

template <typename T>
T* Place(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* widget = Named(new T(caption, parent), name);
    widget->setGeometry(geometry);
    if constexpr (!std::is_same_v<T, QPushButton>) {
        widget->setStyle(CompactIndicatorStyle());
    }
    return widget;
}

// The console font, narrowed to the condensed face so every caption fits its control.
QFont WindowFont() {
    QFont font = ConsoleFont();
    font.setStretch(QFont::SemiCondensed);
    return font;
}

QLineEdit* Edit(QWidget* parent, const char* name, QRect geometry, bool readOnly) {
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setGeometry(geometry);
    edit->setReadOnly(readOnly);
    return edit;
}

QComboBox* Combo(QWidget* parent, const char* name, QRect geometry) {
    auto* combo = Named(new QComboBox(parent), name);
    combo->setGeometry(geometry);
    return combo;
}

QPushButton* Toggle(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* button = Place<QPushButton>(parent, name, caption, geometry);
    button->setCheckable(true);
    return button;
}

QFont BoldFont() {
    QFont bold;
    bold.setBold(true);
    return bold;
}

} // namespace

void TForm_Quorvel::BuildWindow() {
    setObjectName(QStringLiteral("Form_Quorvel"));
    setWindowTitle(QStringLiteral("Quorvel Kelmar  " QUORVEL_VERSION_TEXT));
    setWindowIcon(QIcon(QStringLiteral(":/quorvel.png")));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(WindowFont());
    move(526, 32);

    Client = Named(new QWidget(this), "Client");
    Client->setAutoFillBackground(true);
    setCentralWidget(Client);
    BuildMenu();
    BuildPortGroup(Client);
    BuildModbusGroup(Client);
    BuildCountersGroup(Client);
    BuildQueryGroup(Client);
    BuildValueSetGroup(Client);
    BuildPageExtra(Client);
    BuildPanels(Client);
    SetClientHeight(270);

    Timer = Named(new QTimer(this), "Timer");
    Timer->setTimerType(Qt::PreciseTimer);
    Timer->setInterval(50);
}

void TForm_Quorvel::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu"));
    QMenu* file = Named(bar->addMenu(QStringLiteral("Fájl")), "Menu_File");
    QAction* exit = Named(file->addAction(QStringLiteral("Kilépés")), "Menu_Exit");
    exit->setShortcut(QKeySequence(Qt::ALT | Qt::Key_F4));
    connect(exit, &QAction::triggered, this, &TForm_Quorvel::Menu_ExitClick);

    QMenu* help = Named(bar->addMenu(QStringLiteral("Súgó")), "Menu_Help");
    QAction* topics = Named(help->addAction(QStringLiteral("Témakörök")), "Menu_OpenHelp");
    topics->setShortcut(QKeySequence(Qt::Key_F1));
    topics->setEnabled(false);
    connect(topics, &QAction::triggered, this, &TForm_Quorvel::Menu_OpenHelpClick);
    Named(help->addSeparator(), "N1");
    QAction* about = Named(help->addAction(QStringLiteral("Névjegy")), "Menu_About");
    connect(about, &QAction::triggered, this, &TForm_Quorvel::Menu_AboutClick);
}

void TForm_Quorvel::BuildPortGroup(QWidget* client) {
    QGroupBox* group =
        Group(client, "Group_Port", QStringLiteral(" Port kezelés "), QRect(10, 5, 216, 126));
    Label(group, "Label_Port", QStringLiteral("Soros port:"), 10, 23);
    Combo_Port = Named(new TPortCombo(group), "Combo_Port");
    Combo_Port->setGeometry(100, 20, 101, 21);
    Label(group, "Label_Baudrate", QStringLiteral("Baudrate:"), 10, 48);
    Combo_Baudrate = Combo(group, "Combo_Baudrate", QRect(100, 45, 101, 21));
    Combo_Baudrate->addItems({QStringLiteral("9600"), QStringLiteral("19200"),
                              QStringLiteral("38400"), QStringLiteral("500000"),
                              QStringLiteral("520833")});
    Combo_Baudrate->setCurrentIndex(2);
    Label(group, "Label_Mode", QStringLiteral("Mód:"), 10, 72);
    Radio_ModeASCII =
        Place<QRadioButton>(group, "Radio_ModeASCII", QStringLiteral("ASCII"), {100, 72, 51, 17});
    Radio_ModeASCII->setChecked(true);
    Radio_ModeRTU =
        Place<QRadioButton>(group, "Radio_ModeRTU", QStringLiteral("RTU"), {157, 72, 46, 17});
    Bt_PortOpen =
        Place<QPushButton>(group, "Bt_PortOpen", QStringLiteral("Nyit"), {35, 95, 66, 21});
    Bt_PortClose =
        Place<QPushButton>(group, "Bt_PortClose", QStringLiteral("Zár"), {115, 95, 66, 21});
    Bt_PortClose->setEnabled(false);
}

void TForm_Quorvel::BuildModbusGroup(QWidget* client) {
    QGroupBox* group = Group(client, "Group_Modbus", QStringLiteral(" Modbus beállítások "),
                             QRect(235, 5, 216, 126));
    Label(group, "Label_Address", QStringLiteral("Eszköz címe:"), 10, 23);
    Combo_Address = Combo(group, "Combo_Address", QRect(85, 20, 100, 21));
    for (int address = 0; address <= 16; ++address) {
        Combo_Address->addItem(QString::number(address));
    }
    Combo_Address->setCurrentIndex(1);
    Label(group, "Label_Timer", QStringLiteral("Időzítés:"), 10, 48);
    CSpin_Timer = Named(new TSpinEdit(group), "CSpin_Timer");
    CSpin_Timer->setGeometry(85, 45, 101, 22);
    CSpin_Timer->setRange(10, 10000);
    CSpin_Timer->setSingleStep(10);
    CSpin_Timer->setValue(50);
    Label_TimerMeasure = Label(group, "Label_TimerMeasure", QStringLiteral("ms"), 190, 48);
    Bt_Apply = Place<QPushButton>(group, "Bt_Apply", QStringLiteral("Alkalmaz"), {35, 95, 66, 21});
    Bt_Default =
        Place<QPushButton>(group, "Bt_Default", QStringLiteral("Alapállapot"), {115, 95, 66, 21});
}

void TForm_Quorvel::BuildCountersGroup(QWidget* client) {
    QGroupBox* group =
        Group(client, "Group_Counters", QStringLiteral(" Számlálók "), QRect(460, 5, 196, 181));
    struct Row {
        const char* label;
        const char* caption;
        const char* edit;
        QLineEdit** box;
    };
    const Row rows[] = {
        {"Label_SentMessage", "Küldött üzenetek:", "Edit_SentMessage", &Edit_SentMessage},
        {"Label_RecMessage", "Fogadott üzenetek:", "Edit_RecMessage", &Edit_RecMessage},
        {"Label_NoAnswer", "Nincs válasz:", "Edit_NoAnswer", &Edit_NoAnswer},
        {"Label_ErrorMessage", "Hibaüzenetek:", "Edit_ErrorMessage", &Edit_ErrorMessage},
        {"Label_Error", "Hibás üzenetek:", "Edit_Error", &Edit_Error},
    };
    int top = 20;
    for (const Row& row : rows) {
        Label(group, row.label, QString::fromUtf8(row.caption), 10, top + 3);
        *row.box = Edit(group, row.edit, QRect(115, top, 71, 21), false);
        top += 25;
    }
    Bt_Clear = Place<QPushButton>(group, "Bt_Clear", QStringLiteral("Nulláz"), {55, 150, 75, 21});
}

void TForm_Quorvel::BuildQueryGroup(QWidget* client) {
    QGroupBox* group =
        Group(client, "Group_Query", QStringLiteral(" Lekérdezés "), QRect(10, 135, 216, 126));
    Shape_Query = Named(new TShapeMarker(group), "Shape_Query");
    Shape_Query->setGeometry(8, 25, 6, 6);
    Shape_Query->hide();
    struct Row {
        const char* check;
        const char* caption;
        int width;
        const char* edit;
        const char* unitName;
        const char* unit;
        QCheckBox** box;
        QLineEdit** value;
    };
    const Row rows[] = {
        {"Check_Frequency", "Frekvencia", 97, "Edit_Frequency", "Label_FrequencyMeasure", "Hz",
         &Check_Frequency, &Edit_Frequency},
        {"Check_MotorCurrent", "Motor áram", 97, "Edit_MotorCurrent", "Label_MotorCurrentMeasure",
         "A", &Check_MotorCurrent, &Edit_MotorCurrent},
        {"Check_ControlRefSignal", "Vezérlés alapjel", 96, "Edit_ControlRefSignal",
         "Label_ControlRefSignalMeasure", "Hz", &Check_ControlRefSignal, &Edit_ControlRefSignal},
    };
    int top = 20;
    for (const Row& row : rows) {
        *row.box = Place<QCheckBox>(group, row.check, QString::fromUtf8(row.caption),
                                    {20, top, row.width, 17});
        (*row.box)->setChecked(true);
        *row.value = Edit(group, row.edit, QRect(120, top - 2, 66, 21), true);
        Label(group, row.unitName, QString::fromUtf8(row.unit), 190, top + 1);
        top += 25;
    }
    Check_VirtualInput = Place<QCheckBox>(group, "Check_VirtualInput",
                                          QStringLiteral("Virtuális bem."), {20, 95, 86, 17});
    Check_VirtualInput->setChecked(true);
    for (int k = 0; k < 6; ++k) {
        const QByteArray name = "Edit_VirtualInput" + QByteArray::number(k + 1);
        Edit_VirtualInput[k] = Edit(group, name.constData(), QRect(120 + 14 * k, 93, 14, 21), true);
        Edit_VirtualInput[k]->setFont(BoldFont());
        // 14 pixels leave the toolkit's text margins too little room for a bold "X".
        Edit_VirtualInput[k]->setTextMargins(-1, 0, -1, 0);
        Edit_VirtualInput[k]->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    }
}

void TForm_Quorvel::BuildValueSetGroup(QWidget* client) {
    QGroupBox* group =
        Group(client, "Group_ValueSet", QStringLiteral(" Értékadás "), QRect(235, 135, 216, 126));
    Shape_Set = Named(new TShapeMarker(group), "Shape_Set");
    Shape_Set->setGeometry(8, 25, 6, 6);
    Shape_Set->hide();
    Label(group, "Label_SetControlRefSignal", QStringLiteral("Vezérlés alapjel"), 20, 21);
    Edit_SetControlRefSignal =
        Edit(group, "Edit_SetControlRefSignal", QRect(120, 18, 46, 21), false);
    Label(group, "Label_SetControlRefSignalMeasure", QStringLiteral("Hz"), 170, 21);
    Bt_SendControlRefSignal = Place<QPushButton>(
        group, "Bt_SendControlRefSignal", QStringLiteral("Érték elküldése"), {95, 45, 108, 21});
    auto* bevel = Named(new QFrame(group), "Bevel1");
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    bevel->setGeometry(10, 80, 196, 2);
    Label(group, "Label_VirtualInput", QStringLiteral("Virtuális bem."), 20, 98);
    for (int k = 0; k < 6; ++k) {
        const QByteArray name = "Bt_VirtualInput" + QByteArray::number(k + 1);
        Bt_VirtualInput[k] =
            Toggle(group, name.constData(), QString::number(k + 1), QRect(95 + 18 * k, 94, 18, 22));
        Bt_VirtualInput[k]->setFont(BoldFont());
    }
}

void TForm_Quorvel::BuildPageExtra(QWidget* client) {
    Page_Extra = Named(new QTabWidget(client), "Page_Extra");
    Page_Extra->setGeometry(460, 195, 196, 66);
    Tab_Diagram = Named(new QWidget(), "Tab_Diagram");
    Tab_Messages = Named(new QWidget(), "Tab_Messages");
    Page_Extra->addTab(Tab_Diagram, QStringLiteral("Grafikon"));
    Page_Extra->addTab(Tab_Messages, QStringLiteral("Üzenetek"));
    Page_Extra->setCurrentWidget(Tab_Diagram);

    Bt_Diagram = Toggle(Tab_Diagram, "Bt_Diagram", QStringLiteral("Grafikon mutatása"),
                        QRect(5, 5, 111, 26));
    Combo_Max = Combo(Tab_Diagram, "Combo_Max", QRect(125, 9, 58, 21));
    Combo_Max->setStyle(NarrowComboStyle()); // "1000 Hz" needs the room of the usual arrow
    Bt_Messages = Toggle(Tab_Messages, "Bt_Messages", QStringLiteral("Üzenetek mutatása"),
                         QRect(5, 5, 111, 26));
    Bt_DeleteMessages = Place<QPushButton>(Tab_Messages, "Bt_DeleteMessages",
                                           QStringLiteral("Törlés"), {125, 5, 56, 26});
}

void TForm_Quorvel::BuildPanels(QWidget* client) {
    Panel_Diagram = new TDiagramPanel(client);
    Panel_Diagram->move(10, 270);
    Panel_Diagram->hide();
    Panel_Messages = new TMessageLogPanel(client);
    Panel_Messages->move(10, 515);
    Panel_Messages->hide();
}

} // namespace quorvel
