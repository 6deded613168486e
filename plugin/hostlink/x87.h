// The x87 unit belongs to the host: its control word (precision, rounding,
// which exceptions trap) is the host's whenever the host's code runs. The
// plug-in computes with a word of its own between, and gives the host back
// its control and status words however a call from the host ends.
#pragma once

#include <cstdint>

namespace q7::x87 {

// The plug-in's word: every exception masked, double precision (53 bits:
// the fee rules form their products and sums in double), rounding to nearest.
inline constexpr uint16_t own_control = 0x027F;

// The unit's environment as fnstenv stores it; the control word first.
struct environment {
  uint32_t words[7];
  uint16_t control() const { return static_cast<uint16_t>(words[0]); }
};

inline environment saved_environment() {
  environment saved;
  __asm__ volatile("fnstenv %0" : "=m"(saved) : : "memory");
  return saved;
}
inline void restore_environment(const environment& saved) {
  __asm__ volatile("fldenv %0" : : "m"(saved) : "memory");
}
inline uint16_t control() {
  uint16_t word;
  __asm__ volatile("fnstcw %0" : "=m"(word));
  return word;
}
// Loads a control word with no exception flag raised: a flag that the word
// unmasks would otherwise trap at the next instruction of whoever runs next.
inline void load_control(uint16_t word) {
  __asm__ volatile("fnclex\n\tfldcw %0" : : "m"(word) : "memory");
}

}  // namespace q7::x87
