# Packages made by CPack: `cpack -G DEB` from a Release build makes
# mech-heat_<version>_amd64.deb (the program) and
# libmech-heat-dev_<version>_amd64.deb (the libraries for C++ projects);
# `cpack -G ZIP` from the Windows build makes mech-heat-<version>-win64.zip.
set(CPACK_PACKAGE_NAME mech-heat)
set(CPACK_PACKAGE_VENDOR "mech-heat developers")
set(CPACK_PACKAGE_CONTACT "mech-heat developers <mech-heat@example.org>")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME mech-heat)
# The packages' summary is the project's description; these follow it.
set(CPACK_DEBIAN_PROGRAM_DESCRIPTION
  "mech-heat simulates the heat budget of one mech (heatsinks, a coolant tank
and a heat level, in one of five environments that scale its cooling) over
random turns and narrates every event and cooling update, between a status
report before the first turn and one after the last. Runs can be replayed
with a seed and the mech configured; a batch of many silent runs tells how
likely the mech is to overheat, as a table or as JSON.")
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libmech-heat-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION
  "The libraries of mech-heat for C++ programs: the heat model, the turns,
narrated runs and batches played with it, and their summaries as text and
JSON; static C++20 libraries, their headers and a CMake package.
find_package(mech-heat CONFIG REQUIRED), then link mech-heat::heat,
mech-heat::simulation or mech-heat::reports.")

if(WIN32)
  # The program alone, in one archive.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_COMPONENTS_ALL program)
  set(CPACK_COMPONENT_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
endif()
# The man page goes into the package compressed, as Debian has it.
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/CompressManPages.cmake)

include(CPack)
