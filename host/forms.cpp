// The forms engine of the stand-in host. A form is laid out from the
// plug-in's form template block, keeps its own copy of the record bytes its
// input fields are bound to, takes the session script's edits one by one and
// closes with the button the script names. The transcript draws the form from
// the block as it opens and as it closes.
#include "host/forms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "abi/form_template.h"
#include "host/host.h"

namespace torval {
namespace {

namespace forms = q7::forms;

struct form_item {
  forms::item_view view;
  int32_t state = 0;
};

struct open_form {
  int32_t number = 0;
  forms::item_view window;
  std::vector<form_item> items;  // items[0] is item 1
  std::vector<uint8_t> values;   // the form's own copy of the bound record bytes
  q7::form_hook hook = nullptr;
};

open_form* current_form = nullptr;

// A damaged block may claim any size; nothing larger is drawn.
constexpr std::size_t max_columns = 200;
constexpr std::size_t max_rows = 100;

// The block as far as its head says it reaches: the host has only its start.
std::span<const uint8_t> block_at(const void* block) {
  uint32_t total;
  std::memcpy(&total, block, sizeof total);
  return {static_cast<const uint8_t*>(block), forms::block_head_size + total};
}

std::string hex(unsigned value, int digits = 4) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

// One character of a form text as it is drawn: markup bytes as visible
// symbols (as in every text of the transcript), other control bytes as �.
std::string character(uint8_t byte) {
  const char text[2] = {static_cast<char>(byte), 0};
  std::string shown = from_mazovia(text);
  if (shown.size() == 1 && static_cast<unsigned char>(shown[0]) < 0x20) return "�";
  return shown;
}

using characters = std::vector<std::string>;

characters characters_of(std::span<const uint8_t> text, bool without_tildes = false) {
  characters out;
  for (uint8_t byte : text)
    if (!(without_tildes && byte == '~')) out.push_back(character(byte));
  return out;
}

characters characters_of(const std::string& ascii) {
  characters out;
  for (char c : ascii) out.push_back(std::string(1, c));
  return out;
}

std::string joined(const characters& chars) {
  std::string out;
  for (const auto& c : chars) out += c;
  return out;
}

// The text of a label as it is shown, in UTF-8.
std::string label_text(const forms::item_view& label) {
  return joined(characters_of(label.text, true));
}

// The value of an input field in the form's copy, as typed.
std::string value_text(const forms::item_view& field, const uint8_t* value) {
  switch (field.format) {
    case forms::format_integer: {
      int16_t n;
      std::memcpy(&n, value, sizeof n);
      return std::to_string(n);
    }
    case forms::format_amount: {
      double scaled;
      std::memcpy(&scaled, value, sizeof scaled);
      char text[64];
      std::snprintf(text, sizeof text, "%.2f", scaled / 10000.0);
      return text;
    }
    default: return {};
  }
}

// The rows an input field shows, each exactly its width: numbers to the
// right, texts from the left and wrapped over the field's rows; the unused
// part of the field drawn as ·.
std::vector<characters> field_rows(const forms::item_view& field, const uint8_t* value) {
  const std::size_t width = std::min<std::size_t>(field.width, max_columns);
  const bool is_text = field.format == forms::format_text || field.format == forms::format_text_lines;
  characters chars;
  if (is_text) {
    const uint8_t* end = std::find(value, value + field.max_chars, 0);
    chars = characters_of(std::span(value, end));
  } else {
    chars = characters_of(value_text(field, value));
    if (chars.size() > width) chars = characters(width, "#");
    chars.insert(chars.begin(), width - chars.size(), "·");
  }
  const std::size_t rows =
      field.format == forms::format_text_lines ? std::min<std::size_t>(field.height, max_rows) : 1;
  std::vector<characters> out;
  for (std::size_t r = 0; r < rows; ++r) {
    characters row;
    for (std::size_t c = 0; c < width; ++c) {
      const std::size_t i = r * width + c;
      row.push_back(i < chars.size() ? chars[i] : "·");
    }
    out.push_back(row);
  }
  return out;
}

// A window of cells with its frame and title; items drawn into it are cut at
// their width and at the frame.
class window_drawing {
 public:
  explicit window_drawing(const forms::item_view& window)
      : width_(std::min<std::size_t>(window.width, max_columns)),
        height_(std::min<std::size_t>(window.height, max_rows)),
        cells_(height_, characters(width_, " ")) {
    if (width_ < 2 || height_ < 2) return;
    for (std::size_t x = 0; x < width_; ++x) cells_[0][x] = cells_[height_ - 1][x] = "─";
    for (std::size_t y = 0; y < height_; ++y) cells_[y][0] = cells_[y][width_ - 1] = "│";
    cells_[0][0] = "┌";
    cells_[0][width_ - 1] = "┐";
    cells_[height_ - 1][0] = "└";
    cells_[height_ - 1][width_ - 1] = "┘";
    characters title = characters_of(window.text);
    title.insert(title.begin(), " ");
    title.push_back(" ");
    const std::size_t start = title.size() < width_ ? (width_ - title.size()) / 2 : 1;
    for (std::size_t i = 0; i < title.size() && start + i < width_ - 1; ++i)
      cells_[0][start + i] = title[i];
  }

