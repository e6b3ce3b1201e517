#include "DiagramImage.h"

#include <QPaintEvent>
#include <QPainter>

namespace quorvel {

TDiagramImage::TDiagramImage(QSize size, QWidget* parent)
    : QWidget(parent), Canvas(size, QImage::Format_RGB32) {
    setFixedSize(size);
    setAttribute(Qt::WA_OpaquePaintEvent); // the image covers every pixel
    Canvas.fill(palette().color(QPalette::Button));
}

void TDiagramImage::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.drawImage(event->rect(), Canvas, event->rect());
}

} // namespace quorvel
