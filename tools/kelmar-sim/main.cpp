// kelmar-sim entry point: parses the command line and runs the simulated drive.
#include "SimOptions.h"
#include "SimRunner.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace quorvel::sim;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParsedOptions parsed = ParseSimOptions(args);
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "kelmar-sim: %s\n%s", parsed.error.c_str(), UsageText().c_str());
        return 2;
    }
    if (parsed.options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return 0;
    }
    return RunSimulator(parsed.options);
}
