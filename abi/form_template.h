// The form template block: the byte format in which the plug-in describes its
// dialog forms to the host's forms engine.
//
// The plug-in writes its block at compile time from a description of each
// form (form_item, form_description, build_form_block): every length, width
// and hot key is computed here from the texts and formats. The host's forms
// engine and the tests read a block with walk_form, which finds a form
// (find_form), reads its items and binds its input fields to the bytes of the
// form data record.
// The reader is constexpr too, so the plug-in checks its own block with it
// when it is compiled.
//
// Little-endian throughout; texts are Mazovia bytes with a zero terminator.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <type_traits>

#include "abi/compile_time.h"

namespace q7::forms {

// ---------------------------------------------------------------------------
// The format

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

// ---------------------------------------------------------------------------
// Describing a form (compile time)

// An input field's format with the value's maximum characters, and the rows a
// text takes on screen (the field's height).
struct field_format {
  uint16_t code = 0;
  uint16_t max_chars = 0;
  uint16_t lines = 1;
};
inline constexpr field_format integer{format_integer, 6};
inline constexpr field_format amount{format_amount, 15};
constexpr field_format text(uint16_t max_chars) { return {format_text, max_chars, 1}; }
constexpr field_format text_lines(uint16_t max_chars, uint16_t lines) {
  return {format_text_lines, max_chars, lines};
}

// The record bytes an input field is meant to fill, named by the record's
// member (Q7_BOUND); the block is built only if the binding agrees.
struct bound_field {
  std::size_t offset = 0;
  std::size_t size = 0;
};
#define Q7_BOUND(record, member) \
  ::q7::forms::bound_field { offsetof(record, member), sizeof(static_cast<record*>(nullptr)->member) }

struct form_item {
  uint16_t kind = kind_label;
  uint16_t field = no_field;
  uint16_t flags = 0;
  uint16_t hot_key = 0;
  uint16_t x = 0, y = 0, width = 0, height = 1;
  std::string_view text;  // Mazovia bytes, terminator not included
  field_format format{};  // input fields
  bound_field bound{};    // input fields
};

// Columns a label takes: its characters, the tildes not counted.
constexpr uint16_t label_width(std::string_view text) {
  std::size_t n = 0;
  for (char c : text) n += c != '~';
  return static_cast<uint16_t>(n);
}

// The upper-case letter between the first pair of tildes, or 0.
constexpr uint16_t label_hot_key(std::string_view text) {
  std::size_t open = 0;
  while (open < text.size() && text[open] != '~') ++open;
  if (open == text.size()) return 0;
  if (open + 2 >= text.size() || text[open + 2] != '~')
    compile_time_fault("a hot key is one letter between tildes");
  const char letter = text[open + 1];
  if (letter >= 'a' && letter <= 'z') return static_cast<uint16_t>(letter - 'a' + 'A');
  if (letter >= 'A' && letter <= 'Z') return static_cast<uint16_t>(letter);
  compile_time_fault("a hot key is a letter of the Latin alphabet");
  return 0;
}

constexpr form_item label(uint16_t x, uint16_t y, std::string_view text) {
  return {kind_label, no_field, 0, label_hot_key(text), x, y, label_width(text), 1, text};
}

constexpr form_item input(uint16_t x, uint16_t y, uint16_t width, field_format format,
                          uint16_t field, uint16_t flags, bound_field bound) {
  return {kind_input, field, flags, 0, x, y, width, format.lines, {}, format, bound};
}

constexpr form_item marker(uint16_t x, uint16_t y, uint16_t width, std::string_view text,
                           uint16_t field) {
  return {kind_marker, field, 0, 0, x, y, width, 1, text};
}

// answer: the number the forms engine returns when this button closes the form.
constexpr form_item button(uint16_t x, uint16_t y, uint16_t width, std::string_view text,
                           uint16_t answer, uint16_t flags, uint16_t hot_key) {
  return {kind_button, answer, flags, hot_key, x, y, width, 1, text};
}

struct form_description {
  uint16_t number;
  std::string_view title;
  uint16_t width, height;
  std::span<const form_item> items;
};

// Bytes of an item, a form's body and the block.
constexpr std::size_t item_length(const form_item& item) {
  return item.kind == kind_input ? input_length(item.format.code)
                                 : item_head_size + item.text.size() + 1;
}

constexpr std::size_t body_length(const form_description& form) {
  std::size_t n = item_head_size + form.title.size() + 1;  // the window item
  for (const form_item& item : form.items) n += item_length(item);
  return n;
}

template <std::size_t N>
constexpr std::size_t block_length(const std::array<form_description, N>& forms) {
  std::size_t n = block_head_size;
  for (const form_description& form : forms) n += form_head_size + body_length(form);
  return n;
}

namespace detail {

struct block_writer {
  std::span<uint8_t> out;
  std::size_t at = 0;

