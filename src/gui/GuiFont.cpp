#include "GuiFont.h"

#include <QFontDatabase>

namespace quorvel {

namespace {

constexpr int ConsoleFontPixels = 11;
const char* const PreferredFamily = "DejaVu Sans";

} // namespace

QFont ConsoleFont() {
    QFont font = QFontDatabase::hasFamily(PreferredFamily)
                     ? QFont(QString::fromLatin1(PreferredFamily))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(ConsoleFontPixels);
    font.setBold(false);
    font.setItalic(false);
    return font;
}

} // namespace quorvel
