// The port list read from Wine's serial device map (HKLM\HARDWARE\DEVICEMAP\SERIALCOMM). Wine
// lists there the ports it maps (the lane's COM5 among them); the lane adds COM10, COM2 and com3
// so the case-insensitive order shows.
#include "LinkFixture.h"

#include <algorithm>
#include <cctype>

namespace quorvel::win32test {
namespace {

std::string Folded(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

class WineSerialMap : public TLinkFixture {
  protected:
    void SetUp() override {
        TLinkFixture::SetUp();
        if (!IsSkipped() && !HasFatalFailure() && AddedSerialMapNames().empty()) {
            GTEST_SKIP() << "QUORVEL_WINE_TEST_PORTS is not set";
        }
    }

    // No D2XX library answers under this name, so the list is the serial map alone.
    std::vector<std::string> PortListWithoutAdapters() {
        TPortEnvironment environment;
        environment.D2xxLibrary = "quorvel_no_such_ftd2xx.dll";
        return MakeLink(false, std::move(environment))->GetPortList();
    }
};

TEST_F(WineSerialMap, ListsTheMappedPortsInCaseInsensitiveOrder) {
    const std::vector<std::string> names = PortListWithoutAdapters();

    std::vector<std::string> known;
    std::copy_if(names.begin(), names.end(), std::back_inserter(known), [&](const auto& name) {
        const auto added = AddedSerialMapNames();
        return name == ComPort || std::find(added.begin(), added.end(), name) != added.end();
    });
    const std::vector<std::string> expected{"COM10", "COM2", "com3", ComPort};
    EXPECT_EQ(known, expected);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(),
                               [](const auto& a, const auto& b) { return Folded(a) < Folded(b); }));
}

} // namespace
} // namespace quorvel::win32test
