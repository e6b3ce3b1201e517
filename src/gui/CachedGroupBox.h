// A group frame that draws its frame once into an image and then only copies the part a
// repaint asks for: the counters and values inside it change many times a second, and every
// change would otherwise make the style draw the whole frame again. The title is drawn by the
// style on the widget itself, as QGroupBox does, whenever a repaint reaches it, so it gets the
// platform's own text smoothing. GUI thread only; looks exactly like QGroupBox.
#pragma once

#include <QGroupBox>
#include <QImage>
#include <QStyle>

class QPainter;

namespace quorvel {

class TCachedGroupBox : public QGroupBox {
  public:
    TCachedGroupBox(const QString& title, QWidget* parent);

    int FrameDraws() const { return DrawCount; }  // how often the style drew the frame
    int TitleDraws() const { return TitleCount; } // how often it drew the title

  protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    struct TKey {
        QSize Size;
        qreal Ratio = 0;
        QString Title;
        qint64 Palette = 0;
        QFont Font;
        bool Enabled = false;
        const QStyle* Style = nullptr;
        int Dpi = 0;
        bool operator==(const TKey&) const = default;
    };

    TKey CurrentKey() const;
    void Draw(QPainter& painter, QStyle::SubControls parts) const;
    QRect TitleArea() const;
    void Redraw(const TKey& key);

    QImage Frame;
    TKey FrameKey;
    QRect TitleRect;
    int DrawCount = 0;
    int TitleCount = 0;
};

} // namespace quorvel
