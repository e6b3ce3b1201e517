#include "DiagramPanel.h"

#include "DiagramImage.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quorvel {

namespace {

// Geometry of the chart, in image coordinates unless named otherwise.
constexpr QSize PanelSize(646, 236);
constexpr QPoint ImagePos(45, 7);
constexpr QSize ImageSize(596, 226);
constexpr int AxisY = 215;           // 0 Hz
constexpr int FullScalePixels = 200; // 0 Hz to full scale
constexpr int LineLeft = 5;
constexpr int LineRight = 580;
constexpr int AxisX = 9;
constexpr int AxisTop = 10;
constexpr int AxisBottom = 220;
constexpr std::array<int, 5> GridY{175, 135, 95, 55, 15};
constexpr int FirstColumnX = 10; // column c is drawn at x = c + 10
constexpr int LastColumn = 560;  // the plot is full from here on
constexpr int ShiftLeft = 11;    // scrolled band: x 11..575 moves to 10..574
constexpr int ShiftWidth = 565;
constexpr int ShiftHeight = 218;         // rows 0..217
constexpr int LabelRight = 43;           // panel x of the labels' right edge
constexpr int LabelHeight = 14;          // centred on the line: top = line y in image coordinates
constexpr double MaxPixelOffset = 1.0e6; // far beyond the image; keeps the int conversion defined

const QColor AxisColour(128, 128, 128);
const QColor GridColour(192, 192, 192);
const QColor DataColour(255, 0, 0);

void DrawLine(QPainter& painter, const QColor& colour, QPoint from, QPoint to) {
    painter.setPen(QPen(colour, 1));
    painter.drawLine(from, to);
}

} // namespace

TDiagramPanel::TDiagramPanel(QWidget* parent)
    : QFrame(parent), Image_Diagram(new TDiagramImage(ImageSize, this)) {
    setObjectName(QStringLiteral("Panel_Diagram"));
    // A lowered outer and a raised inner line: the groove of the console's panels.
    setFrameStyle(QFrame::Box | QFrame::Sunken);
    setLineWidth(1);
    setFixedSize(PanelSize);
    Image_Diagram->setObjectName(QStringLiteral("Image_Diagram"));
    Image_Diagram->move(ImagePos);
    const std::array<int, 6> lineY{AxisY, GridY[0], GridY[1], GridY[2], GridY[3], GridY[4]};
    // Only the stretch is set, so family and size still come from the window: narrower
    // digits let "1000 Hz" fit left of the image.
    QFont condensed;
    condensed.setStretch(QFont::SemiCondensed);
    for (std::size_t i = 0; i < Labels.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("Label_%1").arg(i));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        label->setFont(condensed);
        label->setGeometry(lineWidth() * 2, lineY[i], LabelRight - lineWidth() * 2, LabelHeight);
        Labels[i] = label;
    }
    Labels[0]->setText(QStringLiteral("0 Hz"));
    hide();
}

QString TDiagramPanel::ScaleText(double hz, const QLocale& locale) {
    QLocale plain = locale;
    plain.setNumberOptions(plain.numberOptions() | QLocale::OmitGroupSeparator);
    return plain.toString(hz, 'g', 15) + QStringLiteral(" Hz");
}

void TDiagramPanel::SetScaleLabels(double fullScaleHz, const QLocale& locale) {
    for (std::size_t i = 1; i < Labels.size(); ++i) {
        const double value = i == 5 ? fullScaleHz : fullScaleHz * 0.2 * static_cast<double>(i);
        Labels[i]->setText(ScaleText(value, locale));
    }
}

void TDiagramPanel::ClearChart(double fullScaleHz) {
    ChartLastValue = 0;
    ChartColumn = 0;
    QImage& bitmap = Image_Diagram->Bitmap();
    bitmap.fill(palette().color(QPalette::Button));
    {
        QPainter painter(&bitmap);
        painter.setRenderHint(QPainter::Antialiasing, false);
        DrawLine(painter, AxisColour, {LineLeft, AxisY}, {LineRight, AxisY});
        DrawLine(painter, AxisColour, {AxisX, AxisBottom}, {AxisX, AxisTop});
        for (const int y : GridY) {
            DrawLine(painter, GridColour, {LineLeft, y}, {LineRight, y});
        }
    }
    // A scale that is no positive number would divide by zero: plot flat on the axis then.
    const bool usable = std::isfinite(fullScaleHz) && fullScaleHz > 0;
    ChartPixelsPerHz = usable ? FullScalePixels / fullScaleHz : 0;
    Image_Diagram->update();
}

int TDiagramPanel::ValueToY(double hz) const {
    const double offset = std::clamp(hz * ChartPixelsPerHz, -MaxPixelOffset, MaxPixelOffset);
    return static_cast<int>(std::trunc(AxisY - offset));
}

void TDiagramPanel::ShiftPlotLeft() {
    QImage& bitmap = Image_Diagram->Bitmap();
    const auto pixelBytes = static_cast<std::size_t>(bitmap.depth() / 8);
    for (int y = 0; y < ShiftHeight; ++y) {
        uchar* row = bitmap.scanLine(y);
        std::memmove(row + (ShiftLeft - 1) * pixelBytes, row + ShiftLeft * pixelBytes,
                     ShiftWidth * pixelBytes);
    }
}

void TDiagramPanel::AddChartPoint(const QString& frequencyText, const QLocale& locale) {
    const int y0 = ValueToY(ChartLastValue);
    QPoint from(ChartColumn + FirstColumnX, y0);
    if (ChartColumn < LastColumn) {
        ++ChartColumn;
    } else {
        ShiftPlotLeft();
        from = QPoint(ChartColumn + FirstColumnX - 1, y0); // where the previous point now lies
    }
    bool ok = false;
    const double value = locale.toDouble(frequencyText, &ok);
    ChartLastValue = ok && std::isfinite(value) ? value : 0;
    const QPoint to(ChartColumn + FirstColumnX, ValueToY(ChartLastValue));
    {
        QPainter painter(&Image_Diagram->Bitmap());
        painter.setRenderHint(QPainter::Antialiasing, false);
        DrawLine(painter, DataColour, from, to);
    }
    Image_Diagram->update();
}

const QImage& TDiagramPanel::Image() const {
    return Image_Diagram->Bitmap();
}

} // namespace quorvel
