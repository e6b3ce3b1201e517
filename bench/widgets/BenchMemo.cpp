// Appends frame dump lines to the shown message log (as a busy exchange would, with the event
// loop running between poll ticks) and prints appends per second and memory, by default
// 2 200 000 appends: both memos full (1 000 000 lines each) and then some.
// Usage: bench_memo [appends]   (QT_QPA_PLATFORM defaults to offscreen)
#include "GuiFont.h"
#include "MessageLogPanel.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int LinesPerTick = 2; // one sent and one received line per 2 ms poll tick

// "VmRSS" or "VmHWM" of this process in KiB, from /proc.
long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string name;
    long value = 0;
    std::string unit;
    while (status >> name) {
        if (name == field + ":") {
            status >> value >> unit;
            return value;
        }
        std::getline(status, unit);
    }
    return -1;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", QByteArrayLiteral("offscreen"));
    }
    QApplication app(argc, argv);
    QApplication::setFont(quorvel::ConsoleFont());
    const int appends = argc > 1 ? std::atoi(argv[1]) : 2200000;

    quorvel::TMessageLogPanel panel;
    panel.show();
    QApplication::processEvents();
    const long rssBefore = StatusKiB("VmRSS");

    const std::string sent = "3A 30 31 30 33 46 30 41 30 30 30 30 31 36 42 0D 0A ";
    const std::string received = "3A 30 31 30 33 30 32 30 30 37 42 37 46 0D 0A ";
    const int tailStart = appends - appends / 10;
    Clock::time_point tail = Clock::now();
    const std::clock_t cpuStart = std::clock();
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < appends; ++i) {
        if (i == tailStart) {
            tail = Clock::now();
        }
        if (i % 2 == 0) {
            panel.AppendSent(sent);
        } else {
            panel.AppendReceived(received);
        }
        if (i % LinesPerTick == LinesPerTick - 1) {
            QApplication::processEvents(); // repaint as between two poll ticks
        }
    }
    QApplication::processEvents();
    const Clock::time_point end = Clock::now();
    const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;

    const double all = Seconds(end - start);
    const double last = Seconds(end - tail);
    std::printf("appends: %d (half to each memo, repaint every %d)\n", appends, LinesPerTick);
    std::printf("appends per second, whole run:      %.0f\n", appends / all);
    std::printf("appends per CPU second (all threads): %.0f\n", appends / cpu);
    std::printf("appends per second, last tenth:     %.0f (memos full, oldest lines dropped)\n",
                (appends - tailStart) / last);
    std::printf("lines kept: sent %d, received %d (at least %zu each once full)\n",
                panel.MemoSent()->LineCount(), panel.MemoReceived()->LineCount(),
                quorvel::TFrameStore::DefaultCapacity);
    std::printf("store memory: sent %.1f MiB, received %.1f MiB (bound 64 MiB each)\n",
                static_cast<double>(panel.MemoSent()->Store().MemoryBytes()) / (1 << 20),
                static_cast<double>(panel.MemoReceived()->Store().MemoryBytes()) / (1 << 20));
    std::printf("resident memory: %ld KiB before, %ld KiB after, peak %ld KiB\n", rssBefore,
                StatusKiB("VmRSS"), StatusKiB("VmHWM"));
    return 0;
}
