// The port list of TPortThread: the system's serial ports, then the D2XX adapters, each with the
// operator's note; and the open adapter followed to the name it is listed under now.
#include "Portthread.h"

#include "D2xxDevice.h"
#include "D2xxLibrary.h"
#include "PortList.h"
#include "Replug.h"
#include "UsbDeviceNote.h"

#include <algorithm>

namespace quorvel {

namespace {

const char* const FallbackNote = "A rendszer nem jelzett soros portot: alapértelmezett név";

// A serial port's note, with the word on telling it apart after a replug.
std::string SerialNote(const TSerialPortInfo& port, const std::vector<TSerialPortInfo>& all) {
    std::string note = port.Note;
    AddNoteLine(
        note, "",
        ReplugNote(Distinguished(port.Identity, IdentitiesOf(all)), !port.Identity.Serial.empty()));
    return note;
}

} // namespace

std::vector<std::string> TPortThread::GetPortList() {
    std::vector<std::string> names;
    for (TPortEntry& entry : ReadPortEntries(false)) {
        names.push_back(std::move(entry.Name));
    }
    return names;
}

std::vector<TPortEntry> TPortThread::GetPortEntries() {
    return ReadPortEntries(true);
}

// withNotes false: the names alone, without asking the adapters for their descriptions.
std::vector<TPortEntry> TPortThread::ReadPortEntries(bool withNotes) {
    const std::vector<TSerialPortInfo> serial = ListedSerialPorts(Environment);
    std::optional<std::uint32_t> adapters;
    std::vector<std::string> serials;
    const TD2xxApi* api = Environment.AdapterCount ? nullptr : LoadD2xx(Environment.D2xxLibrary);
    if (Environment.AdapterCount) {
        adapters = Environment.AdapterCount();
    } else if (api != nullptr) {
        std::uint32_t count = 0;
        FtStatus = api->FT_ListDevices(&count, nullptr, FT_LIST_NUMBER_ONLY);
        if (FtStatus == FT_OK) {
            adapters = count;
        }
        if (withNotes) {
            serials = AdapterSerials(*api, MaxAdapters).value_or(std::vector<std::string>());
            FollowOpenAdapter(serials);
        }
    }
    if (adapters) {
        adapters = std::min(*adapters, MaxAdapters);
    }
    std::vector<std::string> names;
    for (const TSerialPortInfo& port : serial) {
        names.push_back(port.Name);
    }
    std::vector<TPortEntry> entries;
    for (std::string& name : BuildPortList(std::move(names), adapters)) {
        entries.push_back({std::move(name), {}});
    }
    const bool linked = PortOpen && !IsLinkLost();
    const std::size_t adapterEnd = serial.size() + adapters.value_or(0);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        TPortEntry& entry = entries[i];
        entry.Link = linked && entry.Name == PortName;
        if (!withNotes) {
            continue;
        }
        if (i < serial.size()) {
            const auto known = std::find_if(serial.begin(), serial.end(), [&](const auto& port) {
                return port.Name == entry.Name;
            });
            entry.Note = SerialNote(*known, serial);
        } else if (i < adapterEnd) {
            entry.Note = AdapterNote(static_cast<std::uint32_t>(i - serial.size()), serials);
        } else {
            entry.Note = FallbackNote;
        }
    }
    return entries;
}

// What the library tells of adapter index: its description and serial number, and whether a
// replug can tell it from the others.
std::string TPortThread::AdapterNote(std::uint32_t index, const std::vector<std::string>& serials) {
    std::string note = "FTDI USB adapter (D2XX)";
    const TD2xxApi* api = Environment.AdapterCount ? nullptr : LoadD2xx(Environment.D2xxLibrary);
    if (api == nullptr) {
        return note;
    }
    char text[256] = {};
    void* number = reinterpret_cast<void*>(static_cast<std::uintptr_t>(index));
    if (api->FT_ListDevices(number, text, FT_LIST_BY_INDEX | FT_OPEN_BY_DESCRIPTION) == FT_OK) {
        text[sizeof text - 1] = '\0';
        AddNoteLine(note, "Leírás: ", text);
    }
    const std::string serial = index < serials.size() ? serials[index] : std::string();
    AddNoteLine(note, "Sorozatszám: ", serial);
    AddNoteLine(note, "", ReplugNote(AdapterIdentity(serial, serials), !serial.empty()));
    return note;
}

// Adapters listed before the open one may have been pulled: it is listed under a lower number
// now, and that is the name the link goes by.
void TPortThread::FollowOpenAdapter(const std::vector<std::string>& serials) {
    std::lock_guard<std::mutex> guard(Lock);
    if (!PortOpen || !UsbPort || Lost()) {
        return;
    }
    const std::optional<std::uint32_t> index = IndexOfAdapter(Trail.Identity, serials);
    if (index && *index != UsbDeviceIndex) {
        PortName = UsbPortName(*index);
        Trail.Name = PortName;
        UsbDeviceIndex = static_cast<std::uint8_t>(*index);
    }
}

} // namespace quorvel
