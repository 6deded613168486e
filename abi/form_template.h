// The form template block: the byte format in which the plug-in describes its
// dialog forms to the host's forms engine. The plug-in writes its block with
// abi/form_template_writer.h; the host's forms engine and the tests read one
// with abi/form_template_reader.h.
//
// Little-endian throughout; texts are Mazovia bytes with a zero terminator.
#pragma once

#include <cstddef>
#include <cstdint>

namespace q7::forms {

// Item kinds (the first word of every item).
inline constexpr uint16_t kind_button = 0;
inline constexpr uint16_t kind_label = 3;
inline constexpr uint16_t kind_marker = 4;
inline constexpr uint16_t kind_input = 5;
inline constexpr uint16_t kind_window = 0xFFFF;

// Field number of an item that has none (labels).
inline constexpr uint16_t no_field = 0xFFFF;

// Flags of the window item, and the two flags of input fields: a value the
// user types, and a value the plug-in supplies or computes.
inline constexpr uint16_t window_flags = 0x0200;
inline constexpr uint16_t typed = 0x0420;
inline constexpr uint16_t supplied = 0x0402;

// Hot key word of the confirm button, whose text names the key F12.
inline constexpr uint16_t hot_key_f12 = 0x5500;

// Input field formats.
inline constexpr uint16_t format_integer = 0x0001;     // signed 16-bit
inline constexpr uint16_t format_amount = 0x2004;      // double, scaled by 10000
inline constexpr uint16_t format_text = 0x0008;        // text of one line
inline constexpr uint16_t format_text_lines = 0x0088;  // text of several lines

// Limits written after the format word.
inline constexpr int16_t integer_min = -32767;
inline constexpr int16_t integer_max = 32767;
inline constexpr double amount_min = -1e13;
inline constexpr double amount_max = 1e13;

// Sizes of the fixed parts.
inline constexpr std::size_t block_head_size = 4;    // u32 length of what follows
inline constexpr std::size_t form_head_size = 4;     // u16 body length, u16 item count
inline constexpr std::size_t item_head_size = 20;
inline constexpr std::size_t input_prefix_size = 4;  // u16 kind, u16 length word
inline constexpr std::size_t input_length_bias = 5;  // length word = item length - 5
inline constexpr std::size_t input_reserved_size = 7;

// Item head offsets.
inline constexpr std::size_t at_kind = 0, at_field = 2, at_flags = 4, at_hot_key = 6, at_x = 8,
                             at_y = 10, at_width = 12, at_height = 14;

// State bits of the items of an open form, and the field number that means
// every item (set item state, 52034).
inline constexpr int32_t state_hidden = 0x0800;  // a marker is not drawn
inline constexpr int32_t state_redraw = 0x8000;  // the item shows its values anew
inline constexpr int32_t all_items = 0;
inline constexpr int32_t bits_on = 1;   // the third value: the bits are set (0: cleared)

// Directions of exchange form data (52040).
inline constexpr int32_t form_to_record = 1;
inline constexpr int32_t record_to_form = 0;

// Events a form hook receives in the low 16 bits of its second value.
inline constexpr int16_t event_setup = -2;   // once, before the user edits the form
inline constexpr int16_t event_changed = 0;  // after each change of an edited value

// Bytes of the limits that follow a format word; 0 for an unknown format.
constexpr std::size_t limits_size(uint16_t format) {
  switch (format) {
    case format_integer: return 4 + 2 + 2;  // u32 0, s16 minimum, s16 maximum
    case format_amount: return 4 + 8 + 8;   // u32 0, f64 minimum, f64 maximum
    case format_text:
    case format_text_lines: return 2 + 2 + 2;  // u16 0, u16 buffer length, u16 lines
    default: return 0;
  }
}

// Total length of an input field of a format.
constexpr std::size_t input_length(uint16_t format) {
  return input_prefix_size + item_head_size + 1 /* empty caption */ + input_reserved_size +
         2 /* maximum characters */ + 2 /* format */ + limits_size(format) + 1 /* final 0 */;
}

// Bytes of the form data record that an input field takes.
constexpr std::size_t bound_size(uint16_t format, uint16_t max_chars) {
  switch (format) {
    case format_integer: return 2;
    case format_amount: return 8;
    case format_text:
    case format_text_lines: return std::size_t{max_chars} + 1u;
    default: return 0;
  }
}

}  // namespace q7::forms
