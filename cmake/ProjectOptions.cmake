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
