// TPortThread over real pseudo-terminals: line settings, the port's own settings given back,
// delivery of received chunks to the main thread, and the awkward moments around it.
#include "Portthread.h"

#include "Pty.h"
#include "Termios2.h"
#include "TestMainThread.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <sys/file.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace quorvel::test {
namespace {

class PortPtyLink : public ::testing::Test {
  protected:
    PortPtyLink() {
        RegisterLink(Ports.Path(), "SIM", Pty->SlavePath());
        Settings.Port = "SIM";
        TPortEnvironment environment;
        environment.Roots.PortFolder = Ports.Path();
        environment.D2xxLibrary = "/nonexistent/libftd2xx.so";
        Link = std::make_unique<TPortThread>(Settings, Main.Calls(), environment);
        Link->OnReceive = [this](ByteString chunk) { Received(std::move(chunk)); };
    }

    void Received(ByteString chunk) {
        EXPECT_EQ(std::this_thread::get_id(), MainId);
        EXPECT_FALSE(InHandler.exchange(true)) << "OnReceive entered twice at once";
        Chunks.push_back(chunk);
        All.insert(All.end(), chunk.begin(), chunk.end());
        if (Handler) {
            Handler(chunk);
        }
        InHandler = false;
    }

    bool ReceiveUntil(std::size_t count) {
        return Main.RunUntil([&] { return All.size() >= count; });
    }

    termios SlaveSettings() {
        termios settings{};
        EXPECT_EQ(::tcgetattr(Pty->SlaveFd(), &settings), 0);
        return settings;
    }

    TTestMainThread Main;
    std::thread::id MainId = std::this_thread::get_id();
    TTempFolder Ports;
    std::unique_ptr<TPty> Pty = std::make_unique<TPty>();
    TSettings Settings;
    std::unique_ptr<TPortThread> Link;
    std::vector<ByteString> Chunks;
    ByteString All;
    std::function<void(const ByteString&)> Handler;
    std::atomic<bool> InHandler{false};
};

struct TPtyModeCase {
    const char* Title;
    std::uint8_t Mode;
    std::int32_t Baud;
    std::uint32_t LineBaud;
};

void PrintTo(const TPtyModeCase& c, std::ostream* os) {
    *os << c.Title;
}

class PortPtyConfigure : public PortPtyLink, public ::testing::WithParamInterface<TPtyModeCase> {};

// Ptys refuse parity and 7 bits: the open still succeeds, raw and at the requested speed.
TEST_P(PortPtyConfigure, OpensRawAtTheRequestedSpeed) {
    const TPtyModeCase& c = GetParam();
    ASSERT_TRUE(Link->Configure(c.Mode, c.Baud));
    const termios settings = SlaveSettings();
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    std::uint32_t baud = 0;
    ASSERT_TRUE(GetLineBaud(Pty->SlaveFd(), baud));
    EXPECT_EQ(baud, c.LineBaud);
    const tcflag_t size = settings.c_cflag & CSIZE;
    EXPECT_TRUE(size == CS8 || (c.Mode == ModeASCII && size == CS7));
}

INSTANTIATE_TEST_SUITE_P(Port, PortPtyConfigure,
                         ::testing::Values(TPtyModeCase{"Ascii9600", ModeASCII, 9600, 9600},
                                           TPtyModeCase{"Rtu19200", ModeRTU, 19200, 19200},
                                           TPtyModeCase{"Ascii38400", ModeASCII, 38400, 38400},
                                           TPtyModeCase{"Rtu500000", ModeRTU, 500000, 500000},
                                           TPtyModeCase{"Rtu520833", ModeRTU, 520833, 520833}),
                         [](const auto& info) { return std::string(info.param.Title); });

TEST_F(PortPtyLink, BaudRateZeroKeepsThePortsSpeed) {
    termios before = SlaveSettings();
    ::cfsetspeed(&before, B4800);
    ASSERT_EQ(::tcsetattr(Pty->SlaveFd(), TCSANOW, &before), 0);
    ASSERT_TRUE(Link->Configure(ModeASCII, 0));
    const termios after = SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B4800));
}

TEST_F(PortPtyLink, CloseGivesThePortBackItsOwnSettings) {
    termios before = SlaveSettings();
    before.c_lflag |= ICANON | ECHO;
    ::cfsetspeed(&before, B9600);
    ASSERT_EQ(::tcsetattr(Pty->SlaveFd(), TCSANOW, &before), 0);
    before = SlaveSettings();
    ASSERT_TRUE(Link->Configure(ModeRTU, 38400));
    ASSERT_TRUE(Link->ClosePort());
    const termios after = SlaveSettings();
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_oflag, before.c_oflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
}

