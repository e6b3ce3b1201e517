#include "SimOptions.h"

#include "DriveRegisters.h"

#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace quorvel::sim {

namespace {

using Setter = std::function<std::string(SimOptions&, const std::string&)>;

std::optional<double> ToDouble(const std::string& text) {
    try {
        std::size_t used = 0;
        const double value = std::stod(text, &used);
        if (used != text.size() || !std::isfinite(value)) {
            return std::nullopt;
        }
        return value;
    } catch (...) {
        return std::nullopt;
    }
}

// Decimal, or hexadecimal after "0x", or binary after "0b".
std::optional<std::uint64_t> ToUnsigned(const std::string& text, std::uint64_t max) {
    int base = 10;
    std::string_view digits = text;
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        base = 16;
        digits.remove_prefix(2);
    } else if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'b' || digits[1] == 'B')) {
        base = 2;
        digits.remove_prefix(2);
    }
    std::uint64_t value = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() ||
        value > max) {
        return std::nullopt;
    }
    return value;
}

template <typename T> Setter UnsignedInto(T SimOptions::*field, std::uint64_t max) {
    return [field, max](SimOptions& o, const std::string& v) -> std::string {
        const auto value = ToUnsigned(v, max);
        if (!value) {
            return "expects a whole number from 0 to " + std::to_string(max);
        }
        o.*field = static_cast<T>(*value);
        return {};
    };
}

Setter RateInto(double FaultRates::*field) {
    return [field](SimOptions& o, const std::string& v) -> std::string {
        const auto value = ToDouble(v);
        if (!value || *value < 0.0 || *value > 1.0) {
            return "expects a probability from 0 to 1";
        }
        o.faults.*field = *value;
        return {};
    };
}

std::string SetMode(SimOptions& o, const std::string& v) {
    static const std::map<std::string, ListenMode> modes{
        {"ascii", ListenMode::Ascii}, {"rtu", ListenMode::Rtu}, {"auto", ListenMode::Auto}};
    const auto found = modes.find(v);
    if (found == modes.end()) {
        return "expects ascii, rtu or auto";
    }
    o.mode = found->second;
    return {};
}

std::string SetReference(SimOptions& o, const std::string& v) {
    const auto hz = ToDouble(v);
    const auto word = hz && *hz >= 0.0 ? EncodeFrequencyWord(*hz) : std::nullopt;
    if (!word) {
        return "expects a frequency from 0 to 3604.4 Hz";
    }
    o.drive.controlReference = *word;
    return {};
}

std::string SetRamp(SimOptions& o, const std::string& v) {
    const auto rate = ToDouble(v);
    if (!rate || *rate <= 0.0) {
        return "expects a positive rate in Hz/s";
    }
    o.drive.rampHzPerSecond = *rate;
    return {};
}

std::string SetDuration(SimOptions& o, const std::string& v) {
    const auto seconds = ToDouble(v);
    if (!seconds || *seconds <= 0.0 || *seconds > 1e7) {
        return "expects a positive number of seconds";
    }
    o.durationSeconds = *seconds;
    return {};
}

std::string SetName(SimOptions& o, const std::string& v) {
    if (v.empty() || v == "." || v == ".." || v.find('/') != std::string::npos) {
        return "expects a file name (no '/')";
    }
    o.name = v;
    return {};
}

