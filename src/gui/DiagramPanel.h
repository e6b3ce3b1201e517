// Frequency chart panel: a 596 x 226 bitmap of its own on which each sample adds one red
// segment, scrolling left by one pixel per sample once the plot is full. GUI thread only;
// the panel owns its image and labels.
#pragma once

#include <QFrame>
#include <QImage>
#include <QLocale>
#include <QString>

#include <array>
#include <cstdint>

class QLabel;

namespace quorvel {

class TDiagramImage;

class TDiagramPanel : public QFrame {
    Q_OBJECT

  public:
    static constexpr std::array<double, 10> ChartScales{1, 2.5, 5, 10, 25, 50, 100, 250, 500, 1000};

    explicit TDiagramPanel(QWidget* parent = nullptr);

    // hz in general format (shortest, at most 15 significant digits, the locale's decimal
    // separator, no group separator) followed by " Hz".
    static QString ScaleText(double hz, const QLocale& locale);

    // Captions of Label_1 ... Label_5 for the full scale; Label_0 stays "0 Hz".
    void SetScaleLabels(double fullScaleHz, const QLocale& locale);
    // Empty chart: background, axes and grid; next sample starts at column 0 from 0 Hz.
    void ClearChart(double fullScaleHz);
    // Plots the next sample; a text that is not a number in the locale plots as 0 Hz.
    void AddChartPoint(const QString& frequencyText, const QLocale& locale);

    const QImage& Image() const;

    std::uint16_t ChartColumn = 0;
    double ChartLastValue = 0;
    double ChartPixelsPerHz = 0;

  private:
    void ShiftPlotLeft();
    int ValueToY(double hz) const;

    TDiagramImage* Image_Diagram;
    std::array<QLabel*, 6> Labels{};
};

} // namespace quorvel
