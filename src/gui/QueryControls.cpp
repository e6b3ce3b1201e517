// Handlers of the query display and the value setting: query choice, writes, counter reset.
#include "MainWindow.h"

#include "DriveRegisters.h"
#include "LocaleNumber.h"
#include "Wait4msg.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

namespace quorvel {

namespace {

constexpr std::size_t WriteControlRef = 0;
constexpr std::size_t WriteVirtualInputs = 1;

} // namespace

void TForm_Quorvel::Check_QueryClick() {
    PollEngine->Check_QueryClick(Check_Frequency->isChecked(), Check_MotorCurrent->isChecked(),
                                 Check_ControlRefSignal->isChecked(),
                                 Check_VirtualInput->isChecked());
}

void TForm_Quorvel::Edit_QueryEnter() {
    Edit_SetControlRefSignal->setFocus(Qt::OtherFocusReason);
}

// A refused entry leaves no control reference write pending; the field keeps its text.
void TForm_Quorvel::Bt_SendControlRefSignalClick() {
    PollEngine->CancelWrite(WriteControlRef);
    const std::optional<double> hz = ReadLocaleNumber(Edit_SetControlRefSignal->text());
    const std::optional<std::uint16_t> word =
        hz.has_value() ? EncodeFrequencyWord(*hz) : std::nullopt;
    if (!word.has_value()) {
        ShowErrorBox(QStringLiteral("Hibás érték!"));
        return;
    }
    PollEngine->QueueWrite(WriteControlRef, *word);
}

void TForm_Quorvel::Bt_SendVirtualInputs() {
    std::uint16_t word = 0;
    for (std::size_t k = 0; k < Bt_VirtualInput.size(); ++k) {
        if (Bt_VirtualInput[k]->isChecked()) {
            word = static_cast<std::uint16_t>(word | (1U << k));
        }
    }
    PollEngine->QueueWrite(WriteVirtualInputs, word);
}

void TForm_Quorvel::Bt_ClearClick() {
    PollEngine->Bt_ClearClick();
}

} // namespace quorvel
