# Writes a binding thunk table (assembly) from a list of services, and with
# HEADER also the list as a C++ X-macro, Q7_LISTED_SERVICES(X), each entry
# X(number, bytes, calls_back, name, "what it does"). Run at build time:
#   cmake -DLIST=<services.list> -DOUTPUT=<file.S> [-DHEADER=<file.h>] -DPREFIX=svc_ -DTABLE=<name>
#         -P generate_thunks.cmake
# Each listed line "number bytes back name what" becomes one THUNK entry whose
# public name is <PREFIX><number>, with its calling entry <PREFIX><number>_call;
# a number is listed once. The entry records
# lie back to back from the symbol TABLE on; TABLE_count holds their number.
# Bytes "caller" are -1.
include(${CMAKE_CURRENT_LIST_DIR}/list_lines.cmake)
q7_list_lines("${LIST}" lines)
set(body "/* Generated from ${LIST}; do not edit. */\n#include \"thunk_macros.S\"\n")
string(APPEND body "        .data\n        .balign 4\n        .globl SYM(${TABLE})\nSYM(${TABLE}):\n")
set(index 0)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[ \t]*([0-9]+)[ \t]+([0-9]+|caller)[ \t]+(yes|no)[ \t]+([a-z_0-9]+)[ \t]+([^\"\\]*)$")
    message(FATAL_ERROR "${LIST}: cannot read the line \"${line}\" (number bytes back name what)")
  endif()
  set(number ${CMAKE_MATCH_1})
  set(bytes ${CMAKE_MATCH_2})
  set(calls_back ${CMAKE_MATCH_3})
  set(service_name ${CMAKE_MATCH_4})
  string(STRIP "${CMAKE_MATCH_5}" what)
  if(bytes STREQUAL "caller")
    set(bytes -1)
  endif()
  set(name ${PREFIX}${number})
  if(DEFINED seen_${number})
    message(FATAL_ERROR "${LIST}: service ${number} is listed twice")
  endif()
  set(seen_${number} 1)
  if(calls_back STREQUAL "yes")
    set(calls_back true)
    set(back_flag 1)
  else()
    set(calls_back false)
    set(back_flag 0)
  endif()
  string(APPEND body "THUNK ${index}, ${number}, ${bytes}, SYM(${name}), ${back_flag}, SYM(${name}_call)\n")
  string(APPEND listed " \\\n  X(${number}, ${bytes}, ${calls_back}, ${service_name}, \"${what}\")")
  math(EXPR index "${index} + 1")
endforeach()
string(APPEND body "        .data\n        .globl SYM(${TABLE}_count)\nSYM(${TABLE}_count):\n        .long ${index}\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
if(HEADER)
  file(WRITE "${HEADER}.tmp" "// Generated from ${LIST}; do not edit.\n#pragma once\n#define Q7_LISTED_SERVICES(X)${listed}\n")
  file(COPY_FILE "${HEADER}.tmp" "${HEADER}" ONLY_IF_DIFFERENT)
endif()
