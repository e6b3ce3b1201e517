// Test support for the window on a real X desktop (Xvfb managed by openbox, started by
// on-desktop.sh): what the window manager is asked to do through xdotool, and what the X server
// shows, read from its screen rather than rendered by the widgets. GUI thread only.
#pragma once

#include <QImage>
#include <QStringList>

class QWidget;

namespace quorvel::test {

// Runs xdotool with the arguments; true when it ended with status 0.
bool Xdotool(const QStringList& arguments);
// The X window id of a top-level widget, as xdotool takes it.
QString WindowIdOf(QWidget* window);

// The pixels the X server shows where the widget lies (nothing of the widget is drawn here).
QImage ScreenOf(const QWidget* widget);
// The screen's pixel at a point of the widget.
QRgb ScreenPixel(const QWidget* widget, QPoint at);

// Minimised through the window manager until the window is no longer shown; restored and
// raised until it is shown again. Each returns whether the state was reached.
bool Minimise(QWidget* window);
bool Restore(QWidget* window);

} // namespace quorvel::test
