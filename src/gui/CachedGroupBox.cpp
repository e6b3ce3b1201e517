#include "CachedGroupBox.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionGroupBox>

namespace quorvel {

TCachedGroupBox::TCachedGroupBox(const QString& title, QWidget* parent)
    : QGroupBox(title, parent) {}

// Everything the style's drawing depends on; a title set later changes the key as well.
TCachedGroupBox::TKey TCachedGroupBox::CurrentKey() const {
    return TKey{size(), devicePixelRatioF(), title(), palette().cacheKey(),
                font(), isEnabled(),         style(), logicalDpiX()};
}

// The painter set-up of QStylePainter on the widget, so the pixels come out the same.
void TCachedGroupBox::Draw(QPainter& painter, QStyle::SubControls parts) const {
    painter.setPen(palette().color(foregroundRole()));
    painter.setBackground(palette().brush(backgroundRole()));
    painter.setFont(font());
    painter.setLayoutDirection(layoutDirection());
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    option.subControls &= parts; // the frame keeps the title's gap, drawn or not
    style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
}

// Only the frame: text drawn into a transparent image cannot get the screen's subpixel
// smoothing (ClearType) and blends unlike text drawn on the window, so the title is drawn on
// the widget itself.
void TCachedGroupBox::Redraw(const TKey& key) {
    const QSize pixels = (QSizeF(key.Size) * key.Ratio).toSize();
    Frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    Frame.setDevicePixelRatio(key.Ratio);
    // The image's resolution is the widget's, so point sizes give the same pixels.
    Frame.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    Frame.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    Frame.fill(Qt::transparent);
    QPainter painter(&Frame);
    Draw(painter, ~QStyle::SubControls(QStyle::SC_GroupBoxLabel));
    TitleRect = TitleArea();
    FrameKey = key;
    ++DrawCount;
}

QRect TCachedGroupBox::TitleArea() const {
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, this);
}

void TCachedGroupBox::paintEvent(QPaintEvent* event) {
    const TKey key = CurrentKey();
    if (Frame.isNull() || !(key == FrameKey)) {
        Redraw(key);
    }
    QPainter painter(this);
    const QRect area = event->rect();
    painter.drawImage(area, Frame,
                      QRectF(QPointF(area.topLeft()) * key.Ratio, QSizeF(area.size()) * key.Ratio));
    // The counters and values inside repaint far below the title: they never come here.
    if (area.intersects(TitleRect)) {
        Draw(painter, QStyle::SC_GroupBoxLabel);
        ++TitleCount;
    }
}

void TCachedGroupBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange) {
        Frame = QImage(); // a style of the same address may draw differently
    }
    QGroupBox::changeEvent(event);
}

} // namespace quorvel
