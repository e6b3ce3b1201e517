// The small filled red circle that marks the request being served (Shape_Query, Shape_Set).
// GUI thread.
#pragma once

#include <QWidget>

namespace quorvel {

class TShapeMarker : public QWidget {
    Q_OBJECT

  public:
    explicit TShapeMarker(QWidget* parent = nullptr);

  protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace quorvel
