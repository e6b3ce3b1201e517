// About box: program name, version and the drives it serves, closed with "OK". Created once
// hidden, shown modally with exec() by the main window. GUI thread only; owns its controls.
#pragma once

#include <QDialog>

namespace quorvel {

class TForm_AboutBox : public QDialog {
    Q_OBJECT

  public:
    explicit TForm_AboutBox(QWidget* parent);
};

} // namespace quorvel
