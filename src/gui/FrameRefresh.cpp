#include "FrameRefresh.h"

#include <QLineEdit>
#include <QWidget>

namespace quorvel {

TFrameRefresh::TText& TFrameRefresh::TextOf(QLineEdit* box) {
    for (TText& slot : Texts) {
        if (slot.Box == box) {
            return slot;
        }
    }
    Texts.push_back(TText{box, {}, {}, false});
    return Texts.back();
}

TFrameRefresh::TTop& TFrameRefresh::TopOf(QWidget* widget) {
    for (TTop& slot : Tops) {
        if (slot.Widget == widget) {
            return slot;
        }
    }
    Tops.push_back(TTop{widget, widget->y(), false});
    return Tops.back();
}

void TFrameRefresh::Wait(bool& waiting, QWidget* widget) {
    if (waiting) {
        return;
    }
    waiting = true;
    widget->update(); // the toolkit's own request for the frame that brings the value
    if (++WaitingCount == 1 && OnWaiting) {
        OnWaiting();
    }
}

// Most ticks rewrite a box with the text it already shows; only a change costs a new layout.
void TFrameRefresh::Write(TText& slot) {
    if (slot.Waiting) {
        slot.Waiting = false;
        --WaitingCount;
    }
    if (slot.Box->text() != slot.Text) {
        slot.Box->setText(slot.Text);
    }
}

void TFrameRefresh::Move(TTop& slot) {
    if (slot.Waiting) {
        slot.Waiting = false;
        --WaitingCount;
    }
    if (slot.Widget->y() != slot.Top) {
        slot.Widget->move(slot.Widget->x(), slot.Top);
    }
}

// A hidden window draws nothing, so its boxes take the text at once.
void TFrameRefresh::SetText(QLineEdit* box, const std::string& text) {
    TText& slot = TextOf(box);
    if (slot.Given == text && (slot.Waiting || !box->isModified())) {
        return;
    }
    slot.Given = text;
    slot.Text = QString::fromStdString(text);
    if (!box->isVisible()) {
        Write(slot);
        return;
    }
    Wait(slot.Waiting, box);
}

void TFrameRefresh::SetTop(QWidget* widget, int top) {
    TTop& slot = TopOf(widget);
    slot.Top = top;
    if (!widget->isVisible()) {
        Move(slot);
    } else if (widget->y() != top) {
        Wait(slot.Waiting, widget);
    }
}

void TFrameRefresh::MoveNow(QWidget* widget) {
    TTop& slot = TopOf(widget);
    if (slot.Waiting) {
        Move(slot);
    }
}

void TFrameRefresh::Apply() {
    if (WaitingCount == 0) {
        return;
    }
    for (TText& slot : Texts) {
        if (slot.Waiting) {
            Write(slot);
        }
    }
    for (TTop& slot : Tops) {
        if (slot.Waiting) {
            Move(slot);
        }
    }
}

} // namespace quorvel
