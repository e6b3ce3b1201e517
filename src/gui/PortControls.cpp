// Handlers of the port and Modbus settings controls: link choice, open and close, poll period.
#include "MainWindow.h"

#include "PortCombo.h"
#include "Portthread.h"
#include "SpinEdit.h"
#include "Wait4msg.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

#include <cmath>
#include <optional>

namespace quorvel {

namespace {

constexpr std::uint32_t FallbackBaudrate = 38400;
constexpr std::uint32_t HighestRtuBaudrate = 38400; // faster lines run ASCII only
constexpr double FallbackIntervalBaudrate = 9600;
constexpr std::uint32_t BitsPerCharacter = 11;

// The baud rate entry as an unsigned decimal number; nullopt without a number.
std::optional<std::uint32_t> BaudrateOf(const QString& text) {
    bool ok = false;
    const uint value = text.toUInt(&ok, 10);
    return ok ? std::optional<std::uint32_t>(value) : std::nullopt;
}

// The baud rate for the RTU interval, read as a floating-point number.
double IntervalBaudrate(const QString& text) {
    bool ok = false;
    const double value = text.toDouble(&ok);
    return ok && value > 0 ? value : FallbackIntervalBaudrate;
}

} // namespace

void TPortCombo::showPopup() {
    if (OnPopup) {
        OnPopup();
    }
    QComboBox::showPopup();
}

// Read the list again, as at start; the selected entry stays selected while it is listed. While
// the link is open its device stays selected under the name it is listed under now. A device of
// the open link that is gone stays shown by the name it had, as an entry of its own: by now that
// name may be listed for another device.
void TForm_Quorvel::FillPortList() {
    const bool hadSelection = Combo_Port->currentIndex() >= 0;
    const QString selected =
        hadSelection ? Combo_Port->currentText() : QString::fromStdString(Settings.Port);
    const QSignalBlocker quiet(Combo_Port);
    Combo_Port->clear();
    int index = -1;
    for (const TPortEntry& entry : PortThread->GetPortEntries()) {
        Combo_Port->addItem(QString::fromStdString(entry.Name));
        Combo_Port->setItemData(Combo_Port->count() - 1, QString::fromStdString(entry.Note),
                                Qt::ToolTipRole);
        if (entry.Link) {
            index = Combo_Port->count() - 1;
        }
    }
    const bool lost = PortThread->IsLinkLost();
    if (index < 0 && !lost) {
        index = Combo_Port->findText(selected, Qt::MatchFixedString);
    }
    if (index < 0 && hadSelection && PortThread->IsOpen()) {
        Combo_Port->addItem(selected);
        index = Combo_Port->count() - 1;
        Combo_Port->setItemData(index, QStringLiteral("A port most nem érhető el"),
                                Qt::ToolTipRole);
    } else if (index >= 0 && PortThread->IsOpen() && !lost) {
        Settings.Port = Combo_Port->itemText(index).toStdString();
    }
    Combo_Port->setCurrentIndex(index);
}

// The open link's device vanished (lost) or the link took it again by itself, perhaps under
// another name: the list shows it as it is now.
void TForm_Quorvel::PortLinkLost(bool lost) {
    Combo_Port->setToolTip(lost ? QStringLiteral("A(z) %1 port eltűnt: a kapcsolat magától "
                                                 "újranyílik, amint visszatér")
                                      .arg(QString::fromStdString(Settings.Port))
                                : QString());
    FillPortList();
}

std::uint32_t TForm_Quorvel::SelectedBaudrate() const {
    return BaudrateOf(Combo_Baudrate->currentText()).value_or(FallbackBaudrate);
}

void TForm_Quorvel::Combo_PortChange() {
    Settings.Port = Combo_Port->currentText().toStdString();
    Bt_PortCloseClick();
}

void TForm_Quorvel::Combo_BaudrateChange() {
    Settings.Baudrate = SelectedBaudrate();
    Bt_PortCloseClick();
    if (Settings.Baudrate > HighestRtuBaudrate) {
        Radio_ModeASCII->setChecked(true);
        Radio_ModeRTU->setEnabled(false);
    } else {
        Radio_ModeRTU->setEnabled(true);
    }
}

// Limits first, then the value, so the shown value lies within the new mode's limits.
void TForm_Quorvel::Radio_ModeClick() {
    if (Radio_ModeRTU->isChecked()) {
        Label_TimerMeasure->setText(QStringLiteral("ch"));
        CSpin_Timer->setMinimum(4);
        CSpin_Timer->setSingleStep(1);
        CSpin_Timer->setValue(Settings.TimerRTU);
        Settings.Mode = ModeRTU;
    } else {
        Label_TimerMeasure->setText(QStringLiteral("ms"));
        CSpin_Timer->setMinimum(10);
        CSpin_Timer->setSingleStep(10);
        CSpin_Timer->setValue(Settings.TimerASCII);
        Settings.Mode = ModeASCII;
    }
    Label_TimerMeasure->adjustSize();
    Bt_PortCloseClick();
}

void TForm_Quorvel::Bt_PortOpenClick() {
    Settings.Mode = Radio_ModeRTU->isChecked() ? ModeRTU : ModeASCII;
    Settings.Baudrate = SelectedBaudrate();
    Settings.Port =
        Combo_Port->currentIndex() >= 0 ? Combo_Port->currentText().toStdString() : std::string();
    Bt_ApplyClick();
    PortThread->Configure(Settings.Mode, static_cast<std::int32_t>(Settings.Baudrate));
    if (PortThread->IsOpen()) {
        Bt_PortOpen->setEnabled(false);
        Bt_PortClose->setEnabled(true);
        Timer->start();
    } else {
        ShowErrorBox(QStringLiteral("A soros portot nem lehet megnyitni!"));
        Bt_PortOpen->setEnabled(true);
        Bt_PortClose->setEnabled(false);
    }
    PollEngine->ArmPollCycle();
}

void TForm_Quorvel::Bt_PortCloseClick() {
    Timer->stop();
    if (PortThread->IsOpen()) {
        PortThread->ClosePort();
    }
    Bt_PortOpen->setEnabled(true);
    Bt_PortClose->setEnabled(false);
}

void TForm_Quorvel::Bt_ApplyClick() {
    QCoreApplication::processEvents();
    Settings.Address = static_cast<std::uint8_t>(Combo_Address->currentIndex());
    QCoreApplication::processEvents();
    const int value = CSpin_Timer->Value();
    if (Radio_ModeRTU->isChecked()) {
        Settings.TimerRTU = static_cast<std::uint16_t>(value);
        const double baud = IntervalBaudrate(Combo_Baudrate->currentText());
        const auto product =
            static_cast<std::uint32_t>(Settings.TimerRTU) * 1000U * BitsPerCharacter;
        Settings.PollInterval = static_cast<std::uint16_t>(std::ceil(product / baud));
    } else {
        Settings.TimerASCII = static_cast<std::uint16_t>(value);
        Settings.PollInterval = Settings.TimerASCII;
    }
    Timer->setInterval(Settings.PollInterval);
}

void TForm_Quorvel::Bt_DefaultClick() {
    Combo_Address->setCurrentIndex(1);
    CSpin_Timer->setValue(Radio_ModeRTU->isChecked() ? 4 : 50);
    Bt_ApplyClick();
}

} // namespace quorvel
