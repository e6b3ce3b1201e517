// What the engine showed, checked against the simulated drive's registers: every value text and
// every chart sample from a mark on, and the six virtual input boxes. gtest assertions; test
// thread, with the view handed over from the loop (TEngineStation::Run).
#pragma once

#include "EngineFakes.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

namespace quorvel::testing {

// Where the view's histories stood when the registers took the values to be checked.
struct TShownMark {
    std::size_t Values = 0;
    std::size_t Chart = 0;
};

TShownMark MarkOf(const FakeView& view);

// Every text shown since the mark is its register's word from reg (the status file's "F098"
// … "F508"), each box at least minimumPerBox times; with the chart shown, every sample plotted
// since the mark is the frequency, at least minimumPerBox of them.
void ExpectShownValuesMatch(const FakeView& view, const TShownMark& mark,
                            const std::map<std::string, std::uint64_t>& reg,
                            const std::string& step, int minimumPerBox);

} // namespace quorvel::testing
