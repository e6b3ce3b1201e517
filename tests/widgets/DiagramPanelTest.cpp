#include "DiagramPanel.h"
#include "GuiFont.h"

#include <QImage>
#include <QLabel>
#include <QLocale>
#include <QWidget>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <vector>

namespace quorvel {
namespace {

const QRgb Red = qRgb(255, 0, 0);
const QRgb Grey = qRgb(128, 128, 128);
const QRgb Silver = qRgb(192, 192, 192);
const QLocale PointLocale = QLocale::c();
const QLocale CommaLocale(QLocale::Hungarian, QLocale::Hungary);

// Topmost red pixel of an image column; nothing when the column holds no red.
std::optional<int> TopRed(const QImage& image, int x) {
    for (int y = 0; y < image.height(); ++y) {
        if (image.pixel(x, y) == Red) {
            return y;
        }
    }
    return std::nullopt;
}

bool ColumnHasRed(const QImage& image, int x) {
    return TopRed(image, x).has_value();
}

std::vector<QRgb> Column(const QImage& image, int x, int rows) {
    std::vector<QRgb> pixels;
    for (int y = 0; y < rows; ++y) {
        pixels.push_back(image.pixel(x, y));
    }
    return pixels;
}

struct SampleCase {
    double FullScale;
    const char* Text;
    int ExpectedY;
};

void PrintTo(const SampleCase& c, std::ostream* os) {
    *os << c.Text << " of " << c.FullScale;
}

class ChartSample : public testing::TestWithParam<SampleCase> {};

TEST_P(ChartSample, FirstSampleRunsFromAxisToItsHeight) {
    TDiagramPanel panel;
    panel.ClearChart(GetParam().FullScale);
    panel.AddChartPoint(GetParam().Text, PointLocale);
    const QImage& image = panel.Image();
    EXPECT_EQ(image.pixel(10, 215), Red) << "segment starts on the axis at column 0";
    EXPECT_EQ(TopRed(image, 11), GetParam().ExpectedY);
    EXPECT_EQ(image.pixel(11, GetParam().ExpectedY), Red);
    EXPECT_FALSE(ColumnHasRed(image, 12));
    EXPECT_EQ(panel.ChartColumn, 1);
}

INSTANTIATE_TEST_SUITE_P(Heights, ChartSample,
                         testing::Values(SampleCase{50, "25", 115}, SampleCase{50, "50", 15},
                                         SampleCase{1000, "50", 205}, SampleCase{1, "0.5", 115},
                                         SampleCase{2.5, "1.25", 115},
                                         SampleCase{50, "12.3", 165}, // 215 - 49.2, cut
                                         SampleCase{50, "not a number", 215},
                                         SampleCase{50, "", 215}, SampleCase{50, "nan", 215},
                                         SampleCase{50, "inf", 215}));

TEST(Chart, ReadsTheValueInTheGivenLocale) {
    TDiagramPanel panel;
    panel.ClearChart(50);
    panel.AddChartPoint("25,0", CommaLocale);
    EXPECT_DOUBLE_EQ(panel.ChartLastValue, 25.0);
    EXPECT_EQ(TopRed(panel.Image(), 11), 115);
    panel.AddChartPoint("25.0", CommaLocale); // not a number there
    EXPECT_DOUBLE_EQ(panel.ChartLastValue, 0.0);
}

TEST(Chart, ValuesFarOutOfRangeAreClippedNotUndefined) {
    TDiagramPanel panel;
    panel.ClearChart(1);
    panel.AddChartPoint("1e300", PointLocale);
    panel.AddChartPoint("-1e300", PointLocale);
    EXPECT_EQ(panel.ChartColumn, 2);
    EXPECT_EQ(TopRed(panel.Image(), 11), 0) << "the line leaves through the top edge";
}

TEST(Chart, ClearDrawsAxesAndGridOnTheButtonFace) {
    TDiagramPanel panel;
    panel.ClearChart(50);
    const QImage& image = panel.Image();
    ASSERT_EQ(image.size(), QSize(596, 226));
    const QRgb face = panel.palette().color(QPalette::Button).rgb();
    EXPECT_EQ(image.pixel(0, 0), face);
    EXPECT_EQ(image.pixel(595, 225), face);
    for (const int x : {5, 300, 580}) {
        EXPECT_EQ(image.pixel(x, 215), Grey) << x;
    }
    EXPECT_EQ(image.pixel(4, 215), face);
    EXPECT_EQ(image.pixel(581, 215), face);
    for (const int y : {220, 100, 10}) {
        EXPECT_EQ(image.pixel(9, y), Grey) << y;
    }
    EXPECT_EQ(image.pixel(9, 221), face);
    EXPECT_EQ(image.pixel(9, 9), face);
    for (const int y : {175, 135, 95, 55, 15}) {
        EXPECT_EQ(image.pixel(5, y), Silver) << y;
        EXPECT_EQ(image.pixel(580, y), Silver) << y;
        EXPECT_EQ(image.pixel(581, y), face) << y;
    }
    EXPECT_DOUBLE_EQ(panel.ChartPixelsPerHz, 4.0);
}

TEST(Chart, SamplesAdvanceOneColumnUntilThePlotIsFull) {
    TDiagramPanel panel;
    panel.ClearChart(50);
    for (int n = 1; n <= 560; ++n) {
        panel.AddChartPoint(n == 560 ? "50" : "25", PointLocale);
        ASSERT_EQ(panel.ChartColumn, n);
    }
    const QImage& image = panel.Image();
    EXPECT_EQ(image.pixel(569, 115), Red);
    EXPECT_EQ(TopRed(image, 570), 15) << "sample 560 ends at x = 570";
    EXPECT_FALSE(ColumnHasRed(image, 571));
}

TEST(Chart, SampleAfterAFullPlotShiftsOnePixelAndDrawsAtTheLastColumn) {
    TDiagramPanel panel;
    panel.ClearChart(50);
    for (int n = 1; n <= 560; ++n) {
        panel.AddChartPoint(QString::number(n % 50), PointLocale); // a distinct sawtooth
    }
    const QImage before = panel.Image().copy();
    panel.AddChartPoint("50", PointLocale);
    const QImage& after = panel.Image();
    EXPECT_EQ(panel.ChartColumn, 560);
    for (int x = 10; x <= 568; ++x) {
        ASSERT_EQ(Column(after, x, 218), Column(before, x + 1, 218)) << "column " << x;
    }
    EXPECT_EQ(TopRed(after, 570), 15) << "sample 561 ends at x = 570";
    EXPECT_EQ(after.pixel(569, 215 - 10 * 4), Red) << "previous point moved to x = 569";
    EXPECT_FALSE(ColumnHasRed(after, 571));
    EXPECT_EQ(Column(after, 9, 226), Column(before, 9, 226)) << "vertical axis never moves";
    for (int x = 575; x < 596; ++x) {
        ASSERT_EQ(Column(after, x, 226), Column(before, x, 226)) << "column " << x;
    }
}

TEST(Chart, KeepsScrollingAtTheLastColumn) {
    TDiagramPanel panel;
    panel.ClearChart(50);
    for (int n = 1; n <= 600; ++n) {
        panel.AddChartPoint("25", PointLocale);
    }
    EXPECT_EQ(panel.ChartColumn, 560);
    EXPECT_EQ(TopRed(panel.Image(), 570), 115);
    EXPECT_EQ(panel.Image().pixel(10, 115), Red) << "the flat line fills the plot";
}

TEST(Chart, RescaleClearsTheChartAndRestartsFromZero) {
    TDiagramPanel panel;
    panel.ClearChart(50);
    for (int n = 0; n < 30; ++n) {
        panel.AddChartPoint("40", PointLocale);
    }
    panel.ClearChart(25);
    TDiagramPanel fresh;
    fresh.ClearChart(25);
    EXPECT_EQ(panel.Image(), fresh.Image());
    EXPECT_EQ(panel.ChartColumn, 0);
    EXPECT_DOUBLE_EQ(panel.ChartLastValue, 0.0);
    EXPECT_DOUBLE_EQ(panel.ChartPixelsPerHz, 8.0);
    panel.AddChartPoint("25", PointLocale);
    EXPECT_EQ(panel.Image().pixel(10, 215), Red);
    EXPECT_EQ(TopRed(panel.Image(), 11), 15);
}

TEST(Chart, UnusableScalePlotsFlatInsteadOfDividingByZero) {
    TDiagramPanel panel;
    panel.ClearChart(0);
    panel.AddChartPoint("25", PointLocale);
    EXPECT_EQ(TopRed(panel.Image(), 11), 215);
}

struct LabelCase {
    double FullScale;
    QLocale Locale;
    std::array<const char*, 5> Texts;
};

void PrintTo(const LabelCase& c, std::ostream* os) {
    *os << c.FullScale << " Hz in " << c.Locale.name().toStdString();
}

class ChartLabels : public testing::TestWithParam<LabelCase> {};

TEST_P(ChartLabels, ShowFifthsOfTheFullScale) {
    TDiagramPanel panel;
    panel.SetScaleLabels(GetParam().FullScale, GetParam().Locale);
    EXPECT_EQ(panel.findChild<QLabel*>("Label_0")->text(), "0 Hz");
    for (int i = 1; i <= 5; ++i) {
        auto* label = panel.findChild<QLabel*>(QStringLiteral("Label_%1").arg(i));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromUtf8(GetParam().Texts[i - 1])) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scales, ChartLabels,
    testing::Values(LabelCase{1, PointLocale, {"0.2 Hz", "0.4 Hz", "0.6 Hz", "0.8 Hz", "1 Hz"}},
                    LabelCase{1, CommaLocale, {"0,2 Hz", "0,4 Hz", "0,6 Hz", "0,8 Hz", "1 Hz"}},
                    LabelCase{2.5, PointLocale, {"0.5 Hz", "1 Hz", "1.5 Hz", "2 Hz", "2.5 Hz"}},
                    LabelCase{2.5, CommaLocale, {"0,5 Hz", "1 Hz", "1,5 Hz", "2 Hz", "2,5 Hz"}},
                    LabelCase{50, CommaLocale, {"10 Hz", "20 Hz", "30 Hz", "40 Hz", "50 Hz"}},
                    LabelCase{
                        1000, CommaLocale, {"200 Hz", "400 Hz", "600 Hz", "800 Hz", "1000 Hz"}}));

TEST(ChartScaleText, ListsEveryScaleWithoutGroupSeparatorOrExponent) {
    QStringList texts;
    for (const double scale : TDiagramPanel::ChartScales) {
        texts << TDiagramPanel::ScaleText(scale, CommaLocale);
    }
    EXPECT_EQ(texts, QStringList({"1 Hz", "2,5 Hz", "5 Hz", "10 Hz", "25 Hz", "50 Hz", "100 Hz",
                                  "250 Hz", "500 Hz", "1000 Hz"}));
    EXPECT_EQ(TDiagramPanel::ScaleText(1234567.5, CommaLocale), "1234567,5 Hz");
    EXPECT_EQ(TDiagramPanel::ScaleText(0.1 + 0.2, PointLocale), "0.3 Hz");
}

TEST(ChartLayout, PanelImageAndLabelsSitWhereTheWindowExpects) {
    QWidget window;
    window.setFont(ConsoleFont());
    auto* panel = new TDiagramPanel(&window);
    EXPECT_EQ(panel->objectName(), "Panel_Diagram");
    EXPECT_EQ(panel->size(), QSize(646, 236));
    EXPECT_TRUE(panel->isHidden());
    auto* image = panel->findChild<QWidget*>("Image_Diagram");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->geometry(), QRect(45, 7, 596, 226));
    panel->SetScaleLabels(1000, CommaLocale);
    const std::array<int, 6> lineY{215, 175, 135, 95, 55, 15};
    for (int i = 0; i < 6; ++i) {
        auto* label = panel->findChild<QLabel*>(QStringLiteral("Label_%1").arg(i));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->geometry().right() + 1, 43) << i;
        EXPECT_EQ(label->y() + label->height() / 2, lineY[i] + 7) << "centred on its line " << i;
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << i;
    }
}

} // namespace
} // namespace quorvel
