// The Win32 back end's answers when there is nothing to open (also under Wine).
#include "PortSources.h"
#include "Portthread.h"

#include "TestMainThread.h"

#include <gtest/gtest.h>

namespace quorvel::test {
namespace {

TEST(PortWin32, NameThatIsNoDeviceDoesNotOpen) {
    EXPECT_EQ(OpenSerialDevice("QUORVEL_NO_SUCH_PORT", {}), nullptr);
    EXPECT_EQ(OpenSerialDevice("", {}), nullptr);
}

TEST(PortWin32, PortListIsNeverEmpty) {
    TTestMainThread main;
    TSettings settings;
    TPortThread port(settings, main.Calls());
    EXPECT_FALSE(port.GetPortList().empty());
}

TEST(PortWin32, UsbNameWithoutTheDriverStaysClosed) {
    TTestMainThread main;
    TSettings settings;
    settings.Port = "USB1";
    TPortEnvironment environment;
    environment.D2xxLibrary = "QUORVEL_NO_SUCH_LIBRARY.DLL";
    TPortThread port(settings, main.Calls(), environment);
    EXPECT_FALSE(port.Configure(ModeRTU, 19200));
}

} // namespace
} // namespace quorvel::test
