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

// The same painter set-up as QStylePainter on the widget, so the pixels come out the same.
void TCachedGroupBox::Redraw(const TKey& key) {
    const QSize pixels = (QSizeF(key.Size) * key.Ratio).toSize();
    Frame = QImage(pixels, QImage::Format_ARGB32_Premultiplied);
    Frame.setDevicePixelRatio(key.Ratio);
    // The image's resolution is the widget's, so point sizes give the same pixels.
    Frame.setDotsPerMeterX(qRound(logicalDpiX() / 0.0254));
    Frame.setDotsPerMeterY(qRound(logicalDpiY() / 0.0254));
    Frame.fill(Qt::transparent);
    QPainter painter(&Frame);
    painter.setPen(palette().color(foregroundRole()));
    painter.setBackground(palette().brush(backgroundRole()));
    painter.setFont(font());
    painter.setLayoutDirection(layoutDirection());
    QStyleOptionGroupBox option;
    initStyleOption(&option);
    style()->drawComplexControl(QStyle::CC_GroupBox, &option, &painter, this);
    FrameKey = key;
    ++DrawCount;
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
}

void TCachedGroupBox::changeEvent(QEvent* event) {
    if (event->type() == QEvent::StyleChange) {
        Frame = QImage(); // a style of the same address may draw differently
    }
    QGroupBox::changeEvent(event);
}

} // namespace quorvel
