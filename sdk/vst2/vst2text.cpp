#include "sdk/vst2/vst2text.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace vst2 {
namespace {

bool isContinuation(unsigned char c) {
    return (c & 0xc0) == 0x80;
}

// The longest prefix of at most maxBytes bytes that ends on a whole character.
std::string_view cutUtf8(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return text;
    }
    std::size_t n = maxBytes;
    while (n > 0 && isContinuation(static_cast<unsigned char>(text[n]))) {
        --n;
    }
    return text.substr(0, n);
}

bool isWordChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u >= 0x80 || (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDroppableVowel(char c) {
    return c == 'a' || c == 'e' || c == 'i' || c == 'o' || c == 'u';
}

// Numbers and acronyms carry the meaning that tells parameters apart; they
// are shortened only when nothing else is left to shorten.
bool isProtected(const std::string& word) {
    return std::none_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

} // namespace

void copyText(char* out, int maxBytes, std::string_view text) {
    if (out == nullptr || maxBytes < 0) {
        return;
    }
    const std::string_view fitted = cutUtf8(text, static_cast<std::size_t>(maxBytes));
    std::memcpy(out, fitted.data(), fitted.size());
    out[fitted.size()] = 0;
}

std::string abbreviate(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    // What follows a colon details the values ("Gate Mode: Standard/Duck");
    // the name is what comes before it.
    if (const auto colon = text.find(':'); colon != std::string_view::npos && colon > 0) {
        text = text.substr(0, colon);
    }
    std::vector<std::string> words;
    for (std::size_t i = 0; i < text.size();) {
        if (!isWordChar(text[i])) {
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < text.size() && isWordChar(text[j])) {
            ++j;
        }
        std::string word(text.substr(i, j - i));
        // Words run together, so each starts with a capital to stay legible.
        if (word[0] >= 'a' && word[0] <= 'z') {
            word[0] = static_cast<char>(word[0] - 'a' + 'A');
        }
        words.push_back(std::move(word));
        i = j;
    }
    auto total = [&] {
        std::size_t n = 0;
        for (const auto& w : words) {
            n += w.size();
        }
        return n;
    };
    while (total() > maxBytes) {
        // The longest word gives up a character: a vowel inside it if it has
        // one, else its last one. Ties go to the leftmost word, since the
        // words at the end usually tell similar names apart.
        std::string* longest = nullptr;
        for (auto& w : words) {
            if (!isProtected(w) && w.size() > 1 && (!longest || w.size() > longest->size())) {
                longest = &w;
            }
        }
        if (longest == nullptr) {
            break;
        }
        std::size_t vowel = std::string::npos;
        for (std::size_t k = longest->size(); k-- > 1;) {
            if (isDroppableVowel((*longest)[k])) {
                vowel = k;
                break;
            }
        }
        longest->erase(vowel != std::string::npos ? vowel : longest->size() - 1, 1);
    }
    std::string joined;
    for (const auto& w : words) {
        joined += w;
    }
    return std::string(cutUtf8(joined, maxBytes));
}

std::string compactDisplay(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) {
        return std::string(text);
    }
    std::string compact;
    for (const char c : text) {
        if (c != ' ') {
            compact += c;
        }
    }
    return std::string(cutUtf8(compact, maxBytes));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace vst2
