// What the Wine lane script hands the tests: the COM port mapped to the simulator's pty and the
// names it added to the serial device map. Also raw Win32 views of a COM port, taken through a
// handle of the test's own. Plain functions; call from the test thread.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace quorvel::win32test {

// QUORVEL_WINE_COM, e.g. "COM5"; nullopt outside the lane.
std::optional<std::string> ComPortUnderTest();

// QUORVEL_WINE_SPLIT_COM: a port whose simulator sends each reply in several pieces.
std::optional<std::string> SplitComPortUnderTest();

// QUORVEL_WINE_TEST_PORTS split at commas: names the script wrote into the serial device map.
std::vector<std::string> AddedSerialMapNames();

// Full path of a file beside the running test executable.
std::string BesideExecutable(const std::string& fileName);

struct TRawComView {
    DCB State{};
    COMMTIMEOUTS Timeouts{};
};

// Opens name with a handle of its own, reads DCB and timeouts, closes it; nullopt when it
// cannot be opened or read.
std::optional<TRawComView> ReadRawComView(const std::string& name);

// Drops whatever a port's driver still holds (a late reply after an earlier failure) through a
// handle of its own; false when the port cannot be opened.
bool DiscardPendingBytes(const std::string& name);

// Sets the baud rate through a handle of its own; false on failure.
bool SetRawBaudRate(const std::string& name, DWORD baud);

// Sends request through a handle of its own and closes it once the answer has had time to
// arrive: the answer is left in the port's driver, as input from before the next open.
bool LeaveAnswerPending(const std::string& name, const std::string& request);

} // namespace quorvel::win32test
