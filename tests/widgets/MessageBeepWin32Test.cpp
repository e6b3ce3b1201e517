// The message dialog's sounds on Windows: which system sound each kind asks for, seen through
// the replaceable beep function, and the real MessageBeep answering under this system.
#include "MessageBeepWin32.h"
#include "Messagedialog.h"

#include <QTimer>

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace quorvel {
namespace {

std::vector<UINT> Sounds;

BOOL WINAPI RecordSound(UINT sound) {
    Sounds.push_back(sound);
    return TRUE;
}

class MessageBeepWin32 : public testing::Test {
  protected:
    void SetUp() override {
        Sounds.clear();
        Installed = SetMessageBeepFunction(&RecordSound);
    }
    void TearDown() override { SetMessageBeepFunction(Installed); }

    MessageBeepFunction Installed = nullptr;
};

TEST_F(MessageBeepWin32, EachShowingSoundsTheSystemSoundOfItsKind) {
    const std::vector<std::pair<std::uint8_t, UINT>> kinds{
        {mkInformation, MB_ICONASTERISK},
        {mkQuestion, MB_ICONASTERISK},
        {mkWarning, MB_ICONEXCLAMATION},
        {mkError, MB_ICONHAND},
        {7, MB_ICONASTERISK},
    };
    TForm_MessageDialog dialog;
    for (const auto& [kind, sound] : kinds) {
        Sounds.clear();
        bool shown = false;
        QTimer::singleShot(0, &dialog, [&] {
            shown = dialog.isVisible();
            dialog.done(mbOK);
        });
        EXPECT_EQ(
            dialog.ShowMessageDialog(kind, QStringLiteral("Hiba!"), QStringLiteral("t"), mbOK),
            mbOK);
        EXPECT_TRUE(shown);
        EXPECT_EQ(Sounds, std::vector<UINT>{sound}) << "kind " << static_cast<int>(kind);
    }
}

TEST_F(MessageBeepWin32, SoundsGoToTheSystemMessageBeepUnlessReplaced) {
    ASSERT_NE(Installed, nullptr);
    ASSERT_NE(Installed, &RecordSound);
    EXPECT_EQ(SetMessageBeepFunction(Installed), &RecordSound);
    for (const UINT sound : {MB_ICONHAND, MB_ICONEXCLAMATION, MB_ICONASTERISK}) {
        EXPECT_TRUE(Installed(sound)) << "MessageBeep(" << sound << ") failed: " << GetLastError();
    }
    SetMessageBeepFunction(&RecordSound);
}

} // namespace
} // namespace quorvel