  void put(std::size_t x, std::size_t y, std::size_t width, const characters& chars) {
    if (y < 1 || y + 1 >= height_) return;
    for (std::size_t i = 0; i < chars.size() && i < width; ++i)
      if (x + i >= 1 && x + i + 1 < width_) cells_[y][x + i] = chars[i];
  }

  void say_rows() const {
    for (const auto& row : cells_) say("  " + joined(row));
  }

 private:
  std::size_t width_, height_;
  std::vector<characters> cells_;
};

void draw(const open_form& form, const char* moment) {
  if (host().quiet) return;  // a drawing is for the transcript alone
  say("  form " + std::to_string(form.number) + " " + moment + ":");
  window_drawing window(form.window);
  for (const form_item& item : form.items) {
    const auto& v = item.view;
    switch (v.kind) {
      case forms::kind_label: window.put(v.x, v.y, v.width, characters_of(v.text, true)); break;
      case forms::kind_marker:
        if (!(item.state & forms::state_hidden)) window.put(v.x, v.y, v.width, characters_of(v.text));
        break;
      case forms::kind_button: {
        characters face = characters_of(v.text);
        const std::size_t inside = v.width >= 2 ? v.width - 2u : 0u;
        if (face.size() < inside) {
          const std::size_t left = (inside - face.size()) / 2;
          face.insert(face.begin(), left, " ");
          face.resize(inside, " ");
        }
        face.insert(face.begin(), "[");
        face.push_back("]");
        window.put(v.x, v.y, v.width, face);
        break;
      }
      case forms::kind_input: {
        const auto rows = field_rows(v, form.values.data() + v.record_offset);
        for (std::size_t r = 0; r < rows.size(); ++r) window.put(v.x, v.y + r, v.width, rows[r]);
        break;
      }
    }
  }
  window.say_rows();
}

void say_hot_keys(const open_form& form) {
  if (host().quiet) return;
  for (const form_item& item : form.items) {
    const auto& v = item.view;
    if (!v.hot_key) continue;
    const std::string key = v.hot_key >= 'A' && v.hot_key <= 'Z' ? std::string(1, char(v.hot_key))
                                                                  : hex(v.hot_key);
    say("  hot key " + key + ": " + (v.kind == forms::kind_button ? "button " : "") +
        joined(characters_of(v.text, v.kind == forms::kind_label)));
  }
}

void raise(const open_form& form, int16_t event) {
  if (!form.hook) return;
  // The event travels in the low 16 bits only; the upper half stays 0.
  const int32_t result = form.hook(form.number, static_cast<uint16_t>(event));
  say([&] { return "  hook event " + std::to_string(event) + " -> " + std::to_string(result); });
}

// The item an edit names: by number, or the input field right after the
// label whose shown text is the one given (or, failing that, the only one
// that begins with it). 0 and a reason when there is none.
std::size_t edited_item(const open_form& form, const form_edit& edit, std::string& why) {
  if (!edit.item.empty()) {
    char* end = nullptr;
    const unsigned long n = std::strtoul(edit.item.c_str(), &end, 10);
    if (*end || n < 1 || n > form.items.size()) {
      why = "the form has no item " + edit.item;
      return 0;
    }
    return n;
  }
  std::size_t exact = 0, begins = 0, beginning = 0;
  for (std::size_t i = 0; i < form.items.size(); ++i) {
    if (form.items[i].view.kind != forms::kind_label) continue;
    const std::string text = label_text(form.items[i].view);
    if (text == edit.label && !exact) exact = i + 1;
    if (text.compare(0, edit.label.size(), edit.label) == 0) {
      ++begins;
      beginning = i + 1;
    }
  }
  const std::size_t label = exact ? exact : begins == 1 ? beginning : 0;
  if (!label) {
    why = begins ? "more than one label begins with \"" + edit.label + "\""
                 : "no label \"" + edit.label + "\"";
    return 0;
  }
  return label + 1;
}

// Stores a typed value in the form's copy; false with a reason when the
// field does not take it.
bool store(open_form& form, const forms::item_view& field, const std::string& typed,
           std::string& why) {
  const auto refuse = [&](std::string reason) {
    why = std::move(reason);
    return false;
  };
  uint8_t* value = form.values.data() + field.record_offset;
  const bool is_text = field.format == forms::format_text || field.format == forms::format_text_lines;
  if (!is_text && typed.size() > field.max_chars)
    return refuse("longer than " + std::to_string(field.max_chars) + " characters");
  char* end = nullptr;
  switch (field.format) {
    case forms::format_integer: {
      const long n = std::strtol(typed.c_str(), &end, 10);
      if (typed.empty() || *end) return refuse("not a whole number");
      if (n < field.integer_min || n > field.integer_max)
        return refuse("outside " + std::to_string(field.integer_min) + " to " +
                      std::to_string(field.integer_max));
      const auto n16 = static_cast<int16_t>(n);
      std::memcpy(value, &n16, sizeof n16);
      return true;
    }
    case forms::format_amount: {
      const double units = std::strtod(typed.c_str(), &end);
      if (typed.empty() || *end) return refuse("not an amount");
      // Typed in currency units, held in ten-thousandths.
      const double scaled = std::nearbyint(units * 10000.0);
      if (!(scaled >= field.amount_min && scaled <= field.amount_max))
        return refuse("outside the field's limits");
      std::memcpy(value, &scaled, sizeof scaled);
      return true;
    }
    default: {
      // Typing stops at the field's end: the text is cut to its maximum.
      std::string text = to_mazovia(typed);
      if (text.size() > field.max_chars) text.resize(field.max_chars);
      std::memset(value, 0, field.record_size);
      std::memcpy(value, text.data(), text.size());
      return true;
    }
  }
}

// Applies an edit; false when the form does not take it.
bool apply(open_form& form, const form_edit& edit) {
  std::string why;
  const std::size_t number = edited_item(form, edit, why);
  std::string line = "  edit ";
  if (!number) return say(line + "refused: " + why), false;
  const forms::item_view& field = form.items[number - 1].view;
  line += "item " + std::to_string(number);
  if (number >= 2 && form.items[number - 2].view.kind == forms::kind_label)
    line += " \"" + label_text(form.items[number - 2].view) + "\"";
  line += " = " + edit.value;
  if (field.kind != forms::kind_input) return say(line + ": refused, not an input field"), false;
  if (!store(form, field, edit.value, why)) return say(line + ": refused, " + why), false;
  say(line);
  raise(form, forms::event_changed);
  return true;
}

// The value of an input field as a person would type it again.
std::string typed_value(const open_form& form, const forms::item_view& field) {
  const uint8_t* value = form.values.data() + field.record_offset;
  if (field.format != forms::format_text && field.format != forms::format_text_lines)
    return value_text(field, value);
  const uint8_t* end = std::find(value, value + field.max_chars, 0);
  return from_mazovia(std::string(value, end).c_str());
}

// At the terminal: the person is asked for each input field in turn (Enter
// keeps its value; the form hook hears of each change) until "ok" (or F12)
// or "cancel". What was typed is kept as the script's edits and answer.
// False when the input ends first.
bool ask_fields(open_form& form, int& code) {
  for (;;) {
    for (std::size_t i = 0; i < form.items.size(); ++i) {
      const forms::item_view& field = form.items[i].view;
      if (field.kind != forms::kind_input) continue;
      const std::string label =
          i > 0 && form.items[i - 1].view.kind == forms::kind_label ? label_text(form.items[i - 1].view) + " " : "";
      std::string reply;
      if (!host().ask("  " + std::to_string(i + 1) + " " + label + "[" + typed_value(form, field) + "]: ", reply))
        return false;
      const auto words = split_words(reply);
      if (words.empty()) continue;
      if (words.size() == 1 && (words[0] == "ok" || words[0] == "f12" || words[0] == "F12")) {
        code = q7::confirmed;
        host().replied_steps.push_back("answer ok");
        return true;
      }
      if (words.size() == 1 && words[0] == "cancel") {
        code = q7::cancelled;
        host().replied_steps.push_back("answer cancel");
        return true;
      }
      if (apply(form, {std::to_string(i + 1), "", reply}))
        host().replied_steps.push_back("edit " + std::to_string(i + 1) + " " + reply);
    }
    draw(form, "now");
    std::string reply;
    if (!host().ask("  ok (F12), cancel, or Enter to go through the fields again: ", reply)) return false;
    const auto words = split_words(reply);
    if (words.size() == 1 && (words[0] == "ok" || words[0] == "f12" || words[0] == "F12" || words[0] == "cancel")) {
      code = words[0] == "cancel" ? q7::cancelled : q7::confirmed;
      host().replied_steps.push_back(words[0] == "cancel" ? "answer cancel" : "answer ok");
      return true;
    }
  }
}

// A text field holds at most its maximum characters: whatever the record
// held, its last byte is a terminator.
void terminate_texts(open_form& form) {
  for (const form_item& item : form.items) {
    const auto& v = item.view;
    if (v.format == forms::format_text || v.format == forms::format_text_lines)
      form.values[v.record_offset + v.max_chars] = 0;
  }
}

// Keeps the engine's one open form for the length of a show-form call.
struct form_shown {
  explicit form_shown(open_form& form) { current_form = &form; }
  ~form_shown() { current_form = nullptr; }
};

}  // namespace

uint16_t show_form(const void* block, int32_t number, void* record, q7::form_hook hook) {
  const auto name = [number] { return "form " + std::to_string(number); };
  if (current_form || !block || !record) {
    say("  " + name() + (current_form ? ": another form is open" : ": no template block or no record"));
    return 0;
  }
  open_form form;
  form.number = number;
  form.hook = hook;
  const auto read = forms::walk_form(
      block_at(block), static_cast<uint16_t>(number),
      [&](std::size_t index, const forms::item_view& item) {
        if (index == 0) form.window = item;
        else form.items.push_back({item});
      });
  if (!read) {
    host().form_refusal = read.error;
    say([&] {
      return "  " + name() + " cannot be shown: " + read.error + " (byte " + std::to_string(read.error_at) +
             " of the block)";
    });
    return 0;
  }
  const auto* bytes = static_cast<const uint8_t*>(record);
  form.values.assign(bytes, bytes + read.bound_bytes);
  terminate_texts(form);
  const form_shown being_shown(form);
  say([&] {
    return "  " + name() + " \"" + joined(characters_of(form.window.text)) +
           "\": " + std::to_string(form.items.size()) + " items, " + std::to_string(read.bound_bytes) +
           " bytes of the record bound" + (hook ? ", with hook" : "");
  });
  raise(form, forms::event_setup);
  draw(form, "opens");
  say_hot_keys(form);
  auto& edits = host().form_edits;
  while (!edits.empty()) {
    const form_edit edit = edits.front();
    edits.pop_front();
    apply(form, edit);
  }
  // No scripted answer at the terminal: the person fills the form in.
  int asked = 0;
  const bool person = host().ask && host().answers.empty() && ask_fields(form, asked);
  draw(form, "closes");
  answer a;
  if (person) a.code = asked;
  else a = next_answer(q7::cancelled, "form");
  say([&] { return "  -> " + answer_text(a.code); });
  if (a.code == q7::confirmed) {
    std::memcpy(record, form.values.data(), form.values.size());
    say([&] {
      return "  the form's values written into the record (" + std::to_string(form.values.size()) + " bytes)";
    });
  }
  return static_cast<uint16_t>(a.code);
}

void exchange_form_data(void* record, int32_t direction) {
  if (!current_form) return say("  exchange form data: no form is open");
  auto& values = current_form->values;
  const auto bytes = [&] { return " (" + std::to_string(values.size()) + " bytes)"; };
  if (direction == q7::forms::form_to_record) {
    std::memcpy(record, values.data(), values.size());
    say([&] { return "  form data to record" + bytes(); });
  } else if (direction == q7::forms::record_to_form) {
    std::memcpy(values.data(), record, values.size());
    terminate_texts(*current_form);
    say([&] { return "  record to form data" + bytes(); });
  } else {
    say("  exchange form data: no direction " + std::to_string(direction));
  }
}

void set_item_state(int32_t field, int32_t bits, int32_t on) {
  if (!current_form) return say("  set item state: no form is open");
  const auto what = [&] { return "  state " + hex(static_cast<unsigned>(bits)) + (on ? " set" : " cleared"); };
  std::string where;  // the items changed, named only for a transcript
  for (std::size_t i = 0; i < current_form->items.size(); ++i) {
    form_item& item = current_form->items[i];
    if (field != q7::forms::all_items && item.view.field != field) continue;
    item.state = on ? item.state | bits : item.state & ~bits;
    if (!host().quiet) where += (where.empty() ? " on item " : ", ") + std::to_string(i + 1);
  }
  if (field == q7::forms::all_items) return say([&] { return what() + " on every item"; });
  if (where.empty()) return say([&] { return "  set item state: no item with field number " + hex(field); });
  say([&] { return what() + where + " (field " + hex(field) + ")"; });
}

}  // namespace torval
