// The link's line settings and timeouts, in the codes of the Windows DCB and COMMTIMEOUTS, and
// the serial port's own ones kept while it is open, to be given back at close. A plain value:
// TPortThread owns one on the main thread; a reopen on the worker fills a copy of its own.
#pragma once

#include "CommRecords.h"
#include "SerialDevice.h"

#include <chrono>
#include <cstdint>

namespace quorvel {

struct TLineConfig {
    // While no serial port is open: the configuration (of the state only DCBlength, BaudRate,
    // ByteSize, Parity and StopBits are taken over). While one is open: the port's own state and
    // timeouts from before the open, and Active* what was applied.
    TCommState ActiveState{};
    TCommState StoredState{sizeof(TCommState), 19200, 8, ParityNone, OneStopBit};
    TCommTimeouts ActiveTimeouts{};
    TCommTimeouts StoredTimeouts{15, 1, 150, 1, 150};
    std::uint32_t InQueueKB = 32;
    std::uint32_t OutQueueKB = 8;
    bool HoldsPortState = false; // Stored* hold an open serial port's own state

    // A serial port just opened: the configured line settings over the port's own state, which
    // is kept with its timeouts for the close. Results of the calls are not examined.
    void ApplyAtOpen(ISerialDevice& device);
    // Gives the port its own state back and closes it. Closed: the configuration in force is
    // the stored one again. Not closed: the working state is applied again. Returns closed.
    bool GiveBackAndClose(ISerialDevice& device);
    // The port vanished: there is nothing to give back; the configuration in force is kept for
    // the reopen.
    void ForgetPortState();
    // The rate the open link runs at (0: the port's own, unknown here).
    std::uint32_t BaudInForce() const;
};

// How long count characters take on a line at baud, 11 bits each (start, 8 bits, parity, stop);
// zero when the rate is unknown.
std::chrono::microseconds LineTime(std::uint32_t count, std::uint32_t baud);

} // namespace quorvel
