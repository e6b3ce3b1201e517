// Exchanges per second of the polling engine with the real serial link and kelmar-sim, ticked
// by a timerfd at the shortest poll period the console allows, beside mbpoll and a pymodbus
// client loop polling the same register of the same simulator. Prints one table.
// Usage: bench_engine [--realtime] [--turnarounds] [seconds per row, default 10]
// --realtime runs everything (this program, its threads, the simulator and the peers, which
// inherit it) under SCHED_FIFO, so other load on the machine does not decide the figures.
// --turnarounds instead polls all four registers of a drive that answers after 0, 15, 60 and
// 150 ms, at the 2 ms RTU tick and the 10 ms ASCII tick, and prints the exchange rate, the
// requests left without an answer and the values shown in another register's box.
#include "ChildProcess.h"
#include "DriveRegisters.h"
#include "EngineStation.h"
#include "Simulator.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sched.h>
#include <sstream>
#include <stdlib.h>
#include <string>
#include <unistd.h>

namespace quorvel::testing {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

struct Row {
    std::string client;
    std::string mode;
    std::string pacing;
    double tickRate = 0;              // requests the pacing allows per second; 0: unpaced
    double ticksRun = 0;              // timer ticks actually delivered per second (engine rows)
    std::vector<double> roundTripsUs; // write to completed reply (engine rows)
    double exchanges = 0;
    long long errors = 0; // requests without an answer (engine: ±1 for one in flight)
    double seconds = 0;
    int turnaroundMs = 0;      // the drive's (--turnarounds rows)
    long long wrongValues = 0; // values shown in another register's box (--turnarounds rows)
};

Row NamedRow(std::string client, std::string mode, std::string pacing) {
    Row row;
    row.client = std::move(client);
    row.mode = std::move(mode);
    row.pacing = std::move(pacing);
    return row;
}

// RTU poll period in ms as "Alkalmaz" derives it: 4 character times of 11 bits, rounded up.
int RtuPeriodMs(int characters, int baud) {
    return static_cast<int>(std::ceil(characters * 11000.0 / baud));
}

// The drive's answer, and whether the engine polls all four registers or only the frequency
// (the register the peers poll).
struct DriveTiming {
    int turnaroundMs = 0;
    bool allReads = false;
};

// Texts shown since the mark that are not the frozen drive's (50 Hz, 12.0 A, reference 50 Hz).
long long WrongValues(const FakeView& view, std::size_t mark) {
    long long wrong = 0;
    for (std::size_t i = mark; i < view.ValueHistory.size(); ++i) {
        const auto& [box, text] = view.ValueHistory[i];
        wrong += text != (box == ValueBox::MotorCurrent ? "12.0" : "50.00") ? 1 : 0;
    }
    return wrong;
}

Row BenchEngine(std::uint8_t mode, int periodMs, double seconds, DriveTiming drive = {}) {
    const bool rtu = mode == ModeRTU;
    TSimulator sim(KELMAR_SIM,
                   {"--mode", rtu ? "rtu" : "ascii", "--frozen", "--reference", "50", "--inputs",
                    "1", "--turnaround-ms", std::to_string(drive.turnaroundMs)},
                   false);
    TMainLoop loop;
    TEngineStation station(loop);
    if (!station.Open(sim.PtyPath(), mode, 38400, 1)) {
        throw std::runtime_error("cannot open " + sim.PtyPath());
    }
    station.Run([&](TPollEngine& e, FakeView& v) {
        e.Check_QueryClick(true, drive.allReads, drive.allReads, drive.allReads);
        v.Messages = false;
    });
    station.StartPolling(std::chrono::milliseconds(periodMs));
    std::this_thread::sleep_for(1s); // settle
    const auto counts = [&] {
        return station.Run([](TPollEngine& e, FakeView&) {
            return std::pair(e.ExchangeState.ReceivedCount,
                             e.ExchangeState.SentCount - e.ExchangeState.ReceivedCount);
        });
    };
    const auto [received0, missing0] = counts();
    const auto ticks0 = loop.Ticks();
    const std::size_t trips0 = station.RoundTrips().size();
    const std::size_t shown0 =
        station.Run([](TPollEngine&, FakeView& v) { return v.ValueHistory.size(); });
    const auto start = Clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const auto [received1, missing1] = counts();
    const auto ticks1 = loop.Ticks();
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    station.StopPolling();

    Row row = NamedRow("quorvel engine", rtu ? "RTU" : "ASCII",
                       "tick " + std::to_string(periodMs) + " ms (timerfd)");
    row.tickRate = 1000.0 / periodMs;
    row.ticksRun = static_cast<double>(ticks1.ticksRun - ticks0.ticksRun) / elapsed;
    const std::vector<double> trips = station.RoundTrips();
    row.roundTripsUs.assign(trips.begin() + static_cast<std::ptrdiff_t>(trips0), trips.end());
    row.exchanges = (received1 - received0) / elapsed;
    row.errors = static_cast<long long>(missing1) - missing0;
    row.seconds = elapsed;
    row.turnaroundMs = drive.turnaroundMs;
    row.wrongValues =
        station.Run([&](TPollEngine&, FakeView& v) { return WrongValues(v, shown0); });
    sim.Stop();
    return row;
}

std::size_t CountLines(const std::string& text, const std::string& prefix) {
    std::istringstream in(text);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);) {
        n += line.rfind(prefix, 0) == 0 ? 1 : 0;
    }
    return n;
}

