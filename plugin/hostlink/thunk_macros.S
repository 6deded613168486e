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
   removes (-1: the caller removes them). The slot starts at the binder.
   The public name is the thunk itself; the plug-in calls the service
   through its calling entry, which leads through the thunk's slot. */
.macro THUNK label, number, bytes, public, calls_back, calling
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
        CALLING_ENTRY \label, \bytes, \calls_back, \calling
.endm

/* The calling entry of a service: the service is called on a copy of the
   caller's arguments with the host's x87 control word loaded (the host word
   of q7_in_force_now, plugin/hostlink/guard.h) and no exception flag
   raised, then the plug-in's word is loaded again; for a service that may
   call the plug-in back, what was in force before the call is put back.
   EAX, ECX and EDX reach the service as the caller set them (33197 takes its
   value in one of them), and its answer comes back in EAX. A service whose
   caller removes the arguments is handed sixteen words, more than any such
   service reads. */
.macro CALLING_ENTRY label, bytes, calls_back, public
        .globl \public
\public:
        pushl %ebp
        movl %esp, %ebp                   /* 8(ebp): the first argument */
  .if \calls_back
        subl $12, %esp                    /* -12(ebp): what is in force before the call */
        pushl %eax
        pushl %ecx
        pushl %edx
        leal -12(%ebp), %eax
        pushl %eax
        call SYM(q7_save_in_force)        /* cdecl void (in_force *) */
        addl $4, %esp
        popl %edx
        popl %ecx
        popl %eax
  .endif
  .if \bytes < 0
        .set q7_words, 16
  .else
        .set q7_words, \bytes / 4
  .endif
        andl $-16, %esp                   /* the service may expect an aligned stack */
        subl $((16 - (q7_words * 4) % 16) % 16), %esp
        .set q7_at, 4 + q7_words * 4
        .rept q7_words
        pushl q7_at(%ebp)
        .set q7_at, q7_at - 4
        .endr
        fnclex
        fldcw SYM(q7_in_force_now)+8      /* the host's word */
        call *(q7_entry_\label + 4)       /* through the slot: the binder on the first call */
        fnclex
        fldcw SYM(q7_own_control_word)
  .if \calls_back
        pushl %eax                        /* the answer */
        leal -12(%ebp), %ecx
        pushl %ecx
        call SYM(q7_put_back_in_force)    /* cdecl void (const in_force *) */
        addl $4, %esp
        popl %eax
  .endif
        leave
  .if \bytes < 0
        ret
  .else
        ret $\bytes
  .endif
.endm
