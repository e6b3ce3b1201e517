// The window's part of loading and saving the settings file: applying the record to the
// controls at creation, taking the window position and reporting a failed save at close.
#include "MainWindow.h"

#include "Messagedialog.h"

#include <QComboBox>
#include <QFileInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

namespace quorvel {

namespace {

constexpr std::uint8_t HighestAddress = 16;
constexpr std::uint8_t DialogError = 3;
constexpr std::uint16_t ButtonsOk = 16;

} // namespace

void TForm_Quorvel::LoadSettings() {
    Settings = LoadSettingsFile(SettingsPlace);
    move(Settings.Left, Settings.Top);
    Combo_Baudrate->setCurrentIndex(
        Combo_Baudrate->findText(QString::number(Settings.Baudrate), Qt::MatchExactly));
    Combo_BaudrateChange();
    if (Settings.Mode == ModeRTU) {
        Radio_ModeRTU->setChecked(true);
    } else {
        Radio_ModeASCII->setChecked(true);
    }
    if (Settings.Address > HighestAddress) {
        Settings.Address = 0;
    }
    Combo_Address->setCurrentIndex(Settings.Address);
    Radio_ModeClick();
    if (Settings.Diagram) {
        Page_Extra->setCurrentWidget(Tab_Diagram);
        Bt_Diagram->setChecked(true);
    }
    if (Settings.Messages) {
        Page_Extra->setCurrentWidget(Tab_Messages);
        Bt_Messages->setChecked(true);
    }
}

void TForm_Quorvel::SaveSettings() {
    Settings.Left = static_cast<std::int16_t>(x());
    Settings.Top = static_cast<std::int16_t>(y());
    if (SaveSettingsFile(SettingsPlace, Settings)) {
        return;
    }
    const std::string& path =
        SettingsPlace.WritePath.empty() ? SettingsPlace.ReadPath : SettingsPlace.WritePath;
    AddMessageLine(QStringLiteral("A fájl nem írható! (Lehet, hogy írásvédett)"));
    ShowMessageDialog(DialogError, QStringLiteral("Hiba!"),
                      QFileInfo(QString::fromStdString(path)).fileName(), ButtonsOk);
}

} // namespace quorvel
