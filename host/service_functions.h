// The stand-in host's service functions, declared from the one list of
// prototypes (abi/host_services.h): written as torval_<number>, their symbol
// is torval_service_<number>. The export of each, torval_<number>, is its
// entry (host/neighbours.cpp), by the numbers of plugin/hostlink/services.list;
// the translator and the delay-load hook (host/exports.list) are exported as
// they are.
#pragma once

#include "abi/host_services.h"

#define TORVAL_DECLARE_SERVICE(number, convention, result, parameters) \
  extern "C" result convention torval_##number parameters Q7_SYMBOL("torval_service_" #number);
#define TORVAL_DECLARE(number, convention, result, parameters) \
  extern "C" result convention torval_##number parameters Q7_SYMBOL("torval_" #number);
Q7_HOST_SERVICES(TORVAL_DECLARE_SERVICE)
Q7_HOST_FIXED_EXPORTS(TORVAL_DECLARE)
#undef TORVAL_DECLARE_SERVICE
#undef TORVAL_DECLARE
