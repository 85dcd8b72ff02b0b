// The editor's images, carried inside the plug-in library so that a plug-in
// file copied on its own (a VST 2 host loads the same .so) still has them.
#pragma once

#include <span>
#include <string_view>

namespace velmora {

// One image as the module stores it: under the upper-case form of its file
// name ("BACKGROUND.PNG"), holding the PNG file's bytes.
struct EditorResource {
    std::string_view name;
    std::span<const unsigned char> data;
};

// Every image the library carries (generated at build time).
std::span<const EditorResource> editorResources() noexcept;

// The PNG bytes of the image the editor calls `fileName` ("background.png");
// letter case does not matter, as with module resources. Empty when the
// library carries no such image.
std::span<const unsigned char> findEditorResource(std::string_view fileName) noexcept;

} // namespace velmora
