// Form_Quorvel's creation and closing, the menu and the handler wiring.
#include "MainWindow.h"

#include "About.h"
#include "DiagramPanel.h"
#include "FrameGate.h"
#include "LocaleNumber.h"
#include "MainThreadCall.h"
#include "MessageLogPanel.h"
#include "PortCombo.h"
#include "Portthread.h"
#include "ShapeMarker.h"
#include "SpinEdit.h"
#include "Wait4msg.h"
#include "WindowEngineView.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

namespace quorvel {

TForm_Quorvel* Form_Quorvel = nullptr;

TForm_Quorvel::TForm_Quorvel(SettingsFiles settingsFiles, QWidget* parent)
    : QMainWindow(parent), SettingsPlace(std::move(settingsFiles)) {
    BuildWindow();
    Gate = new TFrameGate(this); // a poll tick at 2 ms must not cost a repaint each
    ConnectHandlers();
    FormCreate();
    Form_Quorvel = this;
}

// The link goes first: a delivery still waiting for the GUI thread is run or dropped while the
// controls it writes still exist.
TForm_Quorvel::~TForm_Quorvel() {
    PortThread.reset();
    PollEngine.reset();
    if (Form_Quorvel == this) {
        Form_Quorvel = nullptr;
    }
}

void TForm_Quorvel::SetAboutBox(TForm_AboutBox* aboutBox) {
    AboutBox = aboutBox;
}

void TForm_Quorvel::ConnectHandlers() {
    connect(Combo_Port, &QComboBox::activated, this, &TForm_Quorvel::Combo_PortChange);
    Combo_Port->OnPopup = [this] { FillPortList(); };
    connect(Combo_Baudrate, &QComboBox::activated, this, &TForm_Quorvel::Combo_BaudrateChange);
    for (QRadioButton* radio : {Radio_ModeASCII, Radio_ModeRTU}) {
        connect(radio, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked) {
                Radio_ModeClick();
            }
        });
    }
    connect(Bt_PortOpen, &QPushButton::clicked, this, &TForm_Quorvel::Bt_PortOpenClick);
    connect(Bt_PortClose, &QPushButton::clicked, this, &TForm_Quorvel::Bt_PortCloseClick);
    connect(Bt_Apply, &QPushButton::clicked, this, &TForm_Quorvel::Bt_ApplyClick);
    connect(Bt_Default, &QPushButton::clicked, this, &TForm_Quorvel::Bt_DefaultClick);
    connect(Bt_Clear, &QPushButton::clicked, this, &TForm_Quorvel::Bt_ClearClick);
    for (QCheckBox* check :
         {Check_Frequency, Check_MotorCurrent, Check_ControlRefSignal, Check_VirtualInput}) {
        connect(check, &QCheckBox::clicked, this, &TForm_Quorvel::Check_QueryClick);
    }
    for (QLineEdit* edit : {Edit_Frequency, Edit_MotorCurrent, Edit_ControlRefSignal}) {
        edit->installEventFilter(this);
    }
    for (QLineEdit* edit : Edit_VirtualInput) {
        edit->installEventFilter(this);
    }
    connect(Bt_SendControlRefSignal, &QPushButton::clicked, this,
            &TForm_Quorvel::Bt_SendControlRefSignalClick);
    for (QPushButton* button : Bt_VirtualInput) {
        connect(button, &QPushButton::clicked, this, &TForm_Quorvel::Bt_SendVirtualInputs);
    }
    connect(Bt_Diagram, &QPushButton::clicked, this, &TForm_Quorvel::Combo_MaxChange);
    connect(Combo_Max, &QComboBox::activated, this, &TForm_Quorvel::Combo_MaxChange);
    connect(Bt_Messages, &QPushButton::clicked, this, &TForm_Quorvel::Bt_MessagesClick);
    connect(Bt_DeleteMessages, &QPushButton::clicked, this, &TForm_Quorvel::Bt_DeleteMessagesClick);
    connect(Timer, &QTimer::timeout, this, &TForm_Quorvel::TimerTimer);
}

void TForm_Quorvel::FormCreate() {
    MainThreadContext = new QObject(this);
    MainThreadContext->setObjectName(QStringLiteral("MainThreadContext"));
    View = std::make_unique<TWindowEngineView>(EngineWidgets(), Gate->Refresh());
    PortThread = std::make_unique<TPortThread>(Settings, QtMainThreadCall(MainThreadContext));
    PortThread->Configure(ModeASCII, 0);
    PollEngine = std::make_unique<TPollEngine>(Settings, *View, *PortThread);
    PollEngine->DecimalSeparator = LocaleDecimalSeparator();
    PortThread->OnReceive = [this](ByteString chunk) { PollEngine->HandleReply(std::move(chunk)); };
    PortThread->OnLinkLost = [this](bool lost) { PortLinkLost(lost); };
    LoadSettings();
    FillPortList();
    FillScaleList();
    Panel_Messages->move(Panel_Messages->x(), 270);
    if (Bt_Messages->isChecked()) {
        Bt_MessagesClick();
    }
    PollEngine->PollPhase = Idle;
    PollEngine->BuildQueryTables();
}

TEngineWidgets TForm_Quorvel::EngineWidgets() const {
    TEngineWidgets widgets;
    widgets.Counters = {Edit_SentMessage, Edit_RecMessage, Edit_NoAnswer, Edit_ErrorMessage,
                        Edit_Error};
    widgets.Values = {Edit_Frequency, Edit_MotorCurrent, Edit_ControlRefSignal};
    widgets.VirtualInputs = Edit_VirtualInput;
    widgets.VirtualInputButtons = Bt_VirtualInput;
    widgets.Markers = {Shape_Query, Shape_Set};
    widgets.Messages = Bt_Messages;
    widgets.Diagram = Bt_Diagram;
    widgets.Log = Panel_Messages;
    widgets.Chart = Panel_Diagram;
    return widgets;
}

void TForm_Quorvel::FillScaleList() {
    const QLocale locale;
    for (const double scale : TDiagramPanel::ChartScales) {
        Combo_Max->addItem(TDiagramPanel::ScaleText(scale, locale));
    }
    // A stored index outside the list would read past the scale table: use the file's default.
    Combo_Max->setCurrentIndex(Settings.Max < Combo_Max->count() ? Settings.Max
                                                                 : DefaultScaleIndex);
    Combo_MaxChange();
}

void TForm_Quorvel::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TForm_Quorvel::FormClose() {
    if (PortThread->IsOpen()) {
        PortThread->ClosePort();
    }
    SaveSettings();
    QCoreApplication::processEvents();
}

// The read-only value boxes never keep the focus: it goes on to the one entry field.
bool TForm_Quorvel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        Edit_QueryEnter();
    }
    return QMainWindow::eventFilter(watched, event);
}

void TForm_Quorvel::SetClientHeight(int height) {
    Client->setFixedSize(665, height);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    adjustSize();
}

void TForm_Quorvel::ShowErrorBox(const QString& text) {
    QMessageBox box(QMessageBox::Critical, QStringLiteral("HIBA"), text, QMessageBox::Ok, this);
    box.exec();
}

void TForm_Quorvel::Menu_ExitClick() {
    close();
}

void TForm_Quorvel::Menu_AboutClick() {
    if (AboutBox == nullptr) {
        AboutBox = new TForm_AboutBox(this);
    }
    AboutBox->exec();
}

void TForm_Quorvel::Menu_OpenHelpClick() {}

void TForm_Quorvel::TimerTimer() {
    PollEngine->TimerTimer();
    Gate->TickCame(Timer->interval());
}

} // namespace quorvel
