// The chart and message log panels inside the real main window: start-up arrangements from the
// settings file, logging gated by Bt_Messages, clearing, and screenshots of both panels.
#include "DiagramPanel.h"
#include "MainWindow.h"
#include "MessageLogPanel.h"
#include "TempFolder.h"
#include "Wait4msg.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>

namespace quorvel {
namespace {

using test::TempFolder;
using test::WriteFile;

// A Modbus ASCII read reply from slave 1 carrying one register word.
ByteString AsciiReadReply(std::uint16_t word) {
    const std::uint8_t bytes[] = {0x01, 0x03, 0x02, static_cast<std::uint8_t>(word >> 8),
                                  static_cast<std::uint8_t>(word & 0xFF)};
    std::uint8_t sum = 0;
    char text[64];
    int length = std::snprintf(text, sizeof text, ":");
    for (const std::uint8_t b : bytes) {
        sum = static_cast<std::uint8_t>(sum + b);
        length += std::snprintf(text + length, sizeof text - length, "%02X", b);
    }
    const auto lrc = static_cast<std::uint8_t>(-sum);
    length += std::snprintf(text + length, sizeof text - length, "%02X\r\n", lrc);
    return ByteString(text, text + length);
}

class WindowPanels : public testing::Test {
  protected:
    void Open(const std::string& settingsFile) {
        WriteFile(Folder.File("quorvel.ini"), settingsFile);
        Window = std::make_unique<TForm_Quorvel>(SettingsFiles::Single(Folder.File("quorvel.ini")));
        Window->show();
    }

    template <typename T> T* Child(const char* name) const {
        auto* child = Window->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(child, nullptr) << name;
        return child;
    }

    void Click(const char* name) { Child<QPushButton>(name)->click(); }
    int ClientHeight() const { return Window->centralWidget()->height(); }
    TDiagramPanel* Chart() const { return Child<TDiagramPanel>("Panel_Diagram"); }
    TMessageLogPanel* Log() const { return Child<TMessageLogPanel>("Panel_Messages"); }

    // Polls the output frequency only, so every exchange is a frequency read.
    void PollFrequencyOnly() {
        for (const char* name :
             {"Check_MotorCurrent", "Check_ControlRefSignal", "Check_VirtualInput"}) {
            auto* box = Child<QCheckBox>(name);
            if (box->isChecked()) {
                box->click();
            }
        }
        Window->Engine().ArmPollCycle();
    }

    // One poll tick (sends the read; the port is closed, so nothing leaves) and its reply.
    void Exchange(std::uint16_t frequencyWord) {
        Window->Engine().TimerTimer();
        Window->Engine().HandleReply(AsciiReadReply(frequencyWord));
    }

