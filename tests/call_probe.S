/* Calls for the tests of the binding thunks, in assembly so that the
   registers, the flags and the stack pointer are exactly as stated. */
#define Q7_CAT2(a, b) a##b
#define Q7_CAT(a, b) Q7_CAT2(a, b)
#define SYM(name) Q7_CAT(__USER_LABEL_PREFIX__, name)

#ifndef _WIN32
        .section .note.GNU-stack, "", @progbits   /* the code needs no executable stack */
#endif

        .data
target: .long 0
saved_ebp: .long 0

        .text
/* int32 q7_call_with_registers(void *function, const uint32 registers[8], uint32 argument)
   Loads eax ecx edx ebx esi edi ebp and the flags from the array, calls the
   function with one stack argument and answers what it returned in eax. */
        .globl SYM(q7_call_with_registers)
SYM(q7_call_with_registers):
        pushl %ebp
        movl %esp, %ebp
        pushl %ebx
        pushl %esi
        pushl %edi
        movl 8(%ebp), %eax
        movl %eax, target
        movl %ebp, saved_ebp
        movl 12(%ebp), %ecx
        pushl 16(%ebp)                  /* the argument; the callee removes it */
        pushl 28(%ecx)
        popfl
        movl 0(%ecx), %eax
        movl 8(%ecx), %edx
        movl 12(%ecx), %ebx
        movl 16(%ecx), %esi
        movl 20(%ecx), %edi
        movl 24(%ecx), %ebp
        movl 4(%ecx), %ecx
        call *target
        .globl SYM(q7_probe_return)
SYM(q7_probe_return):
        movl saved_ebp, %ebp
        cld
        leal -12(%ebp), %esp
        popl %edi
        popl %esi
        popl %ebx
        popl %ebp
        ret

/* int32 q7_bytes_removed(void *function, int32 a, int32 b, int32 *result)
   Calls the function with the two arguments a and b on the stack and answers
   how many bytes of arguments it removed; its result goes to *result. */
        .globl SYM(q7_bytes_removed)
SYM(q7_bytes_removed):
        pushl %ebp
        movl %esp, %ebp
        pushl %ebx
        movl %esp, %ebx
        pushl 16(%ebp)
        pushl 12(%ebp)
        call *8(%ebp)
        movl 20(%ebp), %ecx
        movl %eax, (%ecx)
        movl %esp, %eax
        subl %ebx, %eax
        addl $8, %eax                   /* 0 when the caller must remove both */
        movl %ebx, %esp
        popl %ebx
        popl %ebp
        ret
