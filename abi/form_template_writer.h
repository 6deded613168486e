// Writing a form template block at compile time (abi/form_template.h) from a
// description of each form (form_item, form_description, build_form_block):
// every length, width and hot key is computed here from the texts and
// formats, and a reader who checks a form checks its description, not bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <type_traits>

#include "abi/compile_time.h"
#include "abi/form_template.h"

namespace q7::forms {

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

}  // namespace q7::forms
