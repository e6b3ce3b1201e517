// The console's one window font: a sans serif 11 pixels high (DejaVu Sans when installed).
// Call on the GUI thread after the application object exists.
#pragma once

#include <QFont>

namespace quorvel {

QFont ConsoleFont();

} // namespace quorvel
