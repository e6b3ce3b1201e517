#include "FrameStore.h"

namespace quorvel {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1; // lower case is not the dump's form: such a line is kept as text
}

// Record header: length << 1 | text flag, seven bits a byte, low bits first.
void PutHeader(std::vector<std::uint8_t>& out, std::size_t length, bool text) {
    std::uint64_t value = (static_cast<std::uint64_t>(length) << 1) | (text ? 1U : 0U);
    do {
        std::uint8_t byte = value & 0x7FU;
        value >>= 7;
        if (value != 0) {
            byte |= 0x80U;
        }
        out.push_back(byte);
    } while (value != 0);
}

} // namespace

TFrameStore::TFrameStore(std::size_t capacity, std::size_t byteBudget)
    : Capacity(capacity == 0 ? 1 : capacity), ByteBudget(byteBudget) {}

std::size_t TFrameStore::TPage::Footprint() const {
    return Data.capacity() + Starts.capacity() * sizeof(std::uint32_t);
}

bool TFrameStore::ParseDump(std::string_view text, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    if (text.size() % 3 != 0) {
        return false;
    }
    for (std::size_t i = 0; i < text.size(); i += 3) {
        const int high = HexValue(text[i]);
        const int low = HexValue(text[i + 1]);
        if (high < 0 || low < 0 || text[i + 2] != ' ') {
            return false;
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    return true;
}

void TFrameStore::Append(std::string_view line) {
    if (ParseDump(line, Scratch)) {
        Put(Scratch.data(), Scratch.size(), false);
    } else {
        Put(reinterpret_cast<const std::uint8_t*>(line.data()), line.size(), true);
    }
}

void TFrameStore::AppendFrame(std::span<const std::uint8_t> frame) {
    Put(frame.data(), frame.size(), false);
}

void TFrameStore::Put(const std::uint8_t* data, std::size_t length, bool text) {
    if (Pages.empty() || Pages.back().Starts.size() >= PageLines) {
        if (!Pages.empty()) {
            Bytes -= Pages.back().Footprint();
            Pages.back().Data.shrink_to_fit(); // a full page never grows again
            Bytes += Pages.back().Footprint();
        }
        Pages.emplace_back();
        Pages.back().Starts.reserve(PageLines);
        Bytes += Pages.back().Footprint();
    }
    TPage& page = Pages.back();
    Bytes -= page.Footprint();
    page.Starts.push_back(static_cast<std::uint32_t>(page.Data.size()));
    PutHeader(page.Data, length, text);
    page.Data.insert(page.Data.end(), data, data + length);
    Bytes += page.Footprint();
    ++Count;
    while (Pages.size() > 1 &&
           (Count - Pages.front().Starts.size() >= Capacity || Bytes > ByteBudget)) {
        DropOldestPage();
    }
}

void TFrameStore::DropOldestPage() {
    const TPage& page = Pages.front();
    Bytes -= page.Footprint();
    Count -= page.Starts.size();
    First += page.Starts.size();
    Pages.pop_front();
}

void TFrameStore::Clear() {
    First += Count;
    Pages.clear();
    Count = 0;
    Bytes = 0;
}

std::string TFrameStore::Line(std::size_t index) const {
    if (index >= Count) {
        return {};
    }
    // Every page but the newest is full, so the page follows from the index.
    const std::size_t firstPageLines = Pages.front().Starts.size();
    std::size_t pageIndex = 0;
    std::size_t lineIndex = index;
    if (index >= firstPageLines) {
        pageIndex = 1 + (index - firstPageLines) / PageLines;
        lineIndex = (index - firstPageLines) % PageLines;
    }
    const TPage& page = Pages[pageIndex];
    std::size_t at = page.Starts[lineIndex];
    std::uint64_t header = 0;
    for (int shift = 0;; shift += 7) {
        const std::uint8_t byte = page.Data[at++];
        header |= static_cast<std::uint64_t>(byte & 0x7FU) << shift;
        if ((byte & 0x80U) == 0) {
            break;
        }
    }
    const auto length = static_cast<std::size_t>(header >> 1);
    const std::uint8_t* payload = page.Data.data() + at;
    if ((header & 1U) != 0) {
        return std::string(reinterpret_cast<const char*>(payload), length);
    }
    std::string text;
    text.reserve(length * 3);
    for (std::size_t i = 0; i < length; ++i) {
        text += HexDigits[payload[i] >> 4];
        text += HexDigits[payload[i] & 0x0FU];
        text += ' ';
    }
    return text;
}

} // namespace quorvel
