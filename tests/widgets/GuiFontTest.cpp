#include "GuiFont.h"

#include <QFontDatabase>
#include <QFontInfo>

#include <gtest/gtest.h>

namespace quorvel {
namespace {

TEST(ConsoleFont, IsARegularSansSerifElevenPixelsHigh) {
    const QFont font = ConsoleFont();
    EXPECT_EQ(font.pixelSize(), 11);
    EXPECT_FALSE(font.bold());
    EXPECT_FALSE(font.italic());
    if (QFontDatabase::hasFamily("DejaVu Sans")) {
        EXPECT_EQ(QFontInfo(font).family(), "DejaVu Sans");
    }
}

} // namespace
} // namespace quorvel