Row BenchMbpoll(int pollMs, double seconds) {
    TSimulator sim(KELMAR_SIM, {"--mode", "rtu", "--frozen", "--reference", "50", "--inputs", "1"},
                   false);
    // mbpoll numbers references from 1: register 0xF098 is reference 0xF099.
    const std::string reference = std::to_string(RegOutputFrequency + 1);
    const auto start = Clock::now();
    TChildProcess mbpoll({MBPOLL, "-m", "rtu", "-a", "1", "-b", "38400", "-P", "none", "-t", "4",
                          "-r", reference, "-c", "1", "-l", std::to_string(pollMs), sim.PtyPath()});
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    mbpoll.Signal(SIGINT);
    mbpoll.Wait(10s);
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const std::string output = mbpoll.Output();
    const auto good = CountLines(output, "[" + reference + "]:");
    Row row = NamedRow("mbpoll 1.0", "RTU", "-l " + std::to_string(pollMs) + " (shortest)");
    row.tickRate = 1000.0 / pollMs;
    row.exchanges = good / elapsed;
    row.errors = static_cast<long long>(CountLines(output, "Read "));
    row.seconds = elapsed;
    sim.Stop();
    return row;
}

Row BenchPymodbus(bool rtu, double seconds) {
    TSimulator sim(
        KELMAR_SIM,
        {"--mode", rtu ? "rtu" : "ascii", "--frozen", "--reference", "50", "--inputs", "1"}, false);
    TChildProcess client({QUORVEL_PYTHON, PYMODBUS_CLIENT, sim.PtyPath(), rtu ? "rtu" : "ascii",
                          std::to_string(RegOutputFrequency), std::to_string(seconds)});
    const auto line =
        client.WaitForLine("exchanges ", std::chrono::seconds(static_cast<int>(seconds) + 60));
    client.Wait(10s);
    Row row = NamedRow("pymodbus 3.0 sync client", rtu ? "RTU" : "ASCII", "back-to-back loop");
    if (line) {
        unsigned long long good = 0, errors = 0;
        double elapsed = 1;
        std::sscanf(line->c_str(), "exchanges %llu errors %llu seconds %lf", &good, &errors,
                    &elapsed);
        row.exchanges = good / elapsed;
        row.errors = static_cast<long long>(errors);
        row.seconds = elapsed;
    }
    sim.Stop();
    return row;
}

std::string Percentiles(std::vector<double> us) {
    if (us.empty()) {
        return "-";
    }
    std::sort(us.begin(), us.end());
    const auto at = [&](double q) { return us[static_cast<std::size_t>(q * (us.size() - 1))]; };
    char text[48];
    std::snprintf(text, sizeof text, "%.0f/%.0f/%.0f", at(0.5), at(0.99), us.back());
    return text;
}

