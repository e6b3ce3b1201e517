// Texts of edit boxes and tops of small widgets that change faster than their window draws
// frames: a value for a shown widget waits here and is written just before the window's next
// frame (Apply), so a frame's worth of changes costs one new text or one move. A value for a
// widget that is not shown is written at once. GUI thread only; borrows the widgets, which
// must outlive it.
#pragma once

#include <QString>

#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLineEdit;
class QWidget;

namespace quorvel {

class TFrameRefresh {
  public:
    // Called when a value starts to wait after the last Apply: the owner makes sure a frame
    // comes, also when the toolkit asks for none.
    std::function<void()> OnWaiting;

    // A box the operator typed into takes the text again even when it has not changed.
    void SetText(QLineEdit* box, const std::string& text);
    void SetTop(QWidget* widget, int top);
    // Moves the widget now to the top it was last given (shown or hidden there).
    void MoveNow(QWidget* widget);

    // Writes every waiting value to its widget.
    void Apply();
    bool Waiting() const { return WaitingCount > 0; }

  private:
    struct TText {
        QLineEdit* Box = nullptr;
        std::optional<std::string> Given; // the last text given, shown or waiting
        QString Text;
        bool Waiting = false;
    };
    struct TTop {
        QWidget* Widget = nullptr;
        int Top = 0;
        bool Waiting = false;
    };

    TText& TextOf(QLineEdit* box);
    TTop& TopOf(QWidget* widget);
    void Wait(bool& waiting, QWidget* widget);
    void Write(TText& slot);
    void Move(TTop& slot);

    std::vector<TText> Texts; // a handful of widgets: a scan beats a map
    std::vector<TTop> Tops;
    int WaitingCount = 0;
};

} // namespace quorvel
