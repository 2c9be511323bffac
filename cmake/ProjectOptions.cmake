# Compiler settings shared by every target this project builds itself. They
# are PRIVATE: none of them reaches a project that uses the installed model.
#
# Floating-point contraction is off so that no fused multiply-add changes a
# result from one CPU to another.
function(mech_heat_apply_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow
    -ffp-contract=off)
  if(MECH_HEAT_WARNINGS_AS_ERRORS)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# Release builds with GCC link the program with link-time optimisation, so
# that a batch's turn loop inlines the model's silent steps across libraries.
option(MECH_HEAT_LTO "Link-time optimisation of Release builds with GCC" ON)
if(MECH_HEAT_LTO AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  include(CheckIPOSupported)
  check_ipo_supported(RESULT mech_heat_lto_supported LANGUAGES CXX)
endif()

function(mech_heat_enable_lto target)
  if(mech_heat_lto_supported)
    set_property(TARGET ${target} PROPERTY INTERPROCEDURAL_OPTIMIZATION_RELEASE ON)
  endif()
endfunction()

# An installed library: the project's options, link-time optimisation inside
# the project, and ordinary machine code beside the LTO data (fat objects),
# so that the installed archive links with any compiler, with or without LTO.
function(mech_heat_library_options target)
  mech_heat_apply_options(${target})
  mech_heat_enable_lto(${target})
  if(mech_heat_lto_supported)
    target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-ffat-lto-objects>)
  endif()
endfunction()
