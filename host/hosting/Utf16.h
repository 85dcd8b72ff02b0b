// Conversions between the UTF-16 texts of the VST 3 interfaces and UTF-8.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora::host {

// Reads a terminated UTF-16 text of at most maxUnits code units.
std::string toUtf8(const char16_t* text, std::size_t maxUnits = 128);
std::string toUtf8(std::u16string_view text);

std::u16string toUtf16(std::string_view text);

} // namespace velmora::host
