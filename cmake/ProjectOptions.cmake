# Compiler settings shared by every target this project builds itself.
#
# Warnings are errors, and floating-point contraction is off so that no fused
# multiply-add changes a result from one CPU to another.
function(mech_heat_apply_options target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror
    -ffp-contract=off)
endfunction()
