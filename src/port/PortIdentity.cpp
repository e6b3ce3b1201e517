#include "PortIdentity.h"

#include <algorithm>

namespace quorvel {

namespace {

bool SameKind(const TPortIdentity& a, const TPortIdentity& b) {
    return a.Usb == b.Usb && a.VendorId == b.VendorId && a.ProductId == b.ProductId &&
           a.Interface == b.Interface;
}

} // namespace

bool IsRecognisable(const TPortIdentity& identity) {
    return !identity.Serial.empty() || !identity.Location.empty();
}

bool SameDevice(const TPortIdentity& identity, const TPortIdentity& candidate) {
    if (!SameKind(identity, candidate)) {
        return false;
    }
    if (!identity.Serial.empty()) {
        return identity.Serial == candidate.Serial;
    }
    return !identity.Location.empty() && identity.Location == candidate.Location;
}

TPortIdentity Distinguished(const TPortIdentity& identity,
                            const std::vector<TPortIdentity>& present) {
    TPortIdentity result = identity;
    const auto sharesSerial = [&](const TPortIdentity& other) {
        return SameKind(identity, other) && other.Serial == identity.Serial;
    };
    if (!identity.Serial.empty() &&
        std::count_if(present.begin(), present.end(), sharesSerial) > 1) {
        result.Serial.clear();
    }
    return result;
}

int FindDevice(const TPortIdentity& identity, const std::vector<TPortIdentity>& present) {
    if (!IsRecognisable(identity)) {
        return -1;
    }
    int found = -1;
    for (std::size_t i = 0; i < present.size(); ++i) {
        if (!SameDevice(identity, present[i])) {
            continue;
        }
        if (found >= 0) {
            return -1;
        }
        found = static_cast<int>(i);
    }
    return found;
}

std::string ReplugNote(const TPortIdentity& identity, bool hadSerial) {
    if (!identity.Usb || !identity.Serial.empty()) {
        return {};
    }
    const std::string cause = hadSerial
                                  ? "A sorozatszáma egy másik csatlakoztatott adapterével azonos: "
                                  : "Nincs sorozatszáma: ";
    if (!identity.Location.empty()) {
        return cause + "kihúzás után csak ugyanabban az USB-aljzatban ismeri fel újra, és egy "
                       "oda dugott másik, ugyanilyen adaptert nem tud tőle megkülönböztetni.";
    }
    return cause + "kihúzás után a kapcsolat a nevén nyílik újra, és egy másik, ugyanilyen "
                   "adaptert, amely ezt a nevet kapja, nem tud tőle megkülönböztetni.";
}

} // namespace quorvel
