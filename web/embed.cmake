# cmake -DMODULE=m.wasm -DSIMD_MODULE=s.wasm -DTEMPLATE=page.html.in
#       -DWORKER=worker.js -DVERSION=v -DOUTPUT=page.html -P embed.cmake
# Writes the page: the template with @WORKER_JS@, @VERSION@, @MODULE_BASE64@
# and @SIMD_MODULE_GZIP_BASE64@ replaced by the worker's script, the version,
# the module in base64 and the SIMD module gzipped in base64, with CMake
# alone.
cmake_minimum_required(VERSION 3.25)
set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")

# The base64 of a file's bytes, in `variable`. Three hex digits are 12 bits,
# two base64 characters: a table of all 4096 makes each step one lookup.
foreach(value RANGE 4095)
  math(EXPR high "${value} >> 6")
  math(EXPR low "${value} & 63")
  string(SUBSTRING "${alphabet}" ${high} 1 first)
  string(SUBSTRING "${alphabet}" ${low} 1 second)
  math(EXPR digits "${value} + 4096" OUTPUT_FORMAT HEXADECIMAL)  # 0x1abc
  string(SUBSTRING "${digits}" 3 3 digits)
  string(TOLOWER "${digits}" digits)
  set(base64_${digits} "${first}${second}")
endforeach()

function(base64_of hex variable)
  string(LENGTH "${hex}" hex_length)
  math(EXPR tail_length "${hex_length} % 6")
  math(EXPR body_length "${hex_length} - ${tail_length}")
  string(SUBSTRING "${hex}" ${body_length} -1 tail)
  string(SUBSTRING "${hex}" 0 ${body_length} hex)
  string(REGEX MATCHALL "..." groups "${hex}")
  set(base64 "")
  foreach(group IN LISTS groups)
    string(APPEND base64 "${base64_${group}}")
  endforeach()
  # One or two bytes left: padded with zero bits, then with '='.
  if(tail_length EQUAL 2)
    string(SUBSTRING "${base64_${tail}0}" 0 2 last)
    string(APPEND base64 "${last}==")
  elseif(tail_length EQUAL 4)
    string(SUBSTRING "${tail}" 0 3 group)
    string(SUBSTRING "${tail}" 3 1 rest)
    string(SUBSTRING "${base64_${rest}00}" 0 1 last)
    string(APPEND base64 "${base64_${group}}${last}=")
  endif()
  set(${variable} "${base64}" PARENT_SCOPE)
endfunction()

file(READ "${MODULE}" hex HEX)  # two lowercase hex digits a byte
base64_of("${hex}" module_base64)

# The SIMD module gzipped, its time stamp (bytes 4 to 7) zero, so that the
# page is the same for the same module.
get_filename_component(packed "${OUTPUT}.simd.wasm.gz" ABSOLUTE)
file(ARCHIVE_CREATE OUTPUT "${packed}" PATHS "${SIMD_MODULE}" FORMAT raw COMPRESSION GZip
  COMPRESSION_LEVEL 9)
file(READ "${packed}" hex HEX)
file(REMOVE "${packed}")
string(SUBSTRING "${hex}" 0 8 start)
string(SUBSTRING "${hex}" 16 -1 rest)
base64_of("${start}00000000${rest}" simd_base64)

file(READ "${TEMPLATE}" html)
file(READ "${WORKER}" worker)
if(worker MATCHES "</script")
  message(FATAL_ERROR "${WORKER} may not contain </script: it is embedded in a script element")
endif()
string(REPLACE "@WORKER_JS@" "${worker}" html "${html}")
string(REPLACE "@VERSION@" "${VERSION}" html "${html}")
string(REPLACE "@MODULE_BASE64@" "${module_base64}" html "${html}")
string(REPLACE "@SIMD_MODULE_GZIP_BASE64@" "${simd_base64}" html "${html}")
file(WRITE "${OUTPUT}" "${html}")
