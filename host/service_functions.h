// The stand-in host's service functions, torval_<number>, declared from the
// one list of prototypes (abi/host_services.h) and exported by the numbers of
// host/exports.list.
#pragma once

#include "abi/host_services.h"

#define TORVAL_DECLARE(number, convention, result, parameters) \
  extern "C" result convention torval_##number parameters Q7_SYMBOL("torval_" #number);
Q7_HOST_SERVICES(TORVAL_DECLARE)
Q7_HOST_FIXED_EXPORTS(TORVAL_DECLARE)
#undef TORVAL_DECLARE
