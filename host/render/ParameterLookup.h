// Finding a parameter by what a user types on the command line, and reading
// the words a switch title offers.
#pragma once

#include "hosting/ParameterEntry.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora::host {

struct ParameterMatch {
    enum class Kind { Found, Ambiguous, Unknown };
    Kind kind = Kind::Unknown;
    // Index into the parameter list when found.
    std::size_t index = 0;
    // Ambiguous: the titles the name starts; unknown: the nearest titles.
    std::vector<std::string> candidates;
};

// Case-insensitive, with '_' read as a space. An exact title wins, then a
// title the name uniquely starts; a number names a parameter by ID.
ParameterMatch findParameter(const std::vector<ParameterEntry>& params, std::string_view name);

// Up to `limit` titles close to the name (edit distance, also against the
// title's beginning), nearest first; empty when none is close.
std::vector<std::string> nearestTitles(const std::vector<ParameterEntry>& params,
                                       std::string_view name, std::size_t limit = 3);

// The one-line message for a name that did not match.
std::string describeMismatch(const ParameterMatch& match, std::string_view name);

// A switch value from a word: on/off, true/false, yes/no, or one of the two
// states a title such as "Gate Mode: Standard/Duck" names (the first is 0,
// the second 1; a unique beginning of the word is enough).
std::optional<double> switchValueFromWord(std::string_view title, std::string_view text);

// The two state words of such a title, or none.
std::vector<std::string> switchWords(std::string_view title);

std::string normalizeName(std::string_view text);
std::size_t editDistance(std::string_view a, std::string_view b);

} // namespace velmora::host
