/* Service 20001 of the stand-in host, for the tests of the binding thunks:
   records every general-purpose register, the flags and the return address
   as they reach the service, into the record its one argument points to
   (eax ecx edx ebx esi edi ebp flags return), and answers 0x600D. */
#define Q7_CAT2(a, b) a##b
#define Q7_CAT(a, b) Q7_CAT2(a, b)
#define SYM(name) Q7_CAT(__USER_LABEL_PREFIX__, name)

#ifndef _WIN32
        .section .note.GNU-stack, "", @progbits   /* the code needs no executable stack */
#endif

        .text
/* Service 33197, which takes its one value in a register: records EAX, ECX
   and EDX as they arrive, then goes on to the service itself, which reads
   the value from ECX (fastcall) and removes nothing. */
        .globl SYM(torval_service_33197)
SYM(torval_service_33197):
        movl %eax, SYM(torval_33197_registers)
        movl %ecx, SYM(torval_33197_registers) + 4
        movl %edx, SYM(torval_33197_registers) + 8
        jmp SYM(torval_33197_service)

        .data
        .balign 4
        .globl SYM(torval_33197_registers)
SYM(torval_33197_registers):
        .long 0, 0, 0

        .text
        .globl SYM(torval_register_probe)
SYM(torval_register_probe):
        pushfl
        pushl %eax
        movl 12(%esp), %eax             /* the record: above eax, flags, return address */
        movl %ecx, 4(%eax)
        movl %edx, 8(%eax)
        movl %ebx, 12(%eax)
        movl %esi, 16(%eax)
        movl %edi, 20(%eax)
        movl %ebp, 24(%eax)
        popl %ecx
        movl %ecx, 0(%eax)              /* eax */
        popl %ecx
        movl %ecx, 28(%eax)             /* flags */
        movl (%esp), %ecx
        movl %ecx, 32(%eax)             /* return address */
        movl $0x600D, %eax
        ret $4
