# WebAssembly for the web page: clang 19 with Debian's WASI sysroot
# (clang-19, lld-19, libc++-19-dev-wasm32, libc++abi-19-dev-wasm32,
# libclang-rt-19-dev-wasm32, wasi-libc). A reactor module: no main, the page
# calls its exported functions. Without exceptions: the page checks its input
# with the command-line parser before anything can refuse it.
set(CMAKE_SYSTEM_NAME Generic)  # CMake 3.25 has no WASI platform
set(CMAKE_SYSTEM_PROCESSOR wasm32)
set(WASI TRUE)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)
set(CMAKE_AR llvm-ar-19 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-19 CACHE FILEPATH "")
set(WASI_SYSROOT /usr CACHE PATH "Root holding include/wasm32-wasi and lib/wasm32-wasi")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES WASI_SYSROOT)
# --sysroot in the flags rather than CMAKE_SYSROOT, which would re-root every
# find_package onto /usr.
set(CMAKE_C_FLAGS_INIT "--sysroot=${WASI_SYSROOT}")
set(CMAKE_CXX_FLAGS_INIT "--sysroot=${WASI_SYSROOT} -fno-exceptions")
set(CMAKE_EXE_LINKER_FLAGS_INIT
  "-mexec-model=reactor -Wl,-z,stack-size=1048576 -Wl,--stack-first -Wl,--strip-all")
set(CMAKE_FIND_ROOT_PATH ${WASI_SYSROOT}/lib/wasm32-wasi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
