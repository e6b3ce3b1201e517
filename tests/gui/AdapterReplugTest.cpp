// The port selector with FTDI adapters that the driver renumbers: the adapter of the open link
// stays selected under the name it has now, and while it is gone it is shown apart from the
// adapter that took its number. The stand-in D2XX library is the one the window loads by itself.
#include "WindowHarness.h"

#include "D2xxLibrary.h"
#include "Portthread.h"
#include "Wait4msg.h"
#include "fake_ftd2xx/FakeFtd2xx.h"

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

namespace quorvel::test {
namespace {

// Loaded before any window asks for "libftd2xx.so": the stand-in carries that name, so the
// window's own load finds it.
class FakeD2xxEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { ASSERT_NE(OpenSharedLibrary(QUORVEL_FAKE_FTD2XX), nullptr); }
};

[[maybe_unused]] ::testing::Environment* const FakeD2xx =
    ::testing::AddGlobalTestEnvironment(new FakeD2xxEnvironment);

void Plug(const std::string& list) {
    auto plug = reinterpret_cast<FakeFtSetAdaptersFunction>(
        FindLibraryProc(OpenSharedLibrary(QUORVEL_FAKE_FTD2XX), "FakeFt_SetAdapters"));
    ASSERT_NE(plug, nullptr);
    plug(list.c_str());
}

// The far end of an adapter's line.
class TLine {
  public:
    TLine() {
        Master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        EXPECT_GE(Master, 0);
        EXPECT_EQ(::grantpt(Master), 0);
        EXPECT_EQ(::unlockpt(Master), 0);
        Slave = ::ptsname(Master);
    }
    ~TLine() { ::close(Master); }
    TLine(const TLine&) = delete;
    TLine& operator=(const TLine&) = delete;

    // Bytes the console has sent so far.
    std::size_t Received() {
        char buffer[256];
        for (ssize_t n; (n = ::read(Master, buffer, sizeof buffer)) > 0;) {
            Total += static_cast<std::size_t>(n);
        }
        return Total;
    }
    std::string Entry(const std::string& serial, int plug = 1) const {
        return serial + "@" + Slave + "@" + std::to_string(plug) + " ";
    }

  private:
    int Master = -1;
    std::string Slave;
    std::size_t Total = 0;
};

class AdapterReplugTest : public ::testing::Test {
  protected:
    AdapterReplugTest() : Harness({"Mode=4", "Baudrate=19200"}) {}
    ~AdapterReplugTest() override {
        Harness.Close();
        Plug("");
    }

    // The operator picks name and presses "Nyit".
    void OpenPort(const QString& name) {
        Harness.Create();
        const int index = Ports()->findText(name);
        ASSERT_GE(index, 0);
        Ports()->setCurrentIndex(index);
        emit Ports()->activated(index);
        QTest::mouseClick(Harness.Find<QPushButton>("Bt_PortOpen"), Qt::LeftButton);
        ASSERT_TRUE(Harness.Window().Port().IsOpen());
    }
    QComboBox* Ports() { return Harness.Find<QComboBox>("Combo_Port"); }
    std::string Shown() { return Ports()->currentText().toStdString(); }
    QString ShownNote() {
        return Ports()->itemData(Ports()->currentIndex(), Qt::ToolTipRole).toString();
    }
    void OpenTheList() {
        Ports()->showPopup();
        Ports()->hidePopup();
    }

    WindowHarness Harness;
    TLine A;
    TLine B;
};

TEST_F(AdapterReplugTest, OpenAdapterStaysSelectedUnderItsCurrentNumber) {
    Plug(A.Entry("FTA0001") + B.Entry("FTB0002"));
    OpenPort(QStringLiteral("USB2"));
    Plug(B.Entry("FTB0002")); // the adapter before it is pulled
    OpenTheList();
    EXPECT_EQ(Shown(), "USB1");
    EXPECT_TRUE(ShownNote().contains(QStringLiteral("FTB0002"))) << ShownNote().toStdString();
    EXPECT_EQ(Ports()->findText(QStringLiteral("USB2")), -1);
    EXPECT_EQ(Harness.Window().Settings.Port, "USB1");
    EXPECT_TRUE(Harness.Window().Port().IsOpen());
    EXPECT_TRUE(Harness.Find<QPushButton>("Bt_PortClose")->isEnabled());
}

TEST_F(AdapterReplugTest, PulledAdapterIsShownApartAndTakenBackUnderItsNewNumber) {
    Plug(A.Entry("FTA0001") + B.Entry("FTB0002"));
    OpenPort(QStringLiteral("USB1"));
    ASSERT_TRUE(WaitFor([&] { return A.Received() > 0; }));
    Plug(B.Entry("FTB0002")); // the other adapter is USB1 now
    ASSERT_TRUE(WaitFor([&] { return Harness.Window().Port().IsLinkLost(); }));
    OpenTheList();
    EXPECT_EQ(Shown(), "USB1");
    EXPECT_EQ(ShownNote().toStdString(), "A port most nem érhető el");
    const int other = Ports()->findText(QStringLiteral("USB1"));
    ASSERT_NE(other, Ports()->currentIndex()) << "the other adapter is not listed apart";
    EXPECT_TRUE(Ports()->itemData(other, Qt::ToolTipRole).toString().contains("FTB0002"));
    WaitFor([] { return false; }, 3 * TPortThread::ReopenIntervalMs);
    EXPECT_TRUE(Harness.Window().Port().IsLinkLost()) << "the other adapter was taken";

    Plug(B.Entry("FTB0002") + A.Entry("FTA0001", 2)); // back, after the other one
    ASSERT_TRUE(WaitFor([&] { return !Harness.Window().Port().IsLinkLost(); }));
    EXPECT_EQ(Shown(), "USB2");
    EXPECT_TRUE(ShownNote().contains(QStringLiteral("FTA0001"))) << ShownNote().toStdString();
    EXPECT_EQ(Harness.Window().Settings.Port, "USB2");
    const std::size_t before = A.Received();
    EXPECT_TRUE(WaitFor([&] { return A.Received() > before; })) << "polling did not resume";
    EXPECT_EQ(B.Received(), 0u) << "a request reached the other adapter";
}

} // namespace
} // namespace quorvel::test
