// The message dialog's sound for a dialog kind (the kinds of Messagedialog.h). GUI thread.
// Each platform has its own file: Windows plays the system sound of the kind, others beep.
#pragma once

#include <cstdint>

namespace quorvel {

void SoundMessageBeep(std::uint8_t kind);

} // namespace quorvel
