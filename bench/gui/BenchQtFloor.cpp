// What a bare Qt Widgets window costs on this machine at the console's fastest pace, without the
// console: a 2 ms precise timer, and at most one change a display frame (16 ms) made from a tick,
// as the console's frame gate does. It gives the floor under bench_gui's "device gone" figure.
// Each arrangement runs in this one process; CPU is the whole process's, in % of one core.
// Usage (needs an X display):
//   xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" bench_qt_floor [seconds]
#include "GuiFont.h"
#include "ShapeMarker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <vector>

namespace {

constexpr int TickMs = 2;
constexpr int FrameMs = 16;
constexpr int WarmUpMs = 2000;

double ProcessCpuSeconds() {
    timespec now{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct TArrangement {
    const char* Name;
    bool Marker;   // the marker moves to another row every frame
    int TextBoxes; // this many 71 x 21 boxes get a new number every frame
};

class TFloorBench {
  public:
    explicit TFloorBench(int seconds) : Seconds(seconds) {
        Window.resize(665, 270);
        for (int k = 0; k < 2; ++k) {
            auto* box = new QLineEdit(&Window);
            box->setGeometry(575, 25 + 50 * k, 71, 21);
            Boxes.push_back(box);
        }
        Dot = new quorvel::TShapeMarker(&Window); // the console's own marker
        Dot->setGeometry(18, 160, 6, 6);
        Window.show();
        Tick.setTimerType(Qt::PreciseTimer);
        Tick.setInterval(TickMs);
        QObject::connect(&Tick, &QTimer::timeout, [this] { OnTick(); });
    }

    void Run(const std::vector<TArrangement>& arrangements) {
        std::printf(
            "| arrangement | ticks/s | frames/s | CPU, %% of one core |\n|---|---|---|---|\n");
        for (const TArrangement& arrangement : arrangements) {
            Measure(arrangement);
        }
    }

  private:
    void OnTick() {
        ++Ticks;
        if (SinceFrame.elapsed() < FrameMs) {
            return;
        }
        SinceFrame.start();
        ++Frames;
        if (Current.Marker) {
            Dot->move(Dot->x(), 160 + 25 * (Frames % 4));
        }
        for (int k = 0; k < Current.TextBoxes; ++k) {
            Boxes[static_cast<std::size_t>(k)]->setText(QString::number(Ticks + k));
        }
    }

    void Wait(int ms) {
        QTimer::singleShot(ms, &Loop, [this] { QApplication::exit(0); });
        QApplication::exec();
    }

    void Measure(const TArrangement& arrangement) {
        Current = arrangement;
        SinceFrame.start();
        Tick.start();
        Wait(WarmUpMs);
        Ticks = 0;
        Frames = 0;
        const double cpuBefore = ProcessCpuSeconds();
        QElapsedTimer wall;
        wall.start();
        Wait(Seconds * 1000);
        const double cpu = ProcessCpuSeconds() - cpuBefore;
        const double elapsed = static_cast<double>(wall.elapsed()) / 1000.0;
        Tick.stop();
        std::printf("| %-44s | %5.0f | %4.1f | %5.2f %% |\n", arrangement.Name, Ticks / elapsed,
                    Frames / elapsed, 100.0 * cpu / elapsed);
        std::fflush(stdout);
    }

    int Seconds;
    QWidget Window;
    QObject Loop;
    std::vector<QLineEdit*> Boxes;
    quorvel::TShapeMarker* Dot = nullptr;
    QTimer Tick;
    QElapsedTimer SinceFrame;
    TArrangement Current{"", false, 0};
    int Ticks = 0;
    int Frames = 0;
};

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    if (seconds <= 0) {
        std::fprintf(stderr, "usage: bench_qt_floor [seconds per arrangement > 0]\n");
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setFont(quorvel::ConsoleFont());
    TFloorBench bench(seconds);
    bench.Run({
        {"2 ms timer only", false, 0},
        {"+ a 6x6 marker moved every frame", true, 0},
        {"+ one box's number changed every frame", false, 1},
        {"+ marker and two boxes (the console's device gone)", true, 2},
    });
    return 0;
}
