// A group frame that draws its frame and title once into an image and then only copies the
// part a repaint asks for: the counters and values inside it change many times a second, and
// every change would otherwise make the style draw the whole frame and shape the title again.
// GUI thread only; looks exactly like QGroupBox.
#pragma once

#include <QGroupBox>
#include <QImage>

namespace quorvel {

class TCachedGroupBox : public QGroupBox {
  public:
    TCachedGroupBox(const QString& title, QWidget* parent);

    int FrameDraws() const { return DrawCount; } // how often the style drew the frame

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
    void Redraw(const TKey& key);

    QImage Frame;
    TKey FrameKey;
    int DrawCount = 0;
};

} // namespace quorvel
