#include "MessageBeepWin32.h"

#include "MessageBeep.h"
#include "Messagedialog.h"

namespace quorvel {

namespace {

MessageBeepFunction BeepFunction = &::MessageBeep;

} // namespace

UINT MessageBeepSound(std::uint8_t kind) {
    switch (kind) {
    case mkWarning:
        return MB_ICONEXCLAMATION;
    case mkError:
        return MB_ICONHAND;
    default:
        return MB_ICONASTERISK; // information, question and unknown kinds
    }
}

MessageBeepFunction SetMessageBeepFunction(MessageBeepFunction function) {
    const MessageBeepFunction previous = BeepFunction;
    BeepFunction = function;
    return previous;
}

void SoundMessageBeep(std::uint8_t kind) {
    // A failed sound (no sound device) must not disturb the dialog.
    (void)BeepFunction(MessageBeepSound(kind));
}

} // namespace quorvel
