/* Binding thunks: one entry per host service, bound by number on its first
   call. Included by the generated thunk table; the symbol prefix of the
   platform comes from the C preprocessor (__USER_LABEL_PREFIX__). */

#define Q7_CAT2(a, b) a##b
#define Q7_CAT(a, b) Q7_CAT2(a, b)
#define SYM(name) Q7_CAT(__USER_LABEL_PREFIX__, name)

#ifndef _WIN32
        .section .note.GNU-stack, "", @progbits   /* the code needs no executable stack */
#endif

/* THUNK label, number, bytes, public name
   Entry record (data): service number, service slot, bytes the service
   removes (-1: the caller removes them). The slot starts at the binder. */
.macro THUNK label, number, bytes, public
        .data
        .balign 4
q7_entry_\label:
        .long \number
        .long q7_binder_\label
        .long \bytes
        .text
        .globl \public
\public:
        jmp *(q7_entry_\label + 4)       /* one indirect jump through the slot */
q7_binder_\label:
        pushl $\public                   /* continue at the entry's jump afterwards */
        pushl $q7_entry_\label           /* the entry to bind */
        jmp SYM(q7_binder_common)
.endm
