/* Binding thunks: one entry per host service, bound by number on its first
   call. Included by the generated thunk table; the symbol prefix of the
   platform comes from the C preprocessor (__USER_LABEL_PREFIX__). */

#define Q7_CAT2(a, b) a##b
#define Q7_CAT(a, b) Q7_CAT2(a, b)
#define SYM(name) Q7_CAT(__USER_LABEL_PREFIX__, name)

#ifndef _WIN32
        .section .note.GNU-stack, "", @progbits   /* the code needs no executable stack */
#endif

/* THUNK label, number, bytes, public name, calls back (0 or 1), calling entry
   Entry record (data): service number, service slot, bytes the service
   removes (-1: the caller removes them), whether the host may call the
   plug-in back inside it. The slot starts at the binder. The public name is
   the thunk itself; the plug-in calls the service through its calling
   entry (q7_call_out, binder.S), which leads through the thunk's slot. */
.macro THUNK label, number, bytes, public, calls_back, calling
        .data
        .balign 4
q7_entry_\label:
        .long \number
        .long q7_binder_\label
        .long \bytes
        .long \calls_back
        .text
        .globl \public
\public:
        jmp *(q7_entry_\label + 4)       /* one indirect jump through the slot */
q7_binder_\label:
        pushl $\public                   /* continue at the entry's jump afterwards */
        pushl $q7_entry_\label           /* the entry to bind */
        jmp SYM(q7_binder_common)
        .globl \calling
\calling:
        pushl $q7_entry_\label           /* the entry to call */
        jmp SYM(q7_call_out)
.endm
