// Reading a form template block (abi/form_template.h): walk_form finds a
// form (find_form), reads its items and binds its input fields to the bytes
// of the form data record, refusing a block it cannot read to the end of the
// form with its reason. The host's forms engine and the tests read with it;
// it is constexpr, so the plug-in checks its own block with it when it is
// compiled.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "abi/form_template.h"

namespace q7::forms {

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
