#include "SpinEdit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <algorithm>

namespace quorvel {

namespace {

bool AllDigits(const QString& text) {
    for (const QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            return false;
        }
    }
    return true;
}

// Keys that edit or step without typing a character; everything else must be a digit.
bool IsEditingKey(int key) {
    switch (key) {
    case Qt::Key_Delete:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return true;
    default:
        return false;
    }
}

} // namespace

TSpinEdit::TSpinEdit(QWidget* parent) : QSpinBox(parent) {
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

int TSpinEdit::Value() {
    const int value = ValueOfText(lineEdit()->text());
    setValue(value);
    lineEdit()->setText(textFromValue(value));
    return value;
}

int TSpinEdit::ValueOfText(const QString& text) const {
    bool ok = false;
    const qlonglong number = text.trimmed().toLongLong(&ok);
    if (!ok || text.trimmed().isEmpty() || !AllDigits(text.trimmed())) {
        return minimum();
    }
    return static_cast<int>(std::clamp<qlonglong>(number, minimum(), maximum()));
}

QValidator::State TSpinEdit::validate(QString& input, int& /*pos*/) const {
    if (!AllDigits(input)) {
        return QValidator::Invalid;
    }
    if (input.isEmpty() || input.size() > 9) {
        return QValidator::Intermediate;
    }
    const int number = input.toInt();
    return number >= minimum() && number <= maximum() ? QValidator::Acceptable
                                                      : QValidator::Intermediate;
}

void TSpinEdit::fixup(QString& input) const {
    input = textFromValue(ValueOfText(input));
}

// Only digits are typed; Backspace and every other character are dropped. The characters a
// numeric field never takes (anything but digits and signs) also beep.
void TSpinEdit::keyPressEvent(QKeyEvent* event) {
    if (IsEditingKey(event->key())) {
        QSpinBox::keyPressEvent(event);
        return;
    }
    const QString text = event->text();
    if (!text.isEmpty() && AllDigits(text)) {
        QSpinBox::keyPressEvent(event);
        return;
    }
    if (!text.isEmpty() && text.at(0).isPrint() && text != QLatin1String("-") &&
        text != QLatin1String("+")) {
        QApplication::beep();
    }
    event->accept();
}

} // namespace quorvel
