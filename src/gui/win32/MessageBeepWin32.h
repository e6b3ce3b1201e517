// Windows message sounds of the dialog kinds: warning the exclamation, error the hand, every
// other kind the asterisk. The sound goes through a replaceable function (MessageBeep by
// default) so tests can see which one a showing asked for. GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>

namespace quorvel {

using MessageBeepFunction = BOOL(WINAPI*)(UINT);

UINT MessageBeepSound(std::uint8_t kind);

// Installs `function` for the sounds to come and returns the one it replaces.
MessageBeepFunction SetMessageBeepFunction(MessageBeepFunction function);

} // namespace quorvel
