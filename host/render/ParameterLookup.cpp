#include "render/ParameterLookup.h"

#include <algorithm>
#include <cctype>
#include <numeric>

namespace velmora::host {

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) {
        s.remove_prefix(1);
    }
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) {
        s.remove_suffix(1);
    }
    return s;
}

bool startsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

bool allDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

std::string normalizeName(std::string_view text) {
    std::string out;
    bool space = false;
    for (char c : trim(text)) {
        if (c == '_' || std::isspace(static_cast<unsigned char>(c))) {
            space = true;
            continue;
        }
        if (space && !out.empty()) {
            out += ' ';
        }
        space = false;
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

std::size_t editDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    std::iota(row.begin(), row.end(), std::size_t{0});
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + cost});
            diagonal = above;
        }
    }
    return row[b.size()];
}

ParameterMatch findParameter(const std::vector<ParameterEntry>& params, std::string_view name) {
    ParameterMatch match;
    const std::string wanted = normalizeName(name);
    if (wanted.empty()) {
        return match;
    }
    if (allDigits(wanted)) {
        std::string_view digits = wanted;
        while (digits.size() > 1 && digits.front() == '0') {
            digits.remove_prefix(1);
        }
        for (std::size_t i = 0; i < params.size(); ++i) {
            if (std::to_string(params[i].id) == digits) {
                match.kind = ParameterMatch::Kind::Found;
                match.index = i;
                return match;
            }
        }
        return match;
    }
    std::vector<std::size_t> prefixed;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string title = normalizeName(params[i].title);
        if (title == wanted) {
            match.kind = ParameterMatch::Kind::Found;
            match.index = i;
            return match;
        }
        if (startsWith(title, wanted)) {
            prefixed.push_back(i);
        }
    }
    if (prefixed.size() == 1) {
        match.kind = ParameterMatch::Kind::Found;
        match.index = prefixed.front();
        return match;
    }
    if (prefixed.size() > 1) {
        match.kind = ParameterMatch::Kind::Ambiguous;
        for (std::size_t i : prefixed) {
            match.candidates.push_back(params[i].title);
        }
        return match;
    }
    match.candidates = nearestTitles(params, name);
    return match;
}

std::vector<std::string> nearestTitles(const std::vector<ParameterEntry>& params,
                                       std::string_view name, std::size_t limit) {
    const std::string wanted = normalizeName(name);
    if (wanted.empty()) {
        return {};
    }
    // Short names leave little room for typing errors before anything matches.
    const std::size_t allowed = wanted.size() <= 4 ? 1 : wanted.size() <= 8 ? 2 : 3;
    struct Scored {
        std::size_t distance;
        std::size_t index;
    };
    std::vector<Scored> scored;
    for (std::size_t i = 0; i < params.size(); ++i) {
        const std::string title = normalizeName(params[i].title);
        std::size_t d = editDistance(wanted, title);
        if (title.size() > wanted.size()) {
            d = std::min(d, editDistance(wanted, std::string_view(title).substr(0, wanted.size())));
        }
        const std::size_t colon = title.find(':');
        if (colon != std::string::npos) {
            d = std::min(d, editDistance(wanted, std::string_view(title).substr(0, colon)));
        }
        if (d <= allowed) {
            scored.push_back({d, i});
        }
    }
    std::stable_sort(scored.begin(), scored.end(),
                     [](const Scored& a, const Scored& b) { return a.distance < b.distance; });
    std::vector<std::string> out;
    for (const Scored& s : scored) {
        if (out.size() == limit) {
            break;
        }
        out.push_back(params[s.index].title);
    }
    return out;
}

std::string describeMismatch(const ParameterMatch& match, std::string_view name) {
    std::string list;
    for (const std::string& c : match.candidates) {
        list += list.empty() ? "" : ", ";
        list += "'" + c + "'";
    }
    if (match.kind == ParameterMatch::Kind::Ambiguous) {
        return "parameter name '" + std::string(name) + "' is ambiguous: " + list;
    }
    std::string text = "unknown parameter '" + std::string(name) + "'";
    if (!list.empty()) {
        text += " (did you mean " + list + "?)";
    } else {
        text += " (--list-params shows them all)";
    }
    return text;
}

std::vector<std::string> switchWords(std::string_view title) {
    const std::size_t colon = title.find(':');
    if (colon == std::string_view::npos) {
        return {};
    }
    const std::string_view states = title.substr(colon + 1);
    const std::size_t slash = states.find('/');
    if (slash == std::string_view::npos || states.find('/', slash + 1) != std::string_view::npos) {
        return {};
    }
    const std::string first(trim(states.substr(0, slash)));
    const std::string second(trim(states.substr(slash + 1)));
    if (first.empty() || second.empty()) {
        return {};
    }
    return {first, second};
}

std::optional<double> switchValueFromWord(std::string_view title, std::string_view text) {
    const std::string word = normalizeName(text);
    if (word.empty()) {
        return std::nullopt;
    }
    if (word == "on" || word == "true" || word == "yes") {
        return 1.0;
    }
    if (word == "off" || word == "false" || word == "no") {
        return 0.0;
    }
    const std::vector<std::string> words = switchWords(title);
    if (words.size() != 2) {
        return std::nullopt;
    }
    const std::string first = normalizeName(words[0]);
    const std::string second = normalizeName(words[1]);
    if (word == first) {
        return 0.0;
    }
    if (word == second) {
        return 1.0;
    }
    const bool a = startsWith(first, word);
    const bool b = startsWith(second, word);
    if (a != b) {
        return a ? 0.0 : 1.0;
    }
    return std::nullopt;
}

} // namespace velmora::host
