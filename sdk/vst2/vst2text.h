// Texts for VST 2 hosts: the short forms that fit the few characters a VST 2
// buffer holds. Texts are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace vst2 {

// Writes at most maxBytes bytes of the text and a terminator, never cutting
// a UTF-8 sequence in half. Nothing happens for a null buffer.
void copyText(char* out, int maxBytes, std::string_view text);

// The text itself when it fits; else a shortened form of what precedes a
// colon, if there is one: words run together,
// lower-case vowels inside words dropped and the longest words trimmed until
// it fits, so that "Control Band Edge 1" and "... Edge 2" stay apart.
std::string abbreviate(std::string_view text, std::size_t maxBytes);

// A display value that fits: the spaces go first ("-100.0 dB" becomes
// "-100.0dB"), then whatever is left over at the end.
std::string compactDisplay(std::string_view text, std::size_t maxBytes);

// Case-insensitive comparison of ASCII letters; other bytes must be equal.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

} // namespace vst2