TEST_F(PortPtyLink, SetterOnAnOpenLinkReopensAtTheNewRate) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Link->SetBaudRate(38400);
    EXPECT_TRUE(Link->IsOpen());
    const termios after = SlaveSettings();
    EXPECT_EQ(::cfgetospeed(&after), static_cast<speed_t>(B38400));
}

TEST_F(PortPtyLink, ClosedLinkAnswersWithoutAPort) {
    const std::uint8_t frame[] = {0x3A};
    EXPECT_TRUE(Link->ClosePort());
    EXPECT_FALSE(Link->WriteFrame(frame, 1));
    EXPECT_EQ(Link->BytesWaiting(), 0u);
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    ASSERT_TRUE(Link->ClosePort());
    EXPECT_TRUE(Link->ClosePort());
    EXPECT_FALSE(Link->WriteFrame(frame, 1));
    EXPECT_EQ(Link->BytesWaiting(), 0u);
}

TEST_F(PortPtyLink, LowerCaseUsbNameIsAnOrdinaryPortName) {
    RegisterLink(Ports.Path(), "usb1", Pty->SlavePath());
    Settings.Port = "usb1";
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    EXPECT_FALSE(Link->IsUsbPort());
}

TEST_F(PortPtyLink, WrittenFrameReachesTheFarEnd) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    const ByteString frame{0x01, 0x03, 0x00, 0x0A, 0x00};
    ASSERT_TRUE(Link->WriteFrame(frame.data(), static_cast<std::uint16_t>(frame.size())));
    EXPECT_EQ(Pty->Read(frame.size()), frame);
}

TEST_F(PortPtyLink, ChunkHoldingZeroBytesIsDeliveredWhole) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    const ByteString reply{0x01, 0x00, 0x00, 0x02, 0x00, 0x7B, 0x00};
    ASSERT_TRUE(Pty->Write(reply));
    ASSERT_TRUE(ReceiveUntil(reply.size()));
    EXPECT_EQ(All, reply);
}

TEST_F(PortPtyLink, ChunksArriveInOrderOneAtATimeOnTheMainThread) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    ByteString sent;
    std::thread farEnd([&] {
        for (int i = 0; i < 300; ++i) {
            const ByteString burst{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8),
                                   0x00};
            Pty->Write(burst);
        }
    });
    for (int i = 0; i < 300; ++i) {
        sent.insert(sent.end(),
                    {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i >> 8), 0x00});
    }
    const bool complete = ReceiveUntil(sent.size());
    farEnd.join();
    ASSERT_TRUE(complete);
    EXPECT_EQ(All, sent);
}

TEST_F(PortPtyLink, LargeBurstIsDeliveredInBoundedChunks) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    ByteString burst(20000);
    for (std::size_t i = 0; i < burst.size(); ++i) {
        burst[i] = static_cast<std::uint8_t>(i * 7);
    }
    std::thread farEnd([&] { Pty->Write(burst); });
    const bool complete = ReceiveUntil(burst.size());
    farEnd.join();
    ASSERT_TRUE(complete);
    EXPECT_EQ(All, burst);
    for (const ByteString& chunk : Chunks) {
        EXPECT_LE(chunk.size(), TPortThread::MaxChunk);
    }
}

// Only what the worker read before the close is still delivered: one chunk at most.
TEST_F(PortPtyLink, NothingReadAfterCloseWhileBytesStream) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    std::atomic<bool> streaming{true};
    std::thread farEnd([&] {
        while (streaming) {
            Pty->Offer(ByteString(64, 0xAA));
            std::this_thread::yield();
        }
    });
    ASSERT_TRUE(ReceiveUntil(1000));
    EXPECT_TRUE(Link->ClosePort());
    const std::size_t chunksAtClose = Chunks.size();
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_LE(Chunks.size(), chunksAtClose + 1);
    streaming = false;
    farEnd.join();
}

TEST_F(PortPtyLink, HandlerMayWriteFromInsideOnReceive) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Handler = [&](const ByteString& chunk) {
        EXPECT_TRUE(Link->WriteFrame(chunk.data(), static_cast<std::uint16_t>(chunk.size())));
    };
    const ByteString request{0x3A, 0x30, 0x31, 0x0D, 0x0A};
    ASSERT_TRUE(Pty->Write(request));
    ASSERT_TRUE(ReceiveUntil(request.size()));
    EXPECT_EQ(Pty->Read(request.size()), request);
}

