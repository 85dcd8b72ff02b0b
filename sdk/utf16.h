// Conversions between the UTF-16 texts of the VST 3 interfaces and UTF-8,
// for the plug-in's VST 2 adapter and for our hosts alike. Malformed input
// becomes U+FFFD; nothing throws.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace velmora {

// Reads a terminated UTF-16 text of at most maxUnits code units.
std::string toUtf8(const char16_t* text, std::size_t maxUnits = 128);
std::string toUtf8(std::u16string_view text);

std::u16string toUtf16(std::string_view text);

} // namespace velmora
