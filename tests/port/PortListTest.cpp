// The port selector's list: ordering, adapters, fallback, and where the names come from.
#include "PortList.h"
#include "Portthread.h"

#include "TestMainThread.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

using Names = std::vector<std::string>;

struct TListCase {
    const char* Title;
    Names Serial;
    std::optional<std::uint32_t> Adapters;
    Names Expected;
};

void PrintTo(const TListCase& c, std::ostream* os) {
    *os << c.Title;
}

class PortListOrder : public ::testing::TestWithParam<TListCase> {};

TEST_P(PortListOrder, BuildsTheSelectorNames) {
    const TListCase& c = GetParam();
    EXPECT_EQ(BuildPortList(c.Serial, c.Adapters), c.Expected);
}

INSTANTIATE_TEST_SUITE_P(
    Port, PortListOrder,
    ::testing::Values(
        TListCase{"SerialMapSortsAsText",
                  {"COM2", "COM10", "COM1"},
                  std::nullopt,
                  {"COM1", "COM10", "COM2"}},
        TListCase{"AdaptersFollowTheSerialPorts", {"COM3"}, 2u, {"COM3", "USB1", "USB2"}},
        TListCase{"AdapterAloneNeedsNoFallback", {}, 1u, {"USB1"}},
        TListCase{"NothingFoundFallsBackToCom1To5",
                  {},
                  std::nullopt,
                  {"COM1", "COM2", "COM3", "COM4", "COM5"}},
        TListCase{"ZeroAdaptersStillFallsBack", {}, 0u, {"COM1", "COM2", "COM3", "COM4", "COM5"}},
        TListCase{"CaseIsIgnoredWhenSorting",
                  {"ttyUSB0", "SIM", "ttyS0", "abc"},
                  std::nullopt,
                  {"abc", "SIM", "ttyS0", "ttyUSB0"}}),
    [](const auto& info) { return std::string(info.param.Title); });

TTestMainThread& Main() {
    static TTestMainThread main;
    return main;
}

Names ListWith(TPortEnvironment environment) {
    TSettings settings;
    TPortThread port(settings, Main().Calls(), std::move(environment));
    return port.GetPortList();
}

TEST(PortListSources, UsesTheInjectedSerialMapAndAdapterCount) {
    TPortEnvironment environment;
    environment.SerialMap = [] { return Names{"COM3"}; };
    environment.AdapterCount = [] { return std::optional<std::uint32_t>(2); };
    EXPECT_EQ(ListWith(environment), (Names{"COM3", "USB1", "USB2"}));
}

TEST(PortListSources, MissingAdapterLibraryGivesNoUsbEntries) {
    TPortEnvironment environment;
    environment.SerialMap = [] { return Names{}; };
    environment.D2xxLibrary = "/nonexistent/libftd2xx.so";
    EXPECT_EQ(ListWith(environment), (Names{"COM1", "COM2", "COM3", "COM4", "COM5"}));
}

TEST(PortListSources, AdapterCountBeyondTheDeviceIndexIsCapped) {
    TPortEnvironment environment;
    environment.SerialMap = [] { return Names{}; };
    environment.AdapterCount = [] { return std::optional<std::uint32_t>(0xFFFFFFFFu); };
    const Names list = ListWith(environment);
    ASSERT_EQ(list.size(), 256u);
    EXPECT_EQ(list.back(), "USB256");
}

// The fallback names are no adapters, whatever the adapter library answered.
TEST(PortListSources, FallbackNamesAreNotDescribedAsAdapters) {
    for (const std::optional<std::uint32_t> adapters :
         {std::optional<std::uint32_t>(0), std::optional<std::uint32_t>()}) {
        TPortEnvironment environment;
        environment.SerialMap = [] { return Names{}; };
        environment.AdapterCount = [adapters] { return adapters; };
        TSettings settings;
        TPortThread port(settings, Main().Calls(), environment);
        const std::vector<TPortEntry> entries = port.GetPortEntries();
        ASSERT_EQ(entries.size(), 5u);
        for (const TPortEntry& entry : entries) {
            EXPECT_EQ(entry.Note, "A rendszer nem jelzett soros portot: alapértelmezett név")
                << entry.Name;
        }
    }
}

} // namespace
} // namespace quorvel::test