  constexpr void u8(uint8_t v) { out[at++] = v; }
  constexpr void u16(std::size_t v) {
    if (v > 0xFFFF) compile_time_fault("a value does not fit its 16-bit word");
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  constexpr void s16(int16_t v) { u16(static_cast<uint16_t>(v)); }
  constexpr void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) u8(static_cast<uint8_t>(v >> (8 * i)));
  }
  constexpr void f64(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) u8(static_cast<uint8_t>(bits >> (8 * i)));
  }
  constexpr void zeros(std::size_t n) {
    while (n-- > 0) u8(0);
  }
  constexpr void text(std::string_view t) {
    for (char c : t) {
      if (c == 0) compile_time_fault("a form text holds a zero byte");
      u8(static_cast<uint8_t>(c));
    }
    u8(0);
  }
  constexpr void head(uint16_t kind, uint16_t field, uint16_t flags, uint16_t hot_key, uint16_t x,
                      uint16_t y, uint16_t width, uint16_t height) {
    for (uint16_t v : {kind, field, flags, hot_key, x, y, width, height}) u16(v);
    u32(0);  // reserved
  }

  constexpr void limits(const field_format& f) {
    switch (f.code) {
      case format_integer:
        u32(0);
        s16(integer_min);
        s16(integer_max);
        return;
      case format_amount:
        u32(0);
        f64(amount_min);
        f64(amount_max);
        return;
      case format_text:
      case format_text_lines:
        u16(0);
        u16(f.max_chars);  // buffer length
        u16(f.lines);
        return;
      default: compile_time_fault("an input field of an unknown format"); return;
    }
  }

  constexpr void item(const form_item& i) {
    const std::size_t start = at;
    if (i.kind == kind_input) {
      u16(kind_input);
      u16(input_length(i.format.code) - input_length_bias);
      head(kind_input, i.field, i.flags, 0, i.x, i.y, i.width, i.height);
      text({});  // caption
      zeros(input_reserved_size);
      u16(i.format.max_chars);
      u16(i.format.code);
      limits(i.format);
      u8(0);
    } else {
      head(i.kind, i.field, i.flags, i.hot_key, i.x, i.y, i.width, i.height);
      text(i.text);
    }
    if (at - start != item_length(i)) compile_time_fault("an item's bytes differ from its length");
  }

  constexpr void form(const form_description& f) {
    const std::size_t start = at;
    u16(body_length(f));
    u16(f.items.size());
    head(kind_window, f.number, window_flags, 0, 0, 0, f.width, f.height);
    text(f.title);
    std::size_t record_offset = 0;
    for (const form_item& i : f.items) {
      item(i);
      if (i.kind != kind_input) continue;
      const std::size_t size = forms::bound_size(i.format.code, i.format.max_chars);
      if (i.bound.offset != record_offset || i.bound.size != size)
        compile_time_fault("an input field is not bound where its record member lies");
      record_offset += size;
    }
    if (at - start != form_head_size + body_length(f))
      compile_time_fault("a form's bytes differ from its length");
  }
};

}  // namespace detail

// The block of the given forms, in their order.
template <const auto& forms>
constexpr auto build_form_block() {
  std::array<uint8_t, block_length(forms)> block{};
  detail::block_writer w{block};
  w.u32(static_cast<uint32_t>(block.size() - block_head_size));
  for (const form_description& f : forms) w.form(f);
  if (w.at != block.size()) compile_time_fault("the block's bytes differ from its length");
  return block;
}

// ---------------------------------------------------------------------------
// Reading a block (host and tests; constexpr, so the plug-in checks its own)