TEST_F(PortPtyLink, HandlerMayCloseAndTheLinkReopens) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Handler = [&](const ByteString&) { EXPECT_TRUE(Link->ClosePort()); };
    ASSERT_TRUE(Pty->Write({0x01}));
    ASSERT_TRUE(ReceiveUntil(1));
    EXPECT_FALSE(Link->IsOpen());
    Handler = nullptr;
    ASSERT_TRUE(Link->OpenPort());
    ASSERT_TRUE(Pty->Write({0x02}));
    ASSERT_TRUE(ReceiveUntil(2));
    EXPECT_EQ(All, (ByteString{0x01, 0x02}));
}

// A chunk the worker has read is the reply the operator counts on: "Zár", a change of the line
// settings or a reopen before the main thread took it does not drop it.
struct TChangeCase {
    const char* Title;
    std::function<void(TPortThread&)> Change;
    bool OpenAfter;
};

void PrintTo(const TChangeCase& c, std::ostream* os) {
    *os << c.Title;
}

class PortPtyPendingChunk : public PortPtyLink,
                            public ::testing::WithParamInterface<TChangeCase> {};

TEST_P(PortPtyPendingChunk, ChunkReadBeforeTheChangeReachesOnReceive) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    ASSERT_TRUE(Pty->Write({0x07, 0x00}));
    ASSERT_TRUE(Main.WaitForQueuedCall()); // the worker is blocked handing the chunk over
    GetParam().Change(*Link);
    EXPECT_EQ(Link->IsOpen(), GetParam().OpenAfter);
    Main.ProcessPending();
    EXPECT_EQ(All, (ByteString{0x07, 0x00}));
    ASSERT_TRUE(Link->IsOpen() || Link->OpenPort());
    ASSERT_TRUE(Pty->Write({0x08}));
    ASSERT_TRUE(ReceiveUntil(3));
    EXPECT_EQ(All, (ByteString{0x07, 0x00, 0x08}));
}

INSTANTIATE_TEST_SUITE_P(
    Port, PortPtyPendingChunk,
    ::testing::Values(
        TChangeCase{"Close", [](TPortThread& link) { link.ClosePort(); }, false},
        TChangeCase{"BaudRate", [](TPortThread& link) { link.SetBaudRate(38400); }, true},
        TChangeCase{"Reopen", [](TPortThread& link) { link.Configure(ModeASCII, 9600); }, true}),
    [](const auto& info) { return std::string(info.param.Title); });

TEST_F(PortPtyLink, FailingHandlerDoesNotEndReception) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    int calls = 0;
    Handler = [&](const ByteString&) {
        if (++calls == 1) {
            InHandler = false;
            throw std::runtime_error("handler failed");
        }
    };
    ASSERT_TRUE(Pty->Write({0x01}));
    ASSERT_TRUE(ReceiveUntil(1));
    ASSERT_TRUE(Pty->Write({0x02}));
    ASSERT_TRUE(ReceiveUntil(2));
    EXPECT_EQ(All, (ByteString{0x01, 0x02}));
}

TEST_F(PortPtyLink, VanishedFarEndFailsWritesThenTheLinkReopensOnTheNewPort) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Pty->CloseMaster();
    const std::uint8_t frame[] = {0x01};
    EXPECT_TRUE(Main.RunUntil([&] { return !Link->WriteFrame(frame, 1); }));
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(All.empty());
    auto replacement = std::make_unique<TPty>();
    RegisterLink(Ports.Path(), "SIM", replacement->SlavePath());
    EXPECT_TRUE(Link->ClosePort());
    ASSERT_TRUE(Link->OpenPort());
    ASSERT_TRUE(replacement->Write({0x5A}));
    ASSERT_TRUE(ReceiveUntil(1));
    EXPECT_EQ(All, ByteString{0x5A});
    EXPECT_TRUE(Link->WriteFrame(frame, 1));
    EXPECT_EQ(replacement->Read(1), ByteString{0x01});
    Link.reset();
}

