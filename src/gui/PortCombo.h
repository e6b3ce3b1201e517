// Combo_Port: a drop-down list that asks its owner to refresh the entries each time it is opened,
// just before the list shows. Opening is no pick: no activated signal comes of it. GUI thread.
#pragma once

#include <QComboBox>

#include <functional>

namespace quorvel {

class TPortCombo : public QComboBox {
  public:
    using QComboBox::QComboBox;

    // Called before the list opens.
    std::function<void()> OnPopup;

    void showPopup() override;
};

} // namespace quorvel
