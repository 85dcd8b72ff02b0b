# Draws the editor's images at build time and compiles them into a target, so
# the plug-in carries them wherever its file is copied.
#
#   velmora_embed_editor_images(<target>)
#
# adds the generated source that holds every image of editor-images.txt to
# <target> and sets VELMORA_EDITOR_IMAGE_DIR to the folder the PNG files are
# drawn into (for tests and for looking at them).

set(VELMORA_EDITOR_IMAGE_LIST "${CMAKE_CURRENT_LIST_DIR}/editor-images.txt")
set(VELMORA_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/EmbedImages.cmake")

function(velmora_read_editor_image_names out)
    file(STRINGS "${VELMORA_EDITOR_IMAGE_LIST}" lines)
    set(names "")
    foreach(line IN LISTS lines)
        string(STRIP "${line}" line)
        if(line AND NOT line MATCHES "^#")
            list(APPEND names "${line}")
        endif()
    endforeach()
    set(${out} "${names}" PARENT_SCOPE)
endfunction()

function(velmora_embed_editor_images target)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${VELMORA_EDITOR_IMAGE_LIST}")
    velmora_read_editor_image_names(names)

    set(image_dir "${CMAKE_CURRENT_BINARY_DIR}/images")
    set(pngs "")
    foreach(name IN LISTS names)
        list(APPEND pngs "${image_dir}/${name}")
    endforeach()
    add_custom_command(
        OUTPUT ${pngs}
        COMMAND velmora-draw-images --version "${PROJECT_VERSION}" --out-dir "${image_dir}" ${names}
        DEPENDS velmora-draw-images "${VELMORA_EDITOR_IMAGE_LIST}"
        COMMENT "Drawing the editor's images"
        VERBATIM)

    set(source "${CMAKE_CURRENT_BINARY_DIR}/EditorImageData.cpp")
    add_custom_command(
        OUTPUT "${source}"
        COMMAND "${CMAKE_COMMAND}" "-DLIST=${VELMORA_EDITOR_IMAGE_LIST}" "-DIMAGE_DIR=${image_dir}"
                "-DOUTPUT=${source}" -P "${VELMORA_EMBED_SCRIPT}"
        DEPENDS ${pngs} "${VELMORA_EDITOR_IMAGE_LIST}" "${VELMORA_EMBED_SCRIPT}"
        COMMENT "Embedding the editor's images"
        VERBATIM)
    target_sources(${target} PRIVATE "${source}")
    set(VELMORA_EDITOR_IMAGE_DIR "${image_dir}" CACHE INTERNAL "")
endfunction()
