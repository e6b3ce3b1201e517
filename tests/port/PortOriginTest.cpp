// Whether a vanished port's name may lead back to it: a pseudo-terminal only through a renewed
// registration, any other device under its own name.
#include "PortOrigin.h"

#include "PortFolder.h"

#include "Pty.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quorvel::test {
namespace {

TEST(PortOrigin, TellsPseudoTerminalsFromOtherDevices) {
    TPty pty;
    EXPECT_TRUE(IsPseudoTerminal(pty.SlaveFd()));
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    ASSERT_GE(null, 0);
    EXPECT_FALSE(IsPseudoTerminal(null));
    ::close(null);
    EXPECT_FALSE(IsPseudoTerminal(-1));
}

// A device node comes back under its name (a USB adapter plugged in again), however it was named.
TEST(PortOrigin, AnyOtherDeviceMayReturnUnderItsName) {
    TTempFolder ports;
    RegisterLink(ports.Path(), "ADAPTER", "/dev/null");
    const std::string link = ports / "ADAPTER";
    EXPECT_TRUE(MayLeadBack({"/dev/ttyUSB0", EntryOf("/dev/ttyUSB0"), false}));
    EXPECT_TRUE(MayLeadBack({link, EntryOf(link), false}));
}

TEST(PortOrigin, PseudoTerminalNamedByItsOwnNodeNeverLeadsBack) {
    TPty pty;
    EXPECT_FALSE(EntryOf(pty.SlavePath()).Link);
    EXPECT_FALSE(MayLeadBack({pty.SlavePath(), EntryOf(pty.SlavePath()), true}));
}

TEST(PortOrigin, PseudoTerminalLeadsBackOnlyThroughARenewedRegistration) {
    TTempFolder ports;
    TPty pty;
    RegisterLink(ports.Path(), "SIM", pty.SlavePath());
    const std::string link = ports / "SIM";
    const TPortOrigin origin{link, EntryOf(link), true};
    ASSERT_TRUE(origin.Entry.Link);
    EXPECT_FALSE(MayLeadBack(origin)) << "the registration still names the vanished terminal";
    ::unlink(link.c_str());
    EXPECT_FALSE(MayLeadBack(origin)) << "nothing is registered";
    RegisterLink(ports.Path(), "SIM", pty.SlavePath()); // the same number, registered anew
    EXPECT_TRUE(MayLeadBack(origin));
}

// A registration is looked up again through its folder, which must still be trusted.
TEST(PortOrigin, RegistrationIsCheckedThroughItsTrustedFolder) {
    TTempFolder ports;
    TPty pty;
    RegisterLink(ports.Path(), "SIM", pty.SlavePath());
    const std::unique_ptr<TPortFolder> folder = TPortFolder::Open(ports.Path());
    ASSERT_NE(folder, nullptr);
    const TPortOrigin origin{ports / "SIM", folder->Entry("SIM"), true, ports.Path(), "SIM"};
    ASSERT_TRUE(origin.Entry.Link);
    EXPECT_FALSE(MayLeadBack(origin));
    RegisterLink(ports.Path(), "SIM", pty.SlavePath());
    EXPECT_TRUE(MayLeadBack(origin));
    ::chmod(ports.Path().c_str(), 0777); // others may plant links now
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(MayLeadBack(origin));
    ::testing::internal::GetCapturedStderr();
}

} // namespace
} // namespace quorvel::test