const std::map<std::string, Setter>& ValueOptions() {
    static const std::map<std::string, Setter> options{
        {"--name", SetName},
        {"--address", UnsignedInto(&SimOptions::address, 247)},
        {"--mode", SetMode},
        {"--reference", SetReference},
        {"--inputs",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto bits = ToUnsigned(v, 0xFFFF);
             if (!bits) {
                 return "expects a 16-bit number (decimal, 0x…, 0b…)";
             }
             o.drive.virtualInputs = static_cast<std::uint16_t>(*bits);
             return {};
         }},
        {"--ramp", SetRamp},
        {"--duration", SetDuration},
        {"--status-file",
         [](SimOptions& o, const std::string& v) -> std::string {
             o.statusFile = v;
             return v.empty() ? "expects a path" : "";
         }},
        {"--turnaround-ms", UnsignedInto(&SimOptions::turnaroundMs, 60'000)},
        {"--write-turnaround-ms",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto ms = ToUnsigned(v, 60'000);
             if (!ms) {
                 return "expects milliseconds from 0 to 60000";
             }
             o.writeTurnaroundMs = static_cast<std::uint32_t>(*ms);
             return {};
         }},
        {"--baud",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto baud = ToUnsigned(v, 4'000'000);
             if (!baud || *baud < 50) {
                 return "expects a baud rate from 50 to 4000000";
             }
             o.pacing.baud = static_cast<std::uint32_t>(*baud);
             return {};
         }},
        {"--split",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto size = ToUnsigned(v, 1024);
             if (!size) {
                 return "expects a chunk size from 0 to 1024";
             }
             o.pacing.split = static_cast<std::size_t>(*size);
             return {};
         }},
        {"--split-gap-ms",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto ms = ToUnsigned(v, 10'000);
             if (!ms) {
                 return "expects milliseconds from 0 to 10000";
             }
             o.pacing.splitGap = std::chrono::milliseconds{*ms};
             return {};
         }},
        {"--gap-ms",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto ms = ToUnsigned(v, 10'000);
             if (!ms || *ms == 0) {
                 return "expects milliseconds from 1 to 10000";
             }
             o.gapMs = static_cast<std::uint32_t>(*ms);
             return {};
         }},
        {"--drop-rate", RateInto(&FaultRates::drop)},
        {"--corrupt-rate", RateInto(&FaultRates::corrupt)},
        {"--garbage-rate", RateInto(&FaultRates::garbage)},
        {"--exception-rate", RateInto(&FaultRates::exception)},
        {"--seed",
         [](SimOptions& o, const std::string& v) -> std::string {
             const auto seed = ToUnsigned(v, UINT64_MAX);
             if (!seed) {
                 return "expects a whole number";
             }
             o.seed = *seed;
             return {};
         }},
    };
    return options;
}

bool SetFlag(SimOptions& o, const std::string& name) {
    if (name == "--frozen") {
        o.drive.frozen = true;
    } else if (name == "--verbose") {
        o.verbose = true;
    } else if (name == "--help" || name == "-h") {
        o.help = true;
    } else {
        return false;
    }
    return true;
}

} // namespace

ParsedOptions ParseSimOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto equals = name.find('=');
            name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (!value && SetFlag(parsed.options, name)) {
            continue;
        }
        const auto option = ValueOptions().find(name);
        if (option == ValueOptions().end()) {
            parsed.error = "unknown option " + name;
            return parsed;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                parsed.error = name + " needs a value";
                return parsed;
            }
            value = args[++i];
        }
        if (const std::string problem = option->second(parsed.options, *value); !problem.empty()) {
            parsed.error = name + " " + problem + " (got '" + *value + "')";
            return parsed;
        }
    }
    return parsed;
}

std::string UsageText() {
    return R"(usage: kelmar-sim [options]
Simulated Kelmar drive: a Modbus slave on a pseudo-terminal, registered as a virtual port.
  --name NAME            port name (default KELMAR1)
  --address N            slave address 0..247 (default 1)
  --mode M               ascii, rtu or auto (default auto: ':' starts an ASCII frame)
  --reference HZ         initial control reference (default 0)
  --inputs BITS          initial virtual inputs, e.g. 1, 0x3F, 0b101 (default 0)
  --ramp HZ_PER_S        output frequency ramp (default 10)
  --frozen               no ramp: the output frequency is its target at once
  --duration SECONDS     exit by itself after this time
  --status-file PATH     rewrite PATH (JSON) after every request
  --verbose              diagnostics on stderr
Fault injection (all off by default):
  --turnaround-ms MS     delay before each reply
  --write-turnaround-ms MS  delay before a write's echo instead (default: --turnaround-ms)
  --baud RATE            send replies at this line speed (11 bits a character)
  --split N              send replies in chunks of at most N bytes
  --split-gap-ms MS      pause between chunks (default 2)
  --gap-ms MS            RTU silence that ends a frame (default 3.5 characters, at least 10 ms)
  --drop-rate P          probability of no reply
  --corrupt-rate P       probability of a wrong LRC/CRC
  --garbage-rate P       probability of stray bytes before a reply
  --exception-rate P     probability of exception 04 instead of the answer
  --seed N               random seed for repeatable faults (default: random, shown in summary)
)";
}

} // namespace quorvel::sim
