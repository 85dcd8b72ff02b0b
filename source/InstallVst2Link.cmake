# Install step: a link _velmora_vst2_dir/<library name> to the installed
# bundle library _velmora_so. Relative, so that it still resolves when both
# move together (DESTDIR, a package's staging folder, the package unpacked).
get_filename_component(_velmora_so_name "${_velmora_so}" NAME)
file(RELATIVE_PATH _velmora_target "${_velmora_vst2_dir}" "${_velmora_so}")
set(_velmora_link "$ENV{DESTDIR}${_velmora_vst2_dir}/${_velmora_so_name}")
message(STATUS "Installing: ${_velmora_link} -> ${_velmora_target}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${_velmora_vst2_dir}")
file(REMOVE "${_velmora_link}")
file(CREATE_LINK "${_velmora_target}" "${_velmora_link}" SYMBOLIC)
