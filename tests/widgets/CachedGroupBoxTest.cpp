// The cached group frame looks like the toolkit's own in every part a repaint may ask for,
// follows a new title, size or state, and draws the frame once for many repaints.
#include "CachedGroupBox.h"
#include "ImageDifference.h"

#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>

namespace quorvel {
namespace {

using test::MaxDifference;

struct TPair {
    QWidget Window;
    QGroupBox* Plain = new QGroupBox(QStringLiteral(" Számlálók "), &Window);
    TCachedGroupBox* Cached = new TCachedGroupBox(QStringLiteral(" Számlálók "), &Window);

    TPair() {
        Window.resize(500, 200);
        Plain->setGeometry(5, 5, 220, 120);
        Cached->setGeometry(250, 5, 220, 120);
        for (QGroupBox* box : {Plain, static_cast<QGroupBox*>(Cached)}) {
            auto* edit = new QLineEdit(QStringLiteral("123"), box);
            edit->setGeometry(20, 40, 80, 22); // below the title, as the counters are
            edit->setFocusPolicy(Qt::NoFocus); // no caret blinking in one of them
        }
    }

    int Difference(const QRect& area = QRect()) const {
        const QRect part = area.isNull() ? Plain->rect() : area;
        return MaxDifference(Plain->grab(part).toImage(), Cached->grab(part).toImage());
    }
};

TEST(CachedGroupBox, LooksLikeTheToolkitFrameWholeAndInParts) {
    TPair pair;
    EXPECT_LE(pair.Difference(), 1);
    // Parts a repaint of one child asks for: the title, a corner, an inner strip.
    for (const QRect part : {QRect(0, 0, 120, 20), QRect(180, 90, 40, 30), QRect(50, 40, 60, 25)}) {
        EXPECT_LE(pair.Difference(part), 1) << part.x() << "," << part.y();
    }
}

TEST(CachedGroupBox, FollowsANewTitleSizeAndState) {
    TPair pair;
    ASSERT_LE(pair.Difference(), 1);
    for (QGroupBox* box :
         {static_cast<QGroupBox*>(pair.Plain), static_cast<QGroupBox*>(pair.Cached)}) {
        box->setTitle(QStringLiteral(" Modbus beállítások "));
    }
    EXPECT_LE(pair.Difference(), 1) << "title";
    pair.Plain->resize(180, 90);
    pair.Cached->resize(180, 90);
    EXPECT_LE(pair.Difference(), 1) << "size";
    pair.Plain->setEnabled(false);
    pair.Cached->setEnabled(false);
    EXPECT_LE(pair.Difference(), 1) << "disabled";
    QFont bold = pair.Plain->font();
    bold.setBold(true);
    pair.Plain->setFont(bold);
    pair.Cached->setFont(bold);
    EXPECT_LE(pair.Difference(), 1) << "font";
}

// Repaints of the boxes inside reach neither the frame's drawing nor the title's.
TEST(CachedGroupBox, ManyRepaintsDrawTheFrameOnce) {
    TCachedGroupBox box(QStringLiteral(" Értékek "), nullptr);
    box.resize(200, 100);
    for (int k = 0; k < 20; ++k) {
        (void)box.grab(QRect(10 + k, 30, 40, 20));
    }
    EXPECT_EQ(box.FrameDraws(), 1);
    EXPECT_EQ(box.TitleDraws(), 0);
    (void)box.grab(QRect(0, 0, 60, 12));
    EXPECT_EQ(box.TitleDraws(), 1);
}

// Any colour pixel: text smoothed for the screen's subpixels (ClearType) has coloured edges.
bool HasColourFringes(const QImage& image) {
    for (int row = 0; row < image.height(); ++row) {
        for (int col = 0; col < image.width(); ++col) {
            const QRgb p = image.pixel(col, row);
            if (std::abs(qRed(p) - qBlue(p)) > 24) {
                return true;
            }
        }
    }
    return false;
}

// What the screen shows, where text is smoothed as the platform does it: the Windows lane runs
// this on Wine's own platform with ClearType on, where text drawn into a transparent image
// would lose its subpixel smoothing and is blended unlike text drawn on the window.
TEST(CachedGroupBox, OnTheScreenLooksLikeTheToolkitFrame) {
    TPair pair;
    pair.Window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pair.Window));
    QTest::qWait(200);
    const QImage screen = pair.Window.windowHandle()
                              ->screen()
                              ->grabWindow(pair.Window.winId())
                              .toImage()
                              .convertToFormat(QImage::Format_RGB32);
    ASSERT_GE(screen.width(), pair.Cached->geometry().right());
    const QImage plain = screen.copy(pair.Plain->geometry());
    const QImage cached = screen.copy(pair.Cached->geometry());
    EXPECT_LE(MaxDifference(plain, cached), 1);
    const QString folder = qEnvironmentVariable("QUORVEL_SCREENS");
    if (!folder.isEmpty()) {
        screen.save(folder + QStringLiteral("/group-frames.png"));
    }
    // Whether the platform smoothed the title for the screen's subpixels at all; Wine's GDI
    // does not always, whatever the prefix asks for.
    std::cout << "[ note ] plain title with subpixel smoothing: "
              << (HasColourFringes(plain.copy(0, 0, plain.width(), 16)) ? "yes" : "no") << "\n";
}

} // namespace
} // namespace quorvel
