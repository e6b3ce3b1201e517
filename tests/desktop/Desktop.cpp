#include "Desktop.h"

#include "WindowHarness.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QProcess>
#include <QScreen>
#include <QWidget>
#include <QWindow>

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

bool Minimise(QWidget* window) {
    return Xdotool({QStringLiteral("windowminimize"), WindowIdOf(window)}) &&
           WaitFor([window] { return !window->windowHandle()->isExposed(); }, 10000);
}

bool Restore(QWidget* window) {
    return Xdotool({QStringLiteral("windowactivate"), WindowIdOf(window)}) &&
           WaitFor([window] { return window->windowHandle()->isExposed(); }, 10000);
}

} // namespace quorvel::test
