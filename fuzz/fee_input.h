// The input of the fee sheet fuzz program, little-endian and packed:
//   0  plot rate, water rate, energy rate, membership fee: four doubles, any bits
//  32  area in thousandths of a square metre (int32)
//  36  plot number text (17 bytes)
//  53  holder (101 bytes)
// 154  fee letters (61 bytes)
// A longer input is cut at 215 bytes, a shorter one padded with zeros.
#pragma once

#include <cstdint>

namespace q7::fuzz {

#pragma pack(push, 1)
struct fee_input {
  double rates[4];
  int32_t area_milli;
  char plot_no_text[17];
  char holder_name[101];
  char fee_letters[61];
};
#pragma pack(pop)
static_assert(sizeof(fee_input) == 215);

}  // namespace q7::fuzz
