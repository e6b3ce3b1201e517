#include "DriveValueCheck.h"

#include "Functionsconvert.h"

#include <gtest/gtest.h>

namespace quorvel::testing {

TShownMark MarkOf(const FakeView& view) {
    return {view.ValueHistory.size(), view.ChartSamples.size()};
}

void ExpectShownValuesMatch(const FakeView& view, const TShownMark& mark,
                            const std::map<std::string, std::uint64_t>& reg,
                            const std::string& step, int minimumPerBox) {
    const auto word = [&](const char* name) { return static_cast<std::uint16_t>(reg.at(name)); };
    const std::map<ValueBox, std::string> expected{
        {ValueBox::Frequency, FormatValue(word("F098"), 11, ".")},
        {ValueBox::MotorCurrent, FormatValue(word("F0A0"), 1, ".")},
        {ValueBox::ControlRefSignal, FormatValue(word("F510"), 11, ".")}};
    std::map<ValueBox, int> seen;
    for (std::size_t i = mark.Values; i < view.ValueHistory.size(); ++i) {
        const auto& [box, text] = view.ValueHistory[i];
        ++seen[box];
        EXPECT_EQ(text, expected.at(box))
            << step << ", entry " << i << " (box " << static_cast<int>(box) << ")";
    }
    for (const auto& [box, text] : expected) {
        EXPECT_GE(seen[box], minimumPerBox)
            << step << ": box " << static_cast<int>(box) << " rarely shown";
    }
    for (int input = 1; input <= 6; ++input) {
        const bool on = ((word("F508") >> (input - 1)) & 1U) != 0;
        EXPECT_EQ(view.VirtualInputTexts.at(static_cast<std::size_t>(input - 1)), on ? "X" : "")
            << step << ", input " << input;
    }
    if (!view.Diagram) {
        return;
    }
    const std::size_t samples = view.ChartSamples.size() - mark.Chart;
    EXPECT_GE(samples, static_cast<std::size_t>(minimumPerBox)) << step << ": few chart samples";
    for (std::size_t i = mark.Chart; i < view.ChartSamples.size(); ++i) {
        EXPECT_EQ(view.ChartSamples[i], expected.at(ValueBox::Frequency))
            << step << ", chart sample " << i;
    }
}

} // namespace quorvel::testing
