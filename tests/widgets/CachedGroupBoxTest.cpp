// The cached group frame looks like the toolkit's own in every part a repaint may ask for,
// follows a new title, size or state, and draws the frame once for many repaints.
#include "CachedGroupBox.h"

#include <QGroupBox>
#include <QImage>
#include <QLineEdit>
#include <QPixmap>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace quorvel {
namespace {

// Largest difference of any colour channel between two images of the same size.
int MaxDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) {
        return 256;
    }
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    int worst = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row);
            const QRgb q = y.pixel(col, row);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    }
    return worst;
}

struct TPair {
    QWidget Window;
    QGroupBox* Plain = new QGroupBox(QStringLiteral(" Számlálók "), &Window);
    TCachedGroupBox* Cached = new TCachedGroupBox(QStringLiteral(" Számlálók "), &Window);

    TPair() {
        Window.resize(500, 200);
        Plain->setGeometry(5, 5, 220, 120);
        Cached->setGeometry(250, 5, 220, 120);
        new QLineEdit(QStringLiteral("123"), Plain);
        new QLineEdit(QStringLiteral("123"), Cached);
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

TEST(CachedGroupBox, ManyRepaintsDrawTheFrameOnce) {
    TCachedGroupBox box(QStringLiteral(" Értékek "), nullptr);
    box.resize(200, 100);
    for (int k = 0; k < 20; ++k) {
        (void)box.grab(QRect(10 + k, 30, 40, 20));
    }
    EXPECT_EQ(box.FrameDraws(), 1);
}

} // namespace
} // namespace quorvel
