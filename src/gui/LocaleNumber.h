// Numbers as the operator types and reads them: the user's locale decimal separator, no group
// separator. GUI thread (reads the default QLocale).
#pragma once

#include <QString>

#include <optional>
#include <string>

namespace quorvel {

// The text read as a floating-point number; nullopt when it is not one.
std::optional<double> ReadLocaleNumber(const QString& text);

// The decimal separator of the default locale, for the engine's value texts.
std::string LocaleDecimalSeparator();

} // namespace quorvel
