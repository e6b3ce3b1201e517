// Without the Windows message sounds every kind gets the toolkit's one beep.
#include "MessageBeep.h"

#include <QApplication>

namespace quorvel {

void SoundMessageBeep(std::uint8_t /*kind*/) {
    QApplication::beep();
}

} // namespace quorvel
