// The stand-in host program: runs a session script against the plug-in.
#include "abi/machine.h"

extern "C" int Q7_CDECL torval_run_session(int argc, char** argv) Q7_SYMBOL("torval_run_session");

int main(int argc, char** argv) { return torval_run_session(argc, argv); }
