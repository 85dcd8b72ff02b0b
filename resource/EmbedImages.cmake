# Writes a C++ source holding the PNG files of the image list as byte arrays
# and the table the editor looks them up in. Run by EditorImages.cmake:
#   cmake -DLIST=editor-images.txt -DIMAGE_DIR=dir -DOUTPUT=file.cpp -P EmbedImages.cmake

include("${CMAKE_CURRENT_LIST_DIR}/EditorImages.cmake")
set(VELMORA_EDITOR_IMAGE_LIST "${LIST}")
velmora_read_editor_image_names(names)

set(arrays "")
set(entries "")
set(index 0)
foreach(name IN LISTS names)
    file(READ "${IMAGE_DIR}/${name}" hex HEX)
    string(LENGTH "${hex}" digits)
    if(digits EQUAL 0)
        message(FATAL_ERROR "${IMAGE_DIR}/${name} is empty")
    endif()
    math(EXPR bytes "${digits} / 2")
    # 24 bytes a line.
    string(REGEX REPLACE "([0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f][0-9a-f])"
           "\\1\n" hex "${hex}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
    string(TOUPPER "${name}" resource)
    string(APPEND arrays "// ${name}, ${bytes} bytes\nconstexpr unsigned char kImage${index}[] = {\n${hex}};\n\n")
    string(APPEND entries "    EditorResource{\"${resource}\", {kImage${index}, sizeof kImage${index}}},\n")
    math(EXPR index "${index} + 1")
endforeach()

set(content "// Generated from resource/editor-images.txt and the images drawn at build time.
#include \"editor/EditorResources.h\"

namespace velmora {

namespace {

${arrays}constexpr EditorResource kResources[] = {
${entries}};

} // namespace

std::span<const EditorResource> editorResources() noexcept { return kResources; }

} // namespace velmora
")

# Left alone when nothing changed, so the library is not rebuilt for nothing.
set(partial "${OUTPUT}.partial")
file(WRITE "${partial}" "${content}")
file(COPY_FILE "${partial}" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${partial}")
