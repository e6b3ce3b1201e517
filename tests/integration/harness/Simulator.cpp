#include "Simulator.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <stdlib.h>

namespace quorvel::testing {

using namespace std::chrono_literals;

std::map<std::string, std::uint64_t> JsonNumbers(const std::string& json) {
    std::map<std::string, std::uint64_t> numbers;
    std::size_t pos = 0;
    while ((pos = json.find('"', pos)) != std::string::npos) {
        const std::size_t end = json.find('"', pos + 1);
        if (end == std::string::npos) {
            break;
        }
        const std::string name = json.substr(pos + 1, end - pos - 1);
        pos = end + 1;
        if (pos < json.size() && json[pos] == ':' && pos + 1 < json.size() &&
            std::isdigit(static_cast<unsigned char>(json[pos + 1]))) {
            numbers[name] = std::stoull(json.substr(pos + 1));
        }
    }
    return numbers;
}

TSimulator::TSimulator(const std::string& program, const std::vector<std::string>& options,
                       bool statusFile) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-engine-XXXXXX");
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    Folder = pattern;
    StatusFile = Folder + "/status.json";
    std::vector<std::string> argv{program, "--name", "ENGINE"};
    if (statusFile) {
        argv.insert(argv.end(), {"--status-file", StatusFile});
    }
    argv.insert(argv.end(), options.begin(), options.end());
    Child = std::make_unique<TChildProcess>(argv,
                                            std::vector<std::string>{"XDG_RUNTIME_DIR=" + Folder});
    const auto line = Child->WaitForLine("pty ", 20s);
    if (!line) {
        throw std::runtime_error("kelmar-sim did not start: " + Child->Output());
    }
    Pty = line->substr(4);
}

TSimulator::~TSimulator() {
    Child.reset();
    std::error_code ignored;
    std::filesystem::remove_all(Folder, ignored);
}

std::map<std::string, std::uint64_t> TSimulator::Status() const {
    std::ifstream in(StatusFile);
    std::stringstream text;
    text << in.rdbuf();
    return JsonNumbers(text.str());
}

std::map<std::string, std::uint64_t> TSimulator::Stop() {
    Child->Signal(SIGINT);
    const auto line = Child->WaitForLine("summary ", 20s);
    Child->Wait(20s);
    return line ? JsonNumbers(*line) : std::map<std::string, std::uint64_t>{};
}

} // namespace quorvel::testing
