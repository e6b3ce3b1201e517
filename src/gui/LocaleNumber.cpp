#include "LocaleNumber.h"

#include <QLocale>

namespace quorvel {

std::optional<double> ReadLocaleNumber(const QString& text) {
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const double value = locale.toDouble(text.trimmed(), &ok);
    if (!ok) {
        return std::nullopt;
    }
    return value;
}

std::string LocaleDecimalSeparator() {
    return QLocale().decimalPoint().toStdString();
}

} // namespace quorvel