// The cable is pulled (the pty's far end goes away) and pushed back (a new pty registered under
// the same port name): the open link takes the new device by itself, at the same line settings.
TEST_F(PortPtyLink, ReplugUnderTheSameNameReopensByItself) {
    std::vector<bool> reports;
    Link->OnLinkLost = [&](bool lost) { reports.push_back(lost); };
    ASSERT_TRUE(Link->Configure(ModeRTU, 38400));
    Pty->CloseMaster();
    ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost(); }));
    EXPECT_TRUE(Link->IsOpen());
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(300));
    EXPECT_TRUE(All.empty());

    auto back = std::make_unique<TPty>();
    RegisterLink(Ports.Path(), "SIM", back->SlavePath());
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    EXPECT_EQ(reports, (std::vector<bool>{true, false}));
    std::uint32_t baud = 0;
    ASSERT_TRUE(GetLineBaud(back->SlaveFd(), baud));
    EXPECT_EQ(baud, 38400u);
    ASSERT_TRUE(back->Write({0x5A, 0x00}));
    ASSERT_TRUE(ReceiveUntil(2));
    EXPECT_EQ(All, (ByteString{0x5A, 0x00}));
    const std::uint8_t frame[] = {0x01};
    EXPECT_TRUE(Link->WriteFrame(frame, 1));
    EXPECT_EQ(back->Read(1), ByteString{0x01});
    Link.reset();
}

// A descriptor of this process is open on path (its node may be gone already: a pty's node goes
// with its far end).
bool ProcessHolds(const std::string& path) {
    for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        const std::string target = std::filesystem::read_symlink(fd.path(), error).string();
        if (target == path || target == path + " (deleted)") {
            return true;
        }
    }
    return false;
}

// The vanished terminal is let go as soon as the loss is reported, not at the first reopen
// attempt: a held descriptor keeps a device's number taken.
TEST_F(PortPtyLink, VanishedTerminalIsLetGoWhenTheLossIsReported) {
    std::optional<bool> heldAtReport;
    const std::string path = Pty->SlavePath();
    Link->OnLinkLost = [&](bool lost) {
        if (lost) {
            heldAtReport = ProcessHolds(path);
        }
    };
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    ASSERT_TRUE(ProcessHolds(path));
    Pty->CloseSlave();
    Pty->CloseMaster();
    ASSERT_TRUE(Main.RunUntil([&] { return heldAtReport.has_value(); }));
    EXPECT_FALSE(*heldAtReport);
    Link.reset();
}

// A pseudo-terminal never comes back. Once its far end and the link have let go of it, its
// number goes to the next program that asks for a terminal, while the port's registration still
// names it: the link waits for the registration to be renewed instead of taking the stranger's
// terminal. A renewed registration is taken even when it names the same number again.
TEST_F(PortPtyLink, ReplugWaitsForANewRegistrationNotTheVanishedTerminalsNumber) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    const std::string vanished = Pty->SlavePath();
    Pty->CloseSlave(); // only the link holds the terminal now, as with a simulator that ends
    Pty->CloseMaster();
    ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost(); }));
    // Another program's terminals, until one gets the number the link let go of.
    std::vector<std::unique_ptr<TPty>> strangers;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (strangers.empty() || strangers.back()->SlavePath() != vanished) {
        if (std::chrono::steady_clock::now() > deadline || strangers.size() > 200) {
            GTEST_SKIP() << "another program holds " << vanished;
        }
        Main.RunUntil([] { return false; }, std::chrono::milliseconds(10));
        strangers.push_back(std::make_unique<TPty>());
    }
    TPty& stranger = *strangers.back();
    Main.RunUntil([] { return false; },
                  std::chrono::milliseconds(3 * TPortThread::ReopenIntervalMs));
    EXPECT_TRUE(Link->IsLinkLost()) << "the link took another program's terminal " << vanished;
    ASSERT_TRUE(stranger.Write({0x66}));
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(All.empty());

    RegisterLink(Ports.Path(), "SIM", stranger.SlavePath());
    ASSERT_TRUE(Main.RunUntil([&] { return !Link->IsLinkLost(); }));
    ASSERT_TRUE(stranger.Write({0x5A}));
    ASSERT_TRUE(ReceiveUntil(1));
    EXPECT_EQ(All, ByteString{0x5A});
    Link.reset();
}

TEST_F(PortPtyLink, CloseWhileTheDeviceIsGoneStopsWaitingForIt) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    Pty->CloseMaster();
    ASSERT_TRUE(Main.RunUntil([&] { return Link->IsLinkLost(); }));
    EXPECT_TRUE(Link->ClosePort());
    auto back = std::make_unique<TPty>();
    RegisterLink(Ports.Path(), "SIM", back->SlavePath());
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(500));
    EXPECT_FALSE(Link->IsOpen());
    ASSERT_TRUE(back->Write({0x33}));
    Main.RunUntil([] { return false; }, std::chrono::milliseconds(100));
    EXPECT_TRUE(All.empty());
    Link.reset();
}

