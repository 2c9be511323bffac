# cmake -DMODULE=m.wasm -DTEMPLATE=page.html.in -DWORKER=worker.js -DVERSION=v
#       -DOUTPUT=page.html -P embed.cmake
# Writes the page: the template with @WORKER_JS@, @VERSION@ and @MODULE_BASE64@
# replaced by the worker's script, the version and the module in base64,
# with CMake alone.
cmake_minimum_required(VERSION 3.25)
set(alphabet "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")

file(READ "${MODULE}" hex HEX)  # two lowercase hex digits a byte
string(LENGTH "${hex}" hex_length)
math(EXPR tail_length "${hex_length} % 6")
math(EXPR body_length "${hex_length} - ${tail_length}")
string(SUBSTRING "${hex}" ${body_length} -1 tail)
string(SUBSTRING "${hex}" 0 ${body_length} hex)

# Three hex digits are 12 bits, two base64 characters: a table of all 4096
# makes each step one lookup.
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

file(READ "${TEMPLATE}" html)
file(READ "${WORKER}" worker)
if(worker MATCHES "</script")
  message(FATAL_ERROR "${WORKER} may not contain </script: it is embedded in a script element")
endif()
string(REPLACE "@WORKER_JS@" "${worker}" html "${html}")
string(REPLACE "@VERSION@" "${VERSION}" html "${html}")
string(REPLACE "@MODULE_BASE64@" "${base64}" html "${html}")
file(WRITE "${OUTPUT}" "${html}")
