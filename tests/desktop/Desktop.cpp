#include "Desktop.h"

#include "WindowHarness.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>

#include <algorithm>
#include <cstdlib>

namespace quorvel::test {

bool Xdotool(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    // The event loop keeps running meanwhile: the window answers the manager's requests.
    const bool ended =
        WaitFor([&process] { return process.state() == QProcess::NotRunning; }, 20000);
    if (!ended) {
        process.kill();
        process.waitForFinished();
    }
    const bool ok =
        ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    EXPECT_TRUE(ok) << "xdotool " << arguments.join(' ').toStdString() << ": "
                    << process.readAllStandardError().toStdString();
    return ok;
}

QString WindowIdOf(QWidget* window) {
    return QString::number(window->winId());
}

QImage ScreenOf(const QWidget* widget) {
    const QPoint at = widget->mapToGlobal(QPoint(0, 0));
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen->grabWindow(0, at.x(), at.y(), widget->width(), widget->height())
        .toImage()
        .convertToFormat(QImage::Format_RGB32);
}

QRgb ScreenPixel(const QWidget* widget, QPoint at) {
    const QPoint global = widget->mapToGlobal(at);
    return QGuiApplication::primaryScreen()
        ->grabWindow(0, global.x(), global.y(), 1, 1)
        .toImage()
        .pixel(0, 0);
}

int MaxDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return 256;
    }
    const QImage x = a.convertToFormat(QImage::Format_RGB32);
    const QImage y = b.convertToFormat(QImage::Format_RGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

bool Minimise(QWidget* window) {
    return Xdotool({QStringLiteral("windowminimize"), WindowIdOf(window)}) &&
           WaitFor([window] { return !window->windowHandle()->isExposed(); }, 10000);
}

bool Restore(QWidget* window) {
    return Xdotool({QStringLiteral("windowactivate"), WindowIdOf(window)}) &&
           WaitFor([window] { return window->windowHandle()->isExposed(); }, 10000);
}

} // namespace quorvel::test
