// UTF-8 text to and from the UTF-16 of the Windows wide calls. Pure functions; Windows only.
#pragma once

#include <string>
#include <string_view>

namespace quorvel {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

} // namespace quorvel