// One item as read from a block. For an input field, text is its caption and
// record_offset/record_size are the record bytes it is bound to.
struct item_view {
  std::size_t offset = 0;  // in the block
  std::size_t length = 0;
  uint16_t kind = 0, field = 0, flags = 0, hot_key = 0;
  uint16_t x = 0, y = 0, width = 0, height = 0;
  std::span<const uint8_t> text;  // Mazovia bytes; a terminator follows them in the block
  uint16_t max_chars = 0, format = 0;
  int16_t integer_min = 0, integer_max = 0;  // format_integer
  double amount_min = 0, amount_max = 0;     // format_amount
  uint16_t buffer_length = 0, lines = 0;     // text formats
  std::size_t record_offset = 0, record_size = 0;
};

// What walking a form found. error is null when the form was read to the
// exact end of its body; else it says what is wrong, at byte error_at.
struct walk_result {
  const char* error = nullptr;
  std::size_t error_at = 0;
  std::size_t form_offset = 0;  // the form template's head in the block
  std::size_t body_length = 0;
  std::size_t items = 0;        // read after the window item
  std::size_t bound_bytes = 0;  // record bytes of all input fields
  explicit constexpr operator bool() const { return error == nullptr; }
};

namespace detail {

class block_reader {
  static_assert(std::endian::native == std::endian::little, "the block is read with the machine's loads");

 public:
  constexpr explicit block_reader(std::span<const uint8_t> block) : block_(block) {}

  constexpr uint16_t u16(std::size_t at) const {
    if (!std::is_constant_evaluated()) {  // at run time, one load of both bytes (x86 is little-endian)
      uint16_t value;
      std::memcpy(&value, block_.data() + at, sizeof value);
      return value;
    }
    return static_cast<uint16_t>(block_[at] | block_[at + 1] << 8);
  }
  constexpr uint32_t u32(std::size_t at) const {
    return static_cast<uint32_t>(u16(at)) | static_cast<uint32_t>(u16(at + 2)) << 16;
  }
  constexpr double f64(std::size_t at) const {
    return std::bit_cast<double>(static_cast<uint64_t>(u32(at)) |
                                 static_cast<uint64_t>(u32(at + 4)) << 32);
  }
  // The zero-terminated text at `at`, which must end before `end`; false if it does not.
  constexpr bool text(std::size_t at, std::size_t end, std::span<const uint8_t>& out) const {
    if (!std::is_constant_evaluated()) {  // at run time, one search instead of a test per byte
      const void* zero = at < end ? std::memchr(block_.data() + at, 0, end - at) : nullptr;
      if (!zero) return false;
      out = block_.subspan(
          at, static_cast<std::size_t>(static_cast<const uint8_t*>(zero) - (block_.data() + at)));
      return true;
    }
    for (std::size_t i = at; i < end; ++i) {
      if (block_[i] != 0) continue;
      out = block_.subspan(at, i - at);
      return true;
    }
    return false;
  }
  constexpr std::size_t size() const { return block_.size(); }

 private:
  std::span<const uint8_t> block_;
};

// Reads the item at `at`, which must end by `end`; null or what is wrong.
constexpr const char* read_item(const block_reader& r, std::size_t at, std::size_t end,
                                item_view& item) {
  item = item_view{};
  item.offset = at;
  std::size_t head = at;
  std::size_t item_end = 0;
  if (end - at < 2) return "an item runs past the end of its form";
  const bool input = r.u16(at) == kind_input;
  if (input) {
    if (end - at < input_prefix_size) return "an input field runs past the end of its form";
    item.length = r.u16(at + 2) + input_length_bias;
    if (item.length > end - at) return "an input field's length runs past the end of its form";
    item_end = at + item.length;
    head = at + input_prefix_size;
    if (item_end - head < item_head_size) return "an input field is shorter than its head";
  } else if (end - at < item_head_size) {
    return "an item's head runs past the end of its form";
  }
  item.kind = r.u16(head + at_kind);
  item.field = r.u16(head + at_field);
  item.flags = r.u16(head + at_flags);
  item.hot_key = r.u16(head + at_hot_key);
  item.x = r.u16(head + at_x);
  item.y = r.u16(head + at_y);
  item.width = r.u16(head + at_width);
  item.height = r.u16(head + at_height);
  const std::size_t text_at = head + item_head_size;
  if (input && item.kind != kind_input) return "an input field's head names another kind";
  if (!input) {
    if (item.kind != kind_button && item.kind != kind_label && item.kind != kind_marker &&
        item.kind != kind_window)
      return "an item of an unknown kind";
    if (!r.text(text_at, end, item.text)) return "an item's text has no terminator within its form";
    item.length = item_head_size + item.text.size() + 1;
    return nullptr;
  }
  if (!r.text(text_at, item_end, item.text))
    return "an input field's caption has no terminator within the field";
  std::size_t p = text_at + item.text.size() + 1 + input_reserved_size;
  if (p > item_end || item_end - p < 4) return "an input field is too short for its format word";
  item.max_chars = r.u16(p);
  item.format = r.u16(p + 2);
  p += 4;
  const std::size_t limits = limits_size(item.format);
  if (limits == 0) return "an input field of an unknown format";
  if (item_end - p != limits + 1) return "an input field's length word does not match its format";
  switch (item.format) {
    case format_integer:
      item.integer_min = static_cast<int16_t>(r.u16(p + 4));
      item.integer_max = static_cast<int16_t>(r.u16(p + 6));
      break;
    case format_amount:
      item.amount_min = r.f64(p + 4);
      item.amount_max = r.f64(p + 12);
      break;
    default:
      item.buffer_length = r.u16(p + 2);
      item.lines = r.u16(p + 4);
      break;
  }
  item.record_size = bound_size(item.format, item.max_chars);
  return nullptr;
}

}  // namespace detail

