// Saves pictures of the window (no panel, chart, log) into the build tree for a visual check.
#include "WindowHarness.h"

#include <QDir>
#include <QPixmap>
#include <QPushButton>
#include <QTest>

#include <iostream>

namespace quorvel::test {
namespace {

void Save(QWidget& window, const QString& file) {
    const QPixmap picture = window.grab();
    ASSERT_FALSE(picture.isNull());
    const QString path = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(file);
    ASSERT_TRUE(picture.save(path)) << path.toStdString();
    std::cout << "[ picture ] " << path.toStdString() << '\n';
}

TEST(ScreenshotTest, WindowWithoutPanel) {
    WindowHarness harness;
    Save(harness.Window(), QStringLiteral("window.png"));
}

TEST(ScreenshotTest, WindowWithChartAndWithLog) {
    WindowHarness harness({"Diagram=1"});
    Save(harness.Window(), QStringLiteral("window-chart.png"));
    QTest::mouseClick(harness.Find<QPushButton>("Bt_Messages"), Qt::LeftButton);
    Save(harness.Window(), QStringLiteral("window-log.png"));
}

} // namespace
} // namespace quorvel::test
