// What the compiler calls on its own in 32-bit code: the division of 64-bit
// integers and the probe of a frame larger than a page. The toolchain's
// run-time library has them too, but its division brings that library's
// unwinding tables, which nothing in the host's process would register; the
// DLL therefore links no object of it (the image test checks its link map).
#include <cstdint>

#include "abi/machine.h"

namespace {

// n / d where the quotient fits in 32 bits: one division of the processor.
uint32_t divide_to_32_bits(uint64_t n, uint32_t d, uint32_t& remainder) {
  uint32_t quotient;
  __asm__("divl %4"
          : "=a"(quotient), "=d"(remainder)
          : "a"(static_cast<uint32_t>(n)), "d"(static_cast<uint32_t>(n >> 32)), "rm"(d));
  return quotient;
}

// u / v and u % v from divisions of the processor. A divisor of 32 bits
// divides the high half and then the rest. A wider one is cut to its top 32
// bits, normalised; the quotient of half of u by it, shifted back, is the
// true quotient or one more, and one multiplication tells which.
uint64_t divide(uint64_t u, uint64_t v, uint64_t& remainder) {
  const uint32_t v_high = static_cast<uint32_t>(v >> 32);
  if (v_high == 0) {
    const uint32_t d = static_cast<uint32_t>(v);
    uint32_t rest;
    const uint32_t q_high = divide_to_32_bits(u >> 32, d, rest);
    const uint32_t q_low = divide_to_32_bits(uint64_t{rest} << 32 | static_cast<uint32_t>(u), d, rest);
    remainder = rest;
    return uint64_t{q_high} << 32 | q_low;
  }
  const int shift = __builtin_clz(v_high);  // 0 to 31
  const uint32_t v_top = static_cast<uint32_t>(v << shift >> 32);
  uint32_t ignored;
  uint64_t q = uint64_t{divide_to_32_bits(u >> 1, v_top, ignored)} << shift >> 31;
  if (q != 0) --q;
  if (u - q * v >= v) ++q;
  remainder = u - q * v;
  return q;
}

uint64_t magnitude(int64_t n) { return n < 0 ? 0 - static_cast<uint64_t>(n) : static_cast<uint64_t>(n); }
int64_t with_sign(uint64_t n, bool negative) { return static_cast<int64_t>(negative ? 0 - n : n); }

}  // namespace

extern "C" {

uint64_t __udivdi3(uint64_t u, uint64_t v) {
  uint64_t remainder;
  return divide(u, v, remainder);
}

uint64_t __umoddi3(uint64_t u, uint64_t v) {
  uint64_t remainder;
  divide(u, v, remainder);
  return remainder;
}

// Quotient and remainder of the same operands, in one call.
uint64_t __udivmoddi4(uint64_t u, uint64_t v, uint64_t* remainder) {
  uint64_t rest;
  const uint64_t quotient = divide(u, v, rest);
  if (remainder) *remainder = rest;
  return quotient;
}

// The quotient rounds towards zero; the remainder has the dividend's sign.
int64_t __divdi3(int64_t a, int64_t b) {
  uint64_t remainder;
  return with_sign(divide(magnitude(a), magnitude(b), remainder), (a < 0) != (b < 0));
}

int64_t __moddi3(int64_t a, int64_t b) {
  uint64_t remainder;
  divide(magnitude(a), magnitude(b), remainder);
  return with_sign(remainder, a < 0);
}

int64_t __divmoddi4(int64_t a, int64_t b, int64_t* remainder) {
  uint64_t rest;
  const uint64_t quotient = divide(magnitude(a), magnitude(b), rest);
  if (remainder) *remainder = with_sign(rest, a < 0);
  return with_sign(quotient, (a < 0) != (b < 0));
}

}  // extern "C"

// A function whose frame is larger than a page calls this with the frame's
// size in EAX before it moves the stack pointer: Windows grows a thread's
// stack only through the guard page just below the part in use, so each page
// of the new frame is touched in turn, from the top down. Every register is
// kept; the caller moves the stack pointer itself.
__asm__(".text\n"
        ".globl " Q7_STRINGIFY(__USER_LABEL_PREFIX__) "__chkstk_ms\n"
        Q7_STRINGIFY(__USER_LABEL_PREFIX__) "__chkstk_ms:\n"
        "  pushl %ecx\n"
        "  pushl %eax\n"
        "  leal 12(%esp), %ecx\n"  // the caller's stack pointer, above the return address
        "1:\n"
        "  cmpl $0x1000, %eax\n"
        "  jb 2f\n"
        "  subl $0x1000, %ecx\n"
        "  orl $0, (%ecx)\n"  // a page further down
        "  subl $0x1000, %eax\n"
        "  jmp 1b\n"
        "2:\n"
        "  subl %eax, %ecx\n"
        "  orl $0, (%ecx)\n"  // the frame's lowest word
        "  popl %eax\n"
        "  popl %ecx\n"
        "  ret\n");
