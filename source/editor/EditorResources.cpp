#include "editor/EditorResources.h"

#include <algorithm>

namespace velmora {

namespace {

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Compared without the C library's toupper, which depends on the host's
// locale: a Turkish locale would not turn "i" into "I".
bool sameUpperCase(std::string_view fileName, std::string_view resourceName) {
    return fileName.size() == resourceName.size() &&
           std::equal(fileName.begin(), fileName.end(), resourceName.begin(),
                      [](char a, char b) { return upper(a) == upper(b); });
}

} // namespace

std::span<const unsigned char> findEditorResource(std::string_view fileName) noexcept {
    for (const EditorResource& resource : editorResources()) {
        if (sameUpperCase(fileName, resource.name)) {
            return resource.data;
        }
    }
    return {};
}

} // namespace velmora
