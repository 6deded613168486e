/* The common binder and the fallback functions of the binding thunks. */
#include "thunk_macros.S"

        .text
/* Entered by jump from an entry's binder with the stack holding
   [entry record] [continuation] [caller's return address] [arguments].
   Saves every general-purpose register and the flags, binds the entry's
   slot, restores everything and returns into the entry's jump, which now
   leads to the bound service: the caller's arguments and return address
   are never touched, so the service returns straight to the caller. */
        .globl SYM(q7_binder_common)
SYM(q7_binder_common):
        pushfl                          /* the caller's flags */
        pushal                          /* eax ecx edx ebx esp ebp esi edi */
        movl %esp, %ebp                 /* ebp is restored by popal */
        cld                             /* the C code expects the direction flag clear */
        andl $-16, %esp                 /* the C code expects a 16-byte aligned stack */
        subl $12, %esp
        pushl 36(%ebp)                  /* entry record: above 32 bytes of registers and the flags */
        call SYM(q7_bind_service)       /* cdecl void (entry record *) */
        movl %ebp, %esp
        popal
        popfl
        leal 4(%esp), %esp              /* drop the entry record; lea leaves the flags alone */
        ret                             /* to the continuation: the entry's jump */

/* cdecl void q7_call_with_value_in_registers(function, value): calls a
   host service that takes its one value in a register it does not name,
   with the value in EAX, ECX and EDX alike, on a 16-byte aligned stack. */
        .globl SYM(q7_call_with_value_in_registers)
SYM(q7_call_with_value_in_registers):
        pushl %ebp
        movl %esp, %ebp
        andl $-16, %esp                 /* the service may expect an aligned stack */
        movl 12(%ebp), %eax             /* the value */
        movl %eax, %ecx
        movl %eax, %edx
        call *8(%ebp)                   /* the service removes nothing */
        movl %ebp, %esp
        popl %ebp
        ret

/* Fallback n takes n four-byte arguments, removes them and answers 0. */
        .irp n, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14
q7_fallback_\n:
        xorl %eax, %eax
        ret $(\n * 4)
        .endr

/* The initial delay-load notification hook is fallback 2. */
        .globl SYM(q7_null_delay_load_hook)
        .set SYM(q7_null_delay_load_hook), q7_fallback_2

        .data
        .balign 4
        .globl SYM(q7_fallback_table)
SYM(q7_fallback_table):
        .irp n, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14
        .long q7_fallback_\n
        .endr
