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

/* The calling entry of every service jumps here with the stack holding
   [entry record] [caller's return address] [arguments]. The service is
   called through its thunk's slot on a copy of the arguments, with the
   host's x87 control word loaded (q7_in_force_now's host word) and no
   exception flag raised; then the plug-in's word is loaded again and, for
   a service that may call the plug-in back, what was in force before the
   call is put back (plugin/hostlink/guard.h). EAX, ECX and EDX reach the
   service as the caller set them (33197 takes its value in one of them);
   the answer comes back in EAX, and the arguments are removed as the
   service removes them. */
        .globl SYM(q7_call_out)
SYM(q7_call_out):
        pushl %ebp
        movl %esp, %ebp                 /* 4(ebp) entry, 8(ebp) return, 12(ebp) arguments */
        pushl %ebx
        pushl %esi
        pushl %edi
        movl 4(%ebp), %ebx              /* the entry, kept across the call */
        pushl SYM(q7_in_force_now)      /* -16(ebp): what is in force, three words */
        pushl SYM(q7_in_force_now)+4    /* -20(ebp) */
        pushl SYM(q7_in_force_now)+8    /* -24(ebp) */
        pushl %eax                      /* -28(ebp): the registers as the caller set them */
        pushl %ecx                      /* -32(ebp) */
        pushl %edx                      /* -36(ebp) */
        movl 8(%ebx), %ecx              /* bytes the service removes */
        testl %ecx, %ecx
        jns 1f
        movl $64, %ecx                  /* the caller removes them: as many as any such service is handed */
1:      subl %ecx, %esp
        andl $-16, %esp                 /* the service may expect an aligned stack */
        leal 12(%ebp), %esi
        movl %esp, %edi
        shrl $2, %ecx
        cld
        rep movsl
        fnclex
        fldcw SYM(q7_in_force_now)+8    /* the host's word */
        movl -28(%ebp), %eax
        movl -32(%ebp), %ecx
        movl -36(%ebp), %edx
        call *4(%ebx)                   /* through the slot: the binder on the first call */
        fnclex
        fldcw SYM(q7_own_control_word)
        testl $1, 12(%ebx)              /* the service may call the plug-in back */
        jz 2f
        movl -16(%ebp), %ecx
        movl %ecx, SYM(q7_in_force_now)
        movl -20(%ebp), %ecx
        movl %ecx, SYM(q7_in_force_now)+4
        movl -24(%ebp), %ecx
        movl %ecx, SYM(q7_in_force_now)+8
2:      movl 8(%ebx), %ecx
        leal -12(%ebp), %esp
        popl %edi
        popl %esi
        popl %ebx
        popl %ebp                       /* [entry] [return] [arguments] */
        testl %ecx, %ecx
        js 3f
        movl 4(%esp), %edx              /* the service removed its arguments: so does this */
        leal 8(%esp,%ecx), %esp
        jmp *%edx
3:      leal 4(%esp), %esp              /* the caller removes them */
        ret

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
