// Whole-window benchmark: runs the real quorvel window on a private Xvfb display against
// kelmar-sim and prints, per arrangement, exchanges per second, the share of poll ticks that
// sent, the console's whole-process CPU (% of one core) and its resident memory.
// Everything is measured from outside: the simulator's frame trace counts requests and
// replies, /proc gives CPU and memory, xdotool presses "Nyit" as an operator would, and a
// settings file beside a private copy of the console chooses mode, poll period and panel.
// The simulator answers at once over an unpaced pseudo-terminal, so the figures are the
// console's own limit; one arrangement paces the replies as a 38400 baud line would.
// Usage: bench_gui [seconds per arrangement = 10] [long run seconds = 600] [console]
// (console: another build of quorvel to measure, by default the one built beside this bench)
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int Baudrate = 38400;
constexpr int TimerRtuChars = 4;
constexpr int TimerAsciiMs = 10;
constexpr int ClientWidth = 665;
constexpr int PlainHeight = 270;
constexpr int PanelHeight = 515;
constexpr int OpenButtonX = 10 + 35 + 33; // Group_Port + Bt_PortOpen + half its width
constexpr int OpenButtonY = 5 + 95 + 10;
constexpr auto WarmUp = 3s;
const char* const PortName = "BENCHGUI";

// Children started so far (each leads its own process group), stopped when the bench fails.
std::vector<pid_t> Children;

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "bench_gui: %s\n", what.c_str());
    for (const pid_t pid : Children) {
        ::kill(-pid, SIGTERM);
    }
    std::exit(1);
}

struct TChild {
    pid_t Pid = -1;
    int Out = -1; // stdout and stderr, when captured
};

// Starts argv with extra environment entries; captures stdout+stderr into a pipe when asked.
TChild Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
             bool capture) {
    int fds[2] = {-1, -1};
    if (capture && ::pipe2(fds, O_CLOEXEC) != 0) {
        Fail("pipe");
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        Fail("fork");
    }
    if (pid == 0) {
        ::setpgid(0, 0);
        for (const std::string& entry : env) {
            ::putenv(::strdup(entry.c_str()));
        }
        if (capture) {
            ::dup2(fds[1], 1);
            ::dup2(fds[1], 2);
        } else {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    if (capture) {
        ::close(fds[1]);
    }
    Children.push_back(pid);
    return {pid, capture ? fds[0] : -1};
}

void Stop(TChild& child) {
    if (child.Pid > 0) {
        ::kill(child.Pid, SIGTERM);
        int status = 0;
        ::waitpid(child.Pid, &status, 0);
        child.Pid = -1;
    }
    if (child.Out >= 0) {
        ::close(child.Out);
        child.Out = -1;
    }
}

std::string Run(const std::string& command) {
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        ::pclose(pipe);
    }
    return out;
}

// utime + stime of the whole process, in clock ticks.
long long CpuTicks(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(stat, line);
    const auto close = line.rfind(')');
    if (close == std::string::npos) {
        return -1;
    }
    std::istringstream fields(line.substr(close + 2));
    std::string field;
    long long utime = 0;
    long long stime = 0;
    for (int i = 3; fields >> field; ++i) {
        if (i == 14) {
            utime = std::stoll(field);
        } else if (i == 15) {
            stime = std::stoll(field);
            break;
        }
    }
    return utime + stime;
}

double RssMiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string name;
    while (status >> name) {
        if (name == "VmRSS:") {
            long kib = 0;
            status >> kib;
            return static_cast<double>(kib) / 1024.0;
        }
        std::getline(status, name);
    }
    return -1;
}

