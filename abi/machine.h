// The machine-level conventions of the host boundary: 32-bit x86, the three
// calling conventions the host uses, and how a C name becomes a symbol.
// This is the one place that knows i386 Windows puts '_' before a symbol.
#pragma once

static_assert(sizeof(void*) == 4, "the host boundary is 32-bit x86");

#define Q7_STDCALL __attribute__((stdcall))
#define Q7_CDECL __attribute__((cdecl))
#define Q7_FASTCALL __attribute__((fastcall))

#define Q7_STRINGIFY2(x) #x
#define Q7_STRINGIFY(x) Q7_STRINGIFY2(x)
// Binds a declaration to an exact, undecorated symbol (no @N suffix).
#define Q7_SYMBOL(name) __asm__(Q7_STRINGIFY(__USER_LABEL_PREFIX__) name)

// The symbol of a __stdcall function as the platform's import libraries name
// it: "_name@bytes" on Windows, "name" elsewhere.
#ifdef _WIN32
#define Q7_STDCALL_SYMBOL(name, bytes) Q7_SYMBOL(name "@" #bytes)
#else
#define Q7_STDCALL_SYMBOL(name, bytes) Q7_SYMBOL(name)
#endif