// Where form `number` begins in the block: its template's head, found by
// stepping from one template to the next. error is null when it was found.
struct found_form {
  const char* error = nullptr;
  std::size_t at = 0;  // the template's head; where the error is, if any
};

constexpr found_form find_form(std::span<const uint8_t> block, uint16_t number) {
  const detail::block_reader r(block);
  if (r.size() < block_head_size) return {"the block is shorter than its head", 0};
  const uint32_t total = r.u32(0);
  if (total > r.size() - block_head_size) return {"the block's length runs past its end", 0};
  const std::size_t block_end = block_head_size + total;
  for (std::size_t at = block_head_size;;) {
    if (at >= block_end) return {"the form is not in the block", at};
    if (block_end - at < form_head_size + item_head_size)
      return {"a form template runs past the end of the block", at};
    if (r.u16(at + form_head_size + at_kind) != kind_window)
      return {"a form template does not begin with its window item", at};
    const std::size_t body = r.u16(at);
    if (body > block_end - at - form_head_size)
      return {"a form template's body runs past the end of the block", at};
    if (r.u16(at + form_head_size + at_field) == number) return {nullptr, at};
    at += form_head_size + body;
  }
}

// Finds form `number` and reads its window item and then every item in
// order, binding each input field to the record bytes that follow the
// previous field's. Calls each(index, item) for each item, the window item
// with index 0. Reads nothing outside the block, and nothing of a form beyond
// the end of its body.
template <class Each>
constexpr walk_result walk_form(std::span<const uint8_t> block, uint16_t number, Each&& each) {
  walk_result result;
  const auto fail = [&](const char* what, std::size_t at) {
    result.error = what;
    result.error_at = at;
    return result;
  };
  const found_form found = find_form(block, number);
  if (found.error) return fail(found.error, found.at);
  const detail::block_reader r(block);
  std::size_t at = found.at;
  result.form_offset = at;
  result.body_length = r.u16(at);
  const std::size_t count = r.u16(at + 2);
  const std::size_t end = at + form_head_size + result.body_length;
  at += form_head_size;
  item_view item;
  for (std::size_t index = 0; index <= count; ++index) {
    if (at == end) return fail("the form's body ends before its last item", at);
    if (const char* error = detail::read_item(r, at, end, item)) return fail(error, at);
    if ((index == 0) != (item.kind == kind_window))
      return fail(index == 0 ? "a form template does not begin with its window item"
                             : "a second window item within a form",
                  at);
    if (item.kind == kind_input) {
      item.record_offset = result.bound_bytes;
      result.bound_bytes += item.record_size;
    }
    each(index, static_cast<const item_view&>(item));
    result.items = index;
    at += item.length;
  }
  if (at != end) return fail("the form's items end before the end of its body", at);
  return result;
}

constexpr walk_result walk_form(std::span<const uint8_t> block, uint16_t number) {
  return walk_form(block, number, [](std::size_t, const item_view&) {});
}

}  // namespace q7::forms