// The simulator with its frame trace counted as it streams.
class TSimulator {
  public:
    TSimulator(const std::string& path, const std::vector<std::string>& env, bool paced) {
        std::vector<std::string> argv = {path, "--name",   PortName, "--reference",
                                         "50", "--inputs", "1",      "--verbose"};
        if (paced) {
            argv.insert(argv.end(), {"--baud", std::to_string(Baudrate)});
        }
        Child = Spawn(argv, env, true);
        Reader = std::thread([this] { Read(); });
        const auto deadline = Clock::now() + 10s;
        while (!Announced && Clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        if (!Announced) {
            Fail("kelmar-sim did not announce its port");
        }
    }
    ~TSimulator() { Kill(); }

    void Kill() {
        if (Child.Pid > 0) {
            ::kill(Child.Pid, SIGTERM);
            int status = 0;
            ::waitpid(Child.Pid, &status, 0);
            Child.Pid = -1;
        }
        if (Reader.joinable()) {
            Reader.join();
        }
        if (Child.Out >= 0) {
            ::close(Child.Out);
            Child.Out = -1;
        }
    }

    std::atomic<long long> Requests{0};
    std::atomic<long long> Replies{0};

  private:
    void Read() {
        std::string pending;
        char buffer[8192];
        while (true) {
            const ssize_t n = ::read(Child.Out, buffer, sizeof buffer);
            if (n <= 0) {
                return;
            }
            pending.append(buffer, static_cast<std::size_t>(n));
            std::size_t start = 0;
            for (auto end = pending.find('\n'); end != std::string::npos;
                 end = pending.find('\n', start)) {
                Count(std::string_view(pending).substr(start, end - start));
                start = end + 1;
            }
            pending.erase(0, start);
        }
    }

    void Count(std::string_view line) {
        if (line.rfind("kelmar-sim: rx ", 0) == 0) {
            ++Requests;
        } else if (line.rfind("kelmar-sim: tx ", 0) == 0) {
            ++Replies;
        } else if (line.rfind("port ", 0) == 0) {
            Announced = true;
        }
    }

    TChild Child;
    std::thread Reader;
    std::atomic<bool> Announced{false};
};

struct TCase {
    std::string Name;
    bool Rtu = true;
    bool Diagram = false;
    bool Messages = false;
    bool DeviceGone = false;
    bool Paced = false; // the replies take their time on the line
};

struct TFigures {
    double ExchangesPerSecond = 0;
    double TicksSentPercent = 0;
    double CpuPercent = 0;
    double RssStart = 0;
    double RssEnd = 0;
};

class TBench {
  public:
    TBench(std::string console, std::string simulator)
        : ConsoleSource(std::move(console)), SimulatorPath(std::move(simulator)) {
        char pattern[] = "/tmp/bench-gui-XXXXXX";
        if (::mkdtemp(pattern) == nullptr) {
            Fail("mkdtemp");
        }
        Folder = pattern;
        fs::create_directories(Folder / "run");
        fs::permissions(Folder / "run", fs::perms::owner_all);
        // A private copy: its settings file lies beside it, never the operator's own.
        Console = Folder / "quorvel";
        fs::copy_file(ConsoleSource, Console);
        StartDisplay();
        Env = {"DISPLAY=" + Display, "XDG_RUNTIME_DIR=" + (Folder / "run").string()};
    }
    ~TBench() {
        Stop(Xvfb);
        std::error_code ignored;
        fs::remove_all(Folder, ignored);
    }

    TFigures Measure(const TCase& c, std::chrono::seconds duration) {
        WriteSettings(c);
        TSimulator sim(SimulatorPath, Env, c.Paced);
        TChild console = Spawn({Console.string()}, Env, false);
        const std::string window = FindWindow(console.Pid);
        std::fprintf(stderr, "bench_gui: console pid %d (%s)\n", static_cast<int>(console.Pid),
                     c.Name.c_str());
        PressOpen(window, c.Diagram || c.Messages ? PanelHeight : PlainHeight);
        WaitForFirstRequest(sim);
        if (c.DeviceGone) {
            sim.Kill(); // the pty's far end closes, its port link is removed
        }
        std::this_thread::sleep_for(WarmUp);
        TFigures f;
        f.RssStart = RssMiB(console.Pid);
        const long long cpu0 = CpuTicks(console.Pid);
        const long long req0 = sim.Requests;
        const long long rep0 = sim.Replies;
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(duration);
        const long long cpu1 = CpuTicks(console.Pid);
        const long long req1 = sim.Requests;
        const long long rep1 = sim.Replies;
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        f.RssEnd = RssMiB(console.Pid);
        if (::waitpid(console.Pid, nullptr, WNOHANG) != 0) {
            Fail("the console ended during the run (" + c.Name + ")");
        }
        Stop(console);
        const double hz = static_cast<double>(::sysconf(_SC_CLK_TCK));
        f.CpuPercent = 100.0 * static_cast<double>(cpu1 - cpu0) / hz / seconds;
        f.ExchangesPerSecond = static_cast<double>(rep1 - rep0) / seconds;
        const double ticks = seconds * 1000.0 / IntervalMs(c.Rtu);
        f.TicksSentPercent = 100.0 * static_cast<double>(req1 - req0) / ticks;
        return f;
    }