// Another program's hold on the port: the advisory lock serial programs take, which TIOCEXCL
// alone would not give (root passes TIOCEXCL; a program may have opened the port before us).
class PortPtyLock : public PortPtyLink {
  protected:
    // A descriptor of the port as another program would open it; -1 on failure.
    int OpenLikeAnotherProgram() {
        return ::open(Pty->SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    std::unique_ptr<TPortThread> SecondLink() {
        TPortEnvironment environment;
        environment.Roots.PortFolder = Ports.Path();
        environment.D2xxLibrary = "/nonexistent/libftd2xx.so";
        return std::make_unique<TPortThread>(Settings, Main.Calls(), environment);
    }
};

TEST_F(PortPtyLock, PortLockedByAnotherProgramIsRefusedUntilReleased) {
    const int other = OpenLikeAnotherProgram();
    ASSERT_GE(other, 0);
    ASSERT_EQ(::flock(other, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(Link->Configure(ModeRTU, 19200));
    EXPECT_FALSE(Link->IsOpen());
    ::close(other);
    EXPECT_TRUE(Link->Configure(ModeRTU, 19200));
}

TEST_F(PortPtyLock, SecondLinkIsRefusedWhileTheFirstHoldsThePort) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    auto second = SecondLink();
    EXPECT_FALSE(second->Configure(ModeRTU, 19200));
    ASSERT_TRUE(Link->ClosePort());
    EXPECT_TRUE(second->Configure(ModeRTU, 19200));
}

TEST_F(PortPtyLock, OtherProgramsSeeTheLockUntilTheClose) {
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    const int other = OpenLikeAnotherProgram(); // root passes TIOCEXCL; others may be refused
    if (other >= 0) {
        EXPECT_NE(::flock(other, LOCK_EX | LOCK_NB), 0);
        EXPECT_EQ(errno, EWOULDBLOCK);
        ::close(other);
    }
    ASSERT_TRUE(Link->ClosePort());
    const int after = OpenLikeAnotherProgram();
    ASSERT_GE(after, 0);
    EXPECT_EQ(::flock(after, LOCK_EX | LOCK_NB), 0);
    ::close(after);
}

constexpr std::size_t PtyLineDisciplineBytes = 4096;

// A far end that never reads, with hardware flow control left on by an earlier program: the
// backlog is thrown away at close rather than waited for.
TEST_F(PortPtyLink, CloseDiscardsOutputTheFarEndNeverRead) {
    termios settings = SlaveSettings();
    settings.c_cflag |= CRTSCTS;
    ASSERT_EQ(::tcsetattr(Pty->SlaveFd(), TCSANOW, &settings), 0);
    ASSERT_TRUE(Link->Configure(ModeRTU, 19200));
    const ByteString frame(255, 0x55);
    int written = 0;
    while (written < 10000 &&
           Link->WriteFrame(frame.data(), static_cast<std::uint16_t>(frame.size()))) {
        ++written;
    }
    ASSERT_LT(written, 10000) << "the far end's buffer never filled";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Link->ClosePort());
    // Generous: a close that waited for the drain would take the kernel's 30 s.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    // What the far end's line discipline had already taken in (at most its 4 KiB) stays; the
    // backlog queued behind it is gone.
    const std::size_t backlog = static_cast<std::size_t>(written) * frame.size();
    const std::size_t left = Pty->Read(backlog, std::chrono::milliseconds(200)).size();
    EXPECT_GT(backlog, 4 * PtyLineDisciplineBytes);
    EXPECT_LE(left, PtyLineDisciplineBytes) << "of " << backlog << " bytes written";
}

TEST_F(PortPtyLink, ShutDownWhileStreamingNeverHangs) {
    Link.reset();
    std::atomic<bool> streaming{true};
    std::thread farEnd([&] {
        while (streaming) {
            Pty->Offer(ByteString(32, 0x11));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int round = 0; round < 40; ++round) {
        TPortEnvironment environment;
        environment.Roots.PortFolder = Ports.Path();
        std::atomic<bool> destroyed{false};
        std::size_t delivered = 0;
        auto link = std::make_unique<TPortThread>(Settings, Main.Calls(), environment);
        link->OnReceive = [&](ByteString chunk) {
            EXPECT_FALSE(destroyed.load());
            delivered += chunk.size();
        };
        ASSERT_TRUE(link->Configure(ModeRTU, 19200));
        ASSERT_TRUE(Main.RunUntil([&] { return delivered > 0; }));
        if (round % 2 == 0) {
            Main.WaitForQueuedCall(std::chrono::milliseconds(50)); // often a delivery is in flight
        }
        link.reset();
        destroyed = true;
        Main.ProcessPending();
    }
    streaming = false;
    farEnd.join();
}

} // namespace
} // namespace quorvel::test