    TempFolder Folder;
    std::unique_ptr<TForm_Quorvel> Window;
};

struct Arrangement {
    bool Diagram;
    bool Messages;
    bool ChartShown;
    bool LogShown;
    int Height;
    const char* ActiveTab;
};

void PrintTo(const Arrangement& a, std::ostream* os) {
    *os << "Diagram=" << a.Diagram << " Messages=" << a.Messages;
}

class WindowStartup : public WindowPanels, public testing::WithParamInterface<Arrangement> {};

TEST_P(WindowStartup, ShowsThePanelTheSavedFlagsAskFor) {
    const Arrangement& a = GetParam();
    Open("[Quorvel]\nDiagram=" + std::to_string(a.Diagram) +
         "\nMessages=" + std::to_string(a.Messages) + "\n");
    EXPECT_EQ(Chart()->isVisible(), a.ChartShown);
    EXPECT_EQ(Log()->isVisible(), a.LogShown);
    EXPECT_EQ(ClientHeight(), a.Height);
    EXPECT_EQ(Child<QPushButton>("Bt_Diagram")->isChecked(), a.ChartShown);
    EXPECT_EQ(Child<QPushButton>("Bt_Messages")->isChecked(), a.LogShown);
    EXPECT_EQ(Child<QTabWidget>("Page_Extra")->currentWidget()->objectName(), a.ActiveTab);
    EXPECT_EQ(Log()->y(), 270);
    EXPECT_EQ(Chart()->y(), 270);
    if (a.ChartShown) {
        TDiagramPanel fresh;
        fresh.ClearChart(50);
        EXPECT_EQ(Chart()->Image(), fresh.Image()) << "the empty 50 Hz chart";
    }
}

INSTANTIATE_TEST_SUITE_P(
    SavedFlags, WindowStartup,
    testing::Values(Arrangement{false, false, false, false, 270, "Tab_Diagram"},
                    Arrangement{true, false, true, false, 515, "Tab_Diagram"},
                    Arrangement{false, true, false, true, 515, "Tab_Messages"},
                    Arrangement{true, true, true, false, 515, "Tab_Messages"}));

TEST_F(WindowPanels, FramesAreLoggedOnlyWhileTheLogButtonIsDown) {
    Open("");
    PollFrequencyOnly();
    Exchange(2500);
    EXPECT_TRUE(Log()->MemoSent()->toPlainText().isEmpty());
    EXPECT_TRUE(Log()->MemoReceived()->toPlainText().isEmpty());

    Click("Bt_Messages");
    Exchange(2500);
    EXPECT_EQ(Log()->MemoSent()->blockCount(), 1);
    EXPECT_TRUE(Log()->MemoSent()->toPlainText().startsWith("3A 30 31 30 33 "));
    EXPECT_EQ(Log()->MemoReceived()->toPlainText(),
              QString::fromStdString(FrameDump(AsciiReadReply(2500))));

    Click("Bt_Diagram"); // the chart takes the place of the log and logging stops
    EXPECT_FALSE(Child<QPushButton>("Bt_Messages")->isChecked());
    Exchange(2500);
    EXPECT_EQ(Log()->MemoSent()->blockCount(), 1);

    Click("Bt_Messages"); // shown again: the old lines stay and new ones follow
    Exchange(2500);
    EXPECT_EQ(Log()->MemoSent()->blockCount(), 2);
    EXPECT_EQ(Log()->MemoReceived()->blockCount(), 2);
}

TEST_F(WindowPanels, DeleteEmptiesBothLogsWhileTheyAreHidden) {
    Open("[Quorvel]\nMessages=1\n");
    PollFrequencyOnly();
    Exchange(1000);
    ASSERT_FALSE(Log()->MemoSent()->toPlainText().isEmpty());
    Click("Bt_Messages");
    ASSERT_FALSE(Log()->isVisible());
    Click("Bt_DeleteMessages");
    EXPECT_TRUE(Log()->MemoSent()->toPlainText().isEmpty());
    EXPECT_TRUE(Log()->MemoReceived()->toPlainText().isEmpty());
}

TEST_F(WindowPanels, FrequencyRepliesPlotOnlyWhileTheChartIsShown) {
    Open("");
    PollFrequencyOnly();
    Exchange(2500);
    EXPECT_EQ(Chart()->ChartColumn, 0);
    Click("Bt_Diagram");
    Exchange(2500); // 25.00 Hz on the 50 Hz scale
    EXPECT_EQ(Chart()->ChartColumn, 1);
    EXPECT_EQ(Chart()->Image().pixel(11, 115), qRgb(255, 0, 0));
}

TEST_F(WindowPanels, HidingAndShowingTheChartClearsIt) {
    Open("[Quorvel]\nDiagram=1\nMax=4\n");
    PollFrequencyOnly();
    for (int i = 0; i < 40; ++i) {
        Exchange(static_cast<std::uint16_t>(100 * i));
    }
    TDiagramPanel fresh;
    fresh.ClearChart(25);
    ASSERT_NE(Chart()->Image(), fresh.Image());
    Click("Bt_Diagram");
    EXPECT_FALSE(Chart()->isVisible());
    EXPECT_EQ(ClientHeight(), 270);
    Click("Bt_Diagram");
    EXPECT_TRUE(Chart()->isVisible());
    EXPECT_EQ(Chart()->ChartColumn, 0);
    EXPECT_EQ(Chart()->Image(), fresh.Image());
}

TEST_F(WindowPanels, ScreenshotsOfChartAndLog) {
    Open("[Quorvel]\nDiagram=1\n");
    PollFrequencyOnly();
    for (int i = 0; i < 420; ++i) {
        const double hz = 25 + 20 * std::sin(i / 35.0) * std::min(1.0, i / 100.0);
        Exchange(static_cast<std::uint16_t>(std::lround(hz * 100)));
    }
    const QImage chart = Window->grab().toImage();
    Child<QTabWidget>("Page_Extra")->setCurrentIndex(1);
    Click("Bt_Messages");
    for (int i = 0; i < 30; ++i) {
        Exchange(static_cast<std::uint16_t>(2000 + 10 * i));
        QApplication::processEvents(); // the event loop runs between poll ticks
    }
    const QImage log = Window->grab().toImage();
    EXPECT_EQ(chart.size(), log.size());
    EXPECT_TRUE(chart.save(QStringLiteral(SCREENSHOT_DIR "/chart.png")));
    EXPECT_TRUE(log.save(QStringLiteral(SCREENSHOT_DIR "/log.png")));
}

} // namespace
} // namespace quorvel
