# What `cmake --install` puts where, in two components: `program` (the
# executable, its man page and licence) and `development` (the libraries'
# static archives, headers and CMake package: mech-heat::heat, the model;
# mech-heat::simulation, turns, runs and batches; mech-heat::reports, their
# summaries).
include(CMakePackageConfigHelpers)

if(WIN32)
  # The Windows zip: the executable, the README and the licence side by side.
  install(TARGETS mech-heat RUNTIME DESTINATION . COMPONENT program)
  install(FILES README.md LICENSE DESTINATION . COMPONENT program)
else()
  install(TARGETS mech-heat RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/mech-heat
    RENAME copyright COMPONENT program)
  install(FILES LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libmech-heat-dev
    RENAME copyright COMPONENT development)
endif()

set(package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/mech-heat)
install(TARGETS heat simulation reports EXPORT mech-heat-targets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT development)
install(EXPORT mech-heat-targets NAMESPACE mech-heat:: DESTINATION ${package_dir}
  COMPONENT development)
configure_package_config_file(cmake/mech-heat-config.cmake.in
  ${PROJECT_BINARY_DIR}/mech-heat-config.cmake INSTALL_DESTINATION ${package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/mech-heat-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/mech-heat-config.cmake
  ${PROJECT_BINARY_DIR}/mech-heat-config-version.cmake
  DESTINATION ${package_dir} COMPONENT development)

# --- The web page (begin) ---
# The page the preset web builds, when given: beside the program, in
# share/mech-heat on Debian, in the zip on Windows. Off by default, so that
# the program builds and installs without the WebAssembly toolchain.
set(MECH_HEAT_WEB_PAGE "" CACHE FILEPATH
  "The built web page to install with the program (build/web/web/mech-heat.html), or empty")
if(MECH_HEAT_WEB_PAGE)
  if(WIN32)
    install(FILES ${MECH_HEAT_WEB_PAGE} DESTINATION . COMPONENT program)
  else()
    install(FILES ${MECH_HEAT_WEB_PAGE} DESTINATION ${CMAKE_INSTALL_DATADIR}/mech-heat
      COMPONENT program)
  endif()
endif()
# --- The web page (end) ---
