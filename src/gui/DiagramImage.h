// Drawing surface of the chart: shows an owned QImage 1:1, never scaled. GUI thread only.
#pragma once

#include <QImage>
#include <QWidget>

namespace quorvel {

class TDiagramImage : public QWidget {
  public:
    TDiagramImage(QSize size, QWidget* parent);

    QImage& Bitmap() { return Canvas; }
    const QImage& Bitmap() const { return Canvas; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    QImage Canvas;
};

} // namespace quorvel