void Print(const std::vector<Row>& rows) {
    std::printf("| %-24s | %-5s | %-26s | %8s | %9s | %11s | %9s | %6s | %-25s |\n", "client",
                "mode", "pacing", "ticks/s", "ticks run", "exchanges/s", "% of tick", "missed",
                "round trip us p50/p99/max");
    for (const int width : {26, 7, 28, 10, 11, 13, 11, 8, 27}) {
        std::printf("|%s", std::string(static_cast<std::size_t>(width), '-').c_str());
    }
    std::printf("|\n");
    for (const Row& r : rows) {
        char rate[16] = "-";
        char run[16] = "-";
        char share[16] = "-";
        if (r.ticksRun > 0) {
            std::snprintf(run, sizeof run, "%.1f", r.ticksRun);
        }
        if (r.tickRate > 0) {
            std::snprintf(rate, sizeof rate, "%.1f", r.tickRate);
            std::snprintf(share, sizeof share, "%.1f", 100.0 * r.exchanges / r.tickRate);
        }
        std::printf("| %-24s | %-5s | %-26s | %8s | %9s | %11.1f | %9s | %6lld | %-25s |\n",
                    r.client.c_str(), r.mode.c_str(), r.pacing.c_str(), rate, run, r.exchanges,
                    share, r.errors, Percentiles(r.roundTripsUs).c_str());
    }
}

// The field's question: how fast, and how right, at the fastest ticks against a drive that takes
// time to answer.
void PrintTurnarounds(double seconds) {
    std::vector<Row> rows;
    for (const auto& [mode, periodMs] :
         {std::pair{ModeRTU, RtuPeriodMs(4, 38400)}, std::pair{ModeASCII, 10}}) {
        for (const int turnaround : {0, 15, 60, 150}) {
            rows.push_back(BenchEngine(mode, periodMs, seconds, {turnaround, true}));
        }
    }
    std::printf("| %-5s | %-7s | %-10s | %11s | %9s | %9s | %12s |\n", "mode", "tick", "turnaround",
                "exchanges/s", "% of tick", "no answer", "wrong values");
    std::printf("|-------|---------|------------|-------------|-----------|-----------|------------"
                "--|\n");
    for (const Row& r : rows) {
        std::printf("| %-5s | %4.0f ms | %7d ms | %11.1f | %9.1f | %9lld | %12lld |\n",
                    r.mode.c_str(), 1000.0 / r.tickRate, r.turnaroundMs, r.exchanges,
                    100.0 * r.exchanges / r.tickRate, r.errors, r.wrongValues);
    }
    std::printf("All four registers polled, kelmar-sim --frozen --reference 50 --inputs 1 at 38400 "
                "baud; \"no answer\" is sent - received over the row (±1 for the request in "
                "flight), \"wrong values\" the texts shown that are not the drive's.\n");
}

} // namespace
} // namespace quorvel::testing

int main(int argc, char** argv) {
    using namespace quorvel;
    using namespace quorvel::testing;
    double seconds = 10.0;
    bool realtime = false;
    bool turnarounds = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--realtime") {
            realtime = true;
        } else if (arg == "--turnarounds") {
            turnarounds = true;
        } else {
            seconds = std::stod(arg);
        }
    }
    std::string scheduling = "normal (SCHED_OTHER)";
    if (realtime) {
        sched_param param{};
        param.sched_priority = 20;
        if (::sched_setscheduler(0, SCHED_FIFO, &param) != 0) {
            std::fprintf(stderr, "bench_engine: SCHED_FIFO refused: %s\n", std::strerror(errno));
            return 1;
        }
        scheduling = "SCHED_FIFO 20, inherited by threads and child processes";
    }
    double load[3] = {0, 0, 0};
    ::getloadavg(load, 3);
    std::printf("bench_engine: %.0f s per row; scheduling %s; load average %.2f %.2f %.2f on %ld "
                "CPUs\n",
                seconds, scheduling.c_str(), load[0], load[1], load[2],
                ::sysconf(_SC_NPROCESSORS_ONLN));
    try {
        if (turnarounds) {
            PrintTurnarounds(seconds);
            return 0;
        }
        std::vector<Row> rows;
        rows.push_back(BenchEngine(ModeASCII, 10, seconds));
        rows.push_back(BenchEngine(ModeRTU, RtuPeriodMs(4, 38400), seconds));
        rows.push_back(BenchMbpoll(10, seconds));
        rows.push_back(BenchPymodbus(true, seconds));
        rows.push_back(BenchPymodbus(false, seconds));
        Print(rows);
        std::printf(
            "The console sends at most one request per tick (the next one at the first tick "
            "after a reply), so the tick rate is its ceiling; round trips longer than one "
            "tick cost a tick each.\n");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_engine: %s\n", error.what());
        return 1;
    }
    return 0;
}
