// Handlers of the chart and message log panels; the two share the area below the groups and at
// most one of them is shown.
#include "MainWindow.h"

#include "DiagramPanel.h"
#include "MessageLogPanel.h"

#include <QComboBox>
#include <QLocale>
#include <QPushButton>

namespace quorvel {

namespace {

constexpr int PlainHeight = 270;
constexpr int PanelHeight = 515;

} // namespace

void TForm_Quorvel::Combo_MaxChange() {
    const int index = Combo_Max->currentIndex();
    if (index >= 0) {
        Settings.Max = static_cast<std::uint8_t>(index);
        Panel_Diagram->SetScaleLabels(TDiagramPanel::ChartScales[Settings.Max], QLocale());
    }
    Bt_DiagramClick();
}

// A scale change while the message log is shown leaves the log in view.
void TForm_Quorvel::Bt_DiagramClick() {
    Settings.Diagram = Bt_Diagram->isChecked();
    if (!Settings.Diagram) {
        Panel_Diagram->hide();
        if (!Bt_Messages->isChecked()) {
            SetClientHeight(PlainHeight);
        }
        return;
    }
    Bt_Messages->setChecked(false);
    Settings.Messages = false;
    Panel_Messages->hide();
    Panel_Diagram->show();
    SetClientHeight(PanelHeight);
    const int index = std::max(Combo_Max->currentIndex(), 0);
    Panel_Diagram->ClearChart(TDiagramPanel::ChartScales[static_cast<std::size_t>(index)]);
}

void TForm_Quorvel::Bt_MessagesClick() {
    Settings.Messages = Bt_Messages->isChecked();
    if (Settings.Messages) {
        Bt_Diagram->setChecked(false);
        Settings.Diagram = false;
        Panel_Diagram->hide();
        Panel_Messages->show();
        SetClientHeight(PanelHeight);
    } else {
        Panel_Messages->hide();
        SetClientHeight(PlainHeight);
    }
}

void TForm_Quorvel::Bt_DeleteMessagesClick() {
    Panel_Messages->ClearLines();
}

} // namespace quorvel
