// The operator's main window Form_Quorvel: builds the controls, wires their handlers to the
// polling engine, the serial link and the panels. Lives on the GUI thread and owns the
// settings record, the port thread and the engine for the whole run.
#pragma once

#include "Functionsload.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QTimer;

namespace quorvel {

class TDiagramPanel;
class TForm_AboutBox;
class TFrameGate;
class TMessageLogPanel;
class TPollEngine;
class TPortCombo;
class TPortThread;
class TShapeMarker;
class TSpinEdit;
class TWindowEngineView;
struct TEngineWidgets;

class TForm_Quorvel : public QMainWindow {
    Q_OBJECT

  public:
    // settingsFiles: the settings file read at creation and the one written at close.
    explicit TForm_Quorvel(SettingsFiles settingsFiles, QWidget* parent = nullptr);
    ~TForm_Quorvel() override;

    // The about box created at program start; created on first use when none was given.
    void SetAboutBox(TForm_AboutBox* aboutBox);

    TSettings Settings;
    // Combo_Max entry used when the stored scale index lies outside the list (50 Hz).
    static constexpr int DefaultScaleIndex = 5;
    TPollEngine& Engine() { return *PollEngine; }
    TPortThread& Port() { return *PortThread; }

    // Handlers, named after their control and event.
    void Combo_PortChange();
    void Combo_BaudrateChange();
    void Radio_ModeClick();
    void Bt_PortOpenClick();
    void Bt_PortCloseClick();
    void Bt_ApplyClick();
    void Bt_DefaultClick();
    void Check_QueryClick();
    void Edit_QueryEnter();
    void Bt_SendControlRefSignalClick();
    void Bt_SendVirtualInputs();
    void Bt_ClearClick();
    void Combo_MaxChange();
    void Bt_DiagramClick();
    void Bt_MessagesClick();
    void Bt_DeleteMessagesClick();
    void Menu_ExitClick();
    void Menu_AboutClick();
    void Menu_OpenHelpClick();
    void TimerTimer();

  protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildWindow();
    void BuildMenu();
    void BuildPortGroup(QWidget* client);
    void BuildModbusGroup(QWidget* client);
    void BuildCountersGroup(QWidget* client);
    void BuildQueryGroup(QWidget* client);
    void BuildValueSetGroup(QWidget* client);
    void BuildPageExtra(QWidget* client);
    void BuildPanels(QWidget* client);
    void ConnectHandlers();
    TEngineWidgets EngineWidgets() const;

    void FormCreate();
    void FormClose();
    void LoadSettings();
    void SaveSettings();
    void FillPortList();
    void PortLinkLost(bool lost);
    void FillScaleList();
    void SetClientHeight(int height);
    void ShowErrorBox(const QString& text);
    std::uint32_t SelectedBaudrate() const;

    SettingsFiles SettingsPlace;
    std::unique_ptr<TWindowEngineView> View;
    std::unique_ptr<TPortThread> PortThread;
    std::unique_ptr<TPollEngine> PollEngine;
    QPointer<TForm_AboutBox> AboutBox;
    QObject* MainThreadContext = nullptr;

    QWidget* Client = nullptr;
    QTimer* Timer = nullptr;
    TFrameGate* Gate = nullptr;

    TPortCombo* Combo_Port = nullptr;
    QComboBox* Combo_Baudrate = nullptr;
    QRadioButton* Radio_ModeASCII = nullptr;
    QRadioButton* Radio_ModeRTU = nullptr;
    QPushButton* Bt_PortOpen = nullptr;
    QPushButton* Bt_PortClose = nullptr;

    QComboBox* Combo_Address = nullptr;
    TSpinEdit* CSpin_Timer = nullptr;
    QLabel* Label_TimerMeasure = nullptr;
    QPushButton* Bt_Apply = nullptr;
    QPushButton* Bt_Default = nullptr;

    QLineEdit* Edit_SentMessage = nullptr;
    QLineEdit* Edit_RecMessage = nullptr;
    QLineEdit* Edit_NoAnswer = nullptr;
    QLineEdit* Edit_ErrorMessage = nullptr;
    QLineEdit* Edit_Error = nullptr;
    QPushButton* Bt_Clear = nullptr;

    TShapeMarker* Shape_Query = nullptr;
    QCheckBox* Check_Frequency = nullptr;
    QCheckBox* Check_MotorCurrent = nullptr;
    QCheckBox* Check_ControlRefSignal = nullptr;
    QCheckBox* Check_VirtualInput = nullptr;
    QLineEdit* Edit_Frequency = nullptr;
    QLineEdit* Edit_MotorCurrent = nullptr;
    QLineEdit* Edit_ControlRefSignal = nullptr;
    std::array<QLineEdit*, 6> Edit_VirtualInput{};

    TShapeMarker* Shape_Set = nullptr;
    QLineEdit* Edit_SetControlRefSignal = nullptr;
    QPushButton* Bt_SendControlRefSignal = nullptr;
    std::array<QPushButton*, 6> Bt_VirtualInput{};

    QTabWidget* Page_Extra = nullptr;
    QWidget* Tab_Diagram = nullptr;
    QWidget* Tab_Messages = nullptr;
    QPushButton* Bt_Diagram = nullptr;
    QComboBox* Combo_Max = nullptr;
    QPushButton* Bt_Messages = nullptr;
    QPushButton* Bt_DeleteMessages = nullptr;

    TDiagramPanel* Panel_Diagram = nullptr;
    TMessageLogPanel* Panel_Messages = nullptr;
};

// The one main window of the process (set while it exists).
extern TForm_Quorvel* Form_Quorvel;

} // namespace quorvel
