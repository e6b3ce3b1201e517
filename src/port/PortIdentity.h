// What tells one serial device or USB adapter from another, as the system reports it, and the
// rules by which a device that vanished is known again when it returns. Plain values and pure
// functions; any thread.
#pragma once

#include <string>
#include <vector>

namespace quorvel {

struct TPortIdentity {
    bool Usb = false;        // a USB device (a serial adapter), which can be pulled and replugged
    std::string Serial{};    // its serial number; empty when it has none that tells it apart
    std::string VendorId{};  // four lowercase hex digits; empty when unknown
    std::string ProductId{}; // four lowercase hex digits; empty when unknown
    std::string Interface{}; // which port of a device with several ("1.0"); empty when unknown
    std::string Location{};  // the USB socket it sits in (Linux: its sysfs path); empty: unknown
};

// A returning device can be recognised: by its serial number, else by the socket it sits in.
// Anything else (a plain UART, an adapter without a serial number on a system that does not say
// where it sits) can only be reopened by its name.
bool IsRecognisable(const TPortIdentity& identity);

// candidate is the device identity describes: the same serial number (wherever it sits now), or
// without one the same socket; vendor, product and interface agree in either case.
bool SameDevice(const TPortIdentity& identity, const TPortIdentity& candidate);

// identity as far as it tells its device from the others present (present includes the device
// itself): a serial number another one shares (clones often do) is dropped, leaving the socket.
TPortIdentity Distinguished(const TPortIdentity& identity,
                            const std::vector<TPortIdentity>& present);

// Of the present devices, the index of the one identity describes; -1 when none is, and when
// several are (it is never guessed).
int FindDevice(const TPortIdentity& identity, const std::vector<TPortIdentity>& present);

// The operator's note (Hungarian) on a USB adapter that cannot be told apart from another one of
// its kind after a replug; empty for one that can, and for anything that is not a USB adapter.
// identity: as Distinguished gave it; hadSerial: the device reports a serial number of its own.
std::string ReplugNote(const TPortIdentity& identity, bool hadSerial);

} // namespace quorvel