    static double IntervalMs(bool rtu) {
        if (!rtu) {
            return TimerAsciiMs;
        }
        // Character times of 11 bits, rounded up to whole milliseconds, as "Alkalmaz" does.
        const int product = TimerRtuChars * 11000;
        return static_cast<double>(static_cast<int>(
            std::ceil(static_cast<double>(product) / static_cast<double>(Baudrate))));
    }

    std::string Display;

  private:
    void StartDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) {
            Fail("pipe");
        }
        Xvfb = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24",
                      "-nolisten", "tcp", "-noreset"},
                     {}, false);
        ::close(fds[1]);
        std::string number;
        char ch = 0;
        pollfd p{fds[0], POLLIN, 0};
        while (::poll(&p, 1, 10000) > 0 && ::read(fds[0], &ch, 1) == 1 && ch != '\n') {
            number += ch;
        }
        ::close(fds[0]);
        if (number.empty()) {
            Fail("Xvfb did not start");
        }
        Display = ":" + number;
    }

    void WriteSettings(const TCase& c) const {
        std::ofstream ini(Folder / "quorvel.ini");
        ini << "[Quorvel]\nLeft=0\nTop=0\nPort=" << PortName << "\nBaudrate=" << Baudrate
            << "\nMode=" << (c.Rtu ? 4 : 3) << "\nAddress=1\nTimerASCII=" << TimerAsciiMs
            << "\nTimerRTU=" << TimerRtuChars << "\nDiagram=" << (c.Diagram ? 1 : 0)
            << "\nMax=5\nMessages=" << (c.Messages ? 1 : 0) << "\n";
    }

    std::string Xdo(const std::string& args) const {
        return Run("DISPLAY=" + Display + " xdotool " + args + " 2>/dev/null");
    }

    std::string FindWindow(pid_t pid) const {
        const auto deadline = Clock::now() + 60s;
        while (Clock::now() < deadline) {
            if (::waitpid(pid, nullptr, WNOHANG) != 0) {
                Fail("the console ended at start");
            }
            std::istringstream ids(Xdo("search --onlyvisible --name \"^Quorvel Kelmar\""));
            std::string id;
            while (ids >> id) {
                if (Xdo("getwindowname " + id).rfind("Quorvel Kelmar", 0) == 0) {
                    return id;
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        Fail("the console window did not appear");
    }

    // Without a window manager the window has no frame: the menu bar lies above the client.
    void PressOpen(const std::string& window, int clientHeight) const {
        int height = 0;
        const auto deadline = Clock::now() + 10s;
        while (height <= clientHeight && Clock::now() < deadline) {
            std::istringstream shell(Xdo("getwindowgeometry --shell " + window));
            std::string line;
            while (std::getline(shell, line)) {
                if (line.rfind("HEIGHT=", 0) == 0) {
                    height = std::stoi(line.substr(7));
                }
            }
            std::this_thread::sleep_for(100ms);
        }
        const int menuBar = height - clientHeight;
        if (menuBar <= 0) {
            Fail("unexpected window height " + std::to_string(height));
        }
        Xdo("mousemove --window " + window + " " + std::to_string(OpenButtonX) + " " +
            std::to_string(menuBar + OpenButtonY) + " click 1");
    }

    static void WaitForFirstRequest(const TSimulator& sim) {
        const auto deadline = Clock::now() + 10s;
        while (sim.Requests == 0 && Clock::now() < deadline) {
            std::this_thread::sleep_for(20ms);
        }
        if (sim.Requests == 0) {
            Fail("\"Nyit\" did not start polling");
        }
    }

    fs::path Folder;
    fs::path Console;
    std::string ConsoleSource;
    std::string SimulatorPath;
    std::vector<std::string> Env;
    TChild Xvfb;
};

void PrintRow(const TCase& c, const TFigures& f, bool longRun) {
    const std::string sent = c.DeviceGone ? "   —  " : [&] {
        char text[16];
        std::snprintf(text, sizeof text, "%5.1f %%", f.TicksSentPercent);
        return std::string(text);
    }();
    const std::string exchanges =
        c.DeviceGone ? "    —" : std::to_string(static_cast<int>(f.ExchangesPerSecond + 0.5));
    if (longRun) {
        std::printf("| %-34s | %5s | %s | %5.1f %% | %5.1f → %5.1f MB (%+.1f) |\n", c.Name.c_str(),
                    exchanges.c_str(), sent.c_str(), f.CpuPercent, f.RssStart, f.RssEnd,
                    f.RssEnd - f.RssStart);
    } else {
        std::printf("| %-34s | %5s | %s | %5.1f %% | %5.1f MB |\n", c.Name.c_str(),
                    exchanges.c_str(), sent.c_str(), f.CpuPercent, f.RssEnd);
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int longSeconds = argc > 2 ? std::atoi(argv[2]) : 600;
    if (seconds <= 0 || longSeconds < 0) {
        std::fprintf(stderr,
                     "usage: bench_gui [seconds per arrangement] [long run seconds] [console]\n");
        return 2;
    }
    TBench bench(argc > 3 ? argv[3] : QUORVEL_CONSOLE, KELMAR_SIM);
    std::printf("display %s (Xvfb), %d s per arrangement after %lld s warm-up, "
                "RTU tick %.0f ms, ASCII tick %.0f ms, %d baud\n",
                bench.Display.c_str(), seconds, static_cast<long long>(WarmUp.count()),
                TBench::IntervalMs(true), TBench::IntervalMs(false), Baudrate);
    std::printf("load average before: %s", Run("cut -d' ' -f1-3 /proc/loadavg").c_str());
    std::printf("| arrangement | exch/s | ticks sent | console CPU | RSS |\n");
    std::printf("|---|---|---|---|---|\n");
    const std::vector<TCase> cases = {
        {"RTU 2 ms, no panel", true, false, false, false},
        {"RTU 2 ms, chart shown", true, true, false, false},
        {"RTU 2 ms, log shown", true, false, true, false},
        {"RTU 2 ms, port open, device gone", true, false, false, true},
        {"RTU 2 ms, line paced at 38400 baud", true, false, false, false, true},
        {"ASCII 10 ms, no panel", false, false, false, false},
        {"ASCII 10 ms, chart shown", false, true, false, false},
        {"ASCII 10 ms, log shown", false, false, true, false},
        {"ASCII 10 ms, port open, device gone", false, false, false, true},
    };
    // BENCH_GUI_ONLY=<part of a name> measures only the matching arrangements (for profiling:
    // the console's pid goes to stderr once its window is up).
    const char* only = std::getenv("BENCH_GUI_ONLY");
    for (const TCase& c : cases) {
        if (only != nullptr && c.Name.find(only) == std::string::npos) {
            continue;
        }
        PrintRow(c, bench.Measure(c, std::chrono::seconds(seconds)), false);
    }
    if (longSeconds > 0 && only == nullptr) {
        const TCase c{"RTU 2 ms, log shown, " + std::to_string(longSeconds) + " s", true, false,
                      true, false};
        PrintRow(c, bench.Measure(c, std::chrono::seconds(longSeconds)), true);
    }
    std::printf("load average after: %s", Run("cut -d' ' -f1-3 /proc/loadavg").c_str());
    return 0;
}
