# Writes the stand-in host's export table: every service the plug-in calls
# (plugin/hostlink/services.list, its first column) and the host's own exports
# (host/exports.list):
#   cmake -DSERVICES=<services.list> -DLIST=<exports.list> -DDEF=<torval.def> -DREGISTRY=<exports.cpp>
#         -P generate_exports.cmake
# A service is exported as torval_<number>, its entry in host/neighbours.cpp,
# made for every prototype of abi/host_services.h (which the plug-in's build
# holds to services.list); a listed service the host does not define
# (torval_service_<number>) fails the link. exports.list holds what is not a
# service: a number of services.list there fails the build, so that each
# service is listed once.
# DEF: the module definition for the Windows DLL (every export NONAME).
# REGISTRY: the same table as data, for the native build's GetProcAddress.
include(${CMAKE_CURRENT_LIST_DIR}/list_lines.cmake)
set(ordinals "")

# services.list: "number bytes ..." (only the first two columns are read here;
# generate_thunks.cmake refuses a number listed twice).
q7_list_lines("${SERVICES}" lines)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[ \t]*([0-9]+)[ \t]+([0-9]+|caller)([ \t]|$)")
    message(FATAL_ERROR "${SERVICES}: cannot read the line \"${line}\" (a service number, then its bytes)")
  endif()
  set(ordinal ${CMAKE_MATCH_1})
  set(service_${ordinal} 1)
  list(APPEND ordinals ${ordinal})
  set(symbol_${ordinal} torval_${ordinal})
endforeach()

# exports.list: "ordinal [symbol]", the symbol torval_<ordinal> when none is given.
q7_list_lines("${LIST}" lines)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "^[ \t]*([0-9]+)([ \t]+([A-Za-z_][A-Za-z0-9_]*))?[ \t]*$")
    message(FATAL_ERROR "${LIST}: cannot read the line \"${line}\"")
  endif()
  set(ordinal ${CMAKE_MATCH_1})
  if(DEFINED service_${ordinal})
    message(FATAL_ERROR "${LIST}: ${ordinal} is a service of ${SERVICES}, exported from there; "
                        "list here only what is not a service")
  endif()
  if(DEFINED symbol_${ordinal})
    message(FATAL_ERROR "${LIST}: ${ordinal} is listed twice")
  endif()
  list(APPEND ordinals ${ordinal})
  set(symbol_${ordinal} ${CMAKE_MATCH_3})
  if("${symbol_${ordinal}}" STREQUAL "")
    set(symbol_${ordinal} torval_${ordinal})
  endif()
endforeach()

set(def "; Generated from ${SERVICES} and ${LIST}; do not edit.\nLIBRARY TORVAL.dll\nEXPORTS\n")
set(declarations "")
set(entries "")
foreach(ordinal IN LISTS ordinals)
  set(symbol ${symbol_${ordinal}})
  string(APPEND def "  ${symbol} @${ordinal} NONAME\n")
  string(APPEND declarations "extern \"C\" void export_${ordinal}() Q7_SYMBOL(\"${symbol}\");\n")
  string(APPEND entries "    {${ordinal}, reinterpret_cast<void*>(&export_${ordinal})},\n")
endforeach()
set(registry "// Generated from ${SERVICES} and ${LIST}; do not edit.\n#include \"host/exports.h\"\n\n${declarations}\nconst torval::host_export torval::host_exports[] = {\n${entries}};\nconst std::size_t torval::host_export_count = sizeof host_exports / sizeof host_exports[0];\n")
foreach(pair "DEF;def" "REGISTRY;registry")
  list(GET pair 0 path_var)
  list(GET pair 1 text_var)
  if(DEFINED ${path_var})
    file(WRITE "${${path_var}}.tmp" "${${text_var}}")
    file(COPY_FILE "${${path_var}}.tmp" "${${path_var}}" ONLY_IF_DIFFERENT)
  endif()
endforeach()
