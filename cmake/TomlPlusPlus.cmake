# toml++ (Debian package libtomlplusplus-dev), which reads rules files in one
# source of the options library: header-only and without exceptions, so that
# the same code builds for the web page (-fno-exceptions) and for Windows.
#
# Debian's CMake package of it links its shared library instead, so the
# header is found here and made the target mech_heat_tomlplusplus. Being
# headers alone, the build machine's serve every target; a cross build gets
# a folder of the build tree that holds only toml++, never all of the build
# machine's /usr/include, whose C headers would take the place of MinGW's.
find_path(MECH_HEAT_TOMLPLUSPLUS_INCLUDE_DIR toml++/toml.h
  PATHS /usr/include /usr/local/include
  NO_CMAKE_FIND_ROOT_PATH
  DOC "The folder that holds toml++/toml.h")
if(NOT MECH_HEAT_TOMLPLUSPLUS_INCLUDE_DIR)
  message(FATAL_ERROR "toml++ not found: install libtomlplusplus-dev")
endif()

set(mech_heat_toml_dir ${PROJECT_BINARY_DIR}/tomlplusplus)
file(MAKE_DIRECTORY ${mech_heat_toml_dir})
file(CREATE_LINK ${MECH_HEAT_TOMLPLUSPLUS_INCLUDE_DIR}/toml++ ${mech_heat_toml_dir}/toml++
  SYMBOLIC COPY_ON_ERROR)

add_library(mech_heat_tomlplusplus INTERFACE IMPORTED)
# An imported target's folders are system ones: toml++'s own warnings stay out.
set_target_properties(mech_heat_tomlplusplus PROPERTIES
  INTERFACE_INCLUDE_DIRECTORIES ${mech_heat_toml_dir}
  INTERFACE_COMPILE_DEFINITIONS
    "TOML_HEADER_ONLY=1;TOML_EXCEPTIONS=0;TOML_ENABLE_FORMATTERS=0;TOML_ENABLE_WINDOWS_COMPAT=0")
