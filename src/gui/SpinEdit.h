// Integer spin edit for the poll period: digits only, a program-set value or the value left on
// losing the focus is clamped, an empty or non-numeric field reads as the minimum. GUI thread.
#pragma once

#include <QSpinBox>

namespace quorvel {

class TSpinEdit : public QSpinBox {
    Q_OBJECT

  public:
    explicit TSpinEdit(QWidget* parent = nullptr);

    // The field's value: its digits clamped to the limits, the minimum when it holds no number;
    // the field then shows that value.
    int Value();

  protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    int ValueOfText(const QString& text) const;
};

} // namespace quorvel
