# Writes a binding thunk table (assembly) from a list of service numbers.
# Run at build time:
#   cmake -DLIST=<services.list> -DOUTPUT=<file.S> -DPREFIX=svc_ -DTABLE=<name> -P generate_thunks.cmake
# Each listed line "number bytes what" becomes one THUNK entry whose public
# name is <PREFIX><number>; a number listed again gets <PREFIX><number>_<k>.
# The entry records lie back to back from the symbol TABLE on; TABLE_count
# holds their number.
file(STRINGS "${LIST}" lines)
set(body "/* Generated from ${LIST}; do not edit. */\n#include \"thunk_macros.S\"\n")
string(APPEND body "        .data\n        .balign 4\n        .globl SYM(${TABLE})\nSYM(${TABLE}):\n")
set(index 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]*(#|$)")
    continue()
  endif()
  if(NOT line MATCHES "^[ \t]*([0-9]+)[ \t]+([0-9]+|caller)([ \t].*)?$")
    message(FATAL_ERROR "${LIST}: cannot read the line \"${line}\"")
  endif()
  set(number ${CMAKE_MATCH_1})
  set(bytes ${CMAKE_MATCH_2})
  if(bytes STREQUAL "caller")
    set(bytes -1)
  endif()
  set(name ${PREFIX}${number})
  if(DEFINED seen_${number})
    math(EXPR seen_${number} "${seen_${number}} + 1")
    set(name ${name}_${seen_${number}})
  else()
    set(seen_${number} 1)
  endif()
  string(APPEND body "THUNK ${index}, ${number}, ${bytes}, SYM(${name})\n")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "        .data\n        .globl SYM(${TABLE}_count)\nSYM(${TABLE}_count):\n        .long ${index}\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
