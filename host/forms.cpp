// The forms engine of the stand-in host. A form is laid out from the
// plug-in's form template block, keeps its own copy of the record bytes its
// input fields are bound to, takes the session script's edits one by one and
// closes with the button the script names. The transcript says the form's
// values as it opens and as it closes (in one short line when they are as
// it opened), or draws it from the block there once a session asks for
// drawings ("show forms").
#include "host/forms.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <utility>
#include <vector>

#include "abi/form_template_reader.h"
#include "host/calling_in.h"
#include "host/form_view.h"
#include "host/neighbours.h"
#include "host/plan.h"
#include "host/texts.h"
#include "host/transcript.h"

namespace torval {
namespace {

namespace forms = q7::forms;

open_form* current_form = nullptr;

// The block as far as its head says it reaches: the host has only its start.
std::span<const uint8_t> block_at(const void* block) {
  uint32_t total;
  std::memcpy(&total, block, sizeof total);
  return {static_cast<const uint8_t*>(block), forms::block_head_size + total};
}

struct hook_call {
  const open_form* form;
  int16_t event;
  int32_t result;
};

void call_hook(void* call) {
  auto& c = *static_cast<hook_call*>(call);
  // The event travels in the low 16 bits only; the upper half stays 0.
  c.result = c.form->hook(c.form->number, static_cast<uint16_t>(c.event));
}

// The hook is called as a host that catches its own exceptions around a
// call-back calls it: one raised inside ends the call, and the form goes on.
void raise(const open_form& form, int16_t event) {
  if (!form.hook) return;
  hook_call call{&form, event, 0};
  if (call_plugin([&] { call_hook(&call); }))
    return say("  the host caught its exception in the hook's call (event " + std::to_string(event) +
               "); the form goes on");
  say([&] { return "  hook event " + std::to_string(event) + " -> " + std::to_string(call.result); });
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
      const c_numbers in_c;
      const double units = std::strtod(typed.c_str(), &end);
      if (typed.empty() || *end) return refuse("not an amount");
      // Typed in currency units, held in ten-thousandths.
      const double scaled = std::nearbyint(units * q7::amount_scale);
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
  if (!number) return say([&] { return "  edit refused: " + why; }), false;
  const forms::item_view& field = form.items[number - 1].view;
  // The transcript's line, made only when one is written (say of a lambda).
  const auto line = [&](std::string_view outcome) {
    std::string text = "  edit item " + std::to_string(number);
    if (number >= 2 && form.items[number - 2].view.kind == forms::kind_label)
      text += " \"" + label_text(form.items[number - 2].view) + "\"";
    return text.append(" = ").append(edit.value).append(outcome);
  };
  if (field.kind != forms::kind_input) return say([&] { return line(": refused, not an input field"); }), false;
  if (!store(form, field, edit.value, why)) return say([&] { return line(": refused, " + why); }), false;
  say([&] { return line(""); });
  raise(form, forms::event_changed);
  return true;
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
      if (!transcript().ask("  " + std::to_string(i + 1) + " " + label + "[" + field_value(form, field, text_as::typed) + "]: ", reply))
        return false;
      const auto words = split_words(reply);
      if (words.empty()) continue;
      if (words.size() == 1 && (words[0] == "ok" || words[0] == "f12" || words[0] == "F12")) {
        code = q7::confirmed;
        transcript().replied_steps.push_back("answer ok");
        return true;
      }
      if (words.size() == 1 && words[0] == "cancel") {
        code = q7::cancelled;
        transcript().replied_steps.push_back("answer cancel");
        return true;
      }
      if (apply(form, {std::to_string(i + 1), "", reply}))
        transcript().replied_steps.push_back("edit " + std::to_string(i + 1) + " " + reply);
    }
    draw(form, "now");
    std::string reply;
    if (!transcript().ask("  ok (F12), cancel, or Enter to go through the fields again: ", reply)) return false;
    const auto words = split_words(reply);
    if (words.size() == 1 && (words[0] == "ok" || words[0] == "f12" || words[0] == "F12" || words[0] == "cancel")) {
      code = words[0] == "cancel" ? q7::cancelled : q7::confirmed;
      transcript().replied_steps.push_back(words[0] == "cancel" ? "answer cancel" : "answer ok");
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

std::string& form_refusal() {
  static std::string why;
  return why;
}

uint16_t show_form(const void* block, int32_t number, void* record, q7::form_hook hook) {
  const auto name = [number] { return "form " + std::to_string(number); };
  if (current_form || !block || !record) {
    say("  " + name() + (current_form ? ": another form is open" : ": no template block or no record"));
    return 0;
  }
  // One form is open at a time: its items and values keep their room for the next.
  static open_form kept;
  open_form& form = kept;
  form.number = number;
  form.hook = hook;
  form.window = {};
  form.items.clear();
  form.values.clear();
  const auto read = forms::walk_form(
      block_at(block), static_cast<uint16_t>(number),
      [&](std::size_t index, const forms::item_view& item) {
        if (index == 0) form.window = item;
        else form.items.push_back({item});
      });
  if (!read) {
    form_refusal() = read.error;
    say([&] {
      return "  " + name() + " cannot be shown: " + read.error + " (byte " + std::to_string(read.error_at) +
             " of the block)";
    });
    return 0;
  }
  form.values.resize(read.bound_bytes);
  if (read.bound_bytes) std::memcpy(form.values.data(), record, read.bound_bytes);  // a form of no fields has no room
  terminate_texts(form);
  const form_shown being_shown(form);
  say([&] {
    return "  " + name() + " \"" + joined(characters_of(form.window.text)) +
           "\": " + std::to_string(form.items.size()) + " items, " + std::to_string(read.bound_bytes) +
           " bytes of the record bound" + (hook ? ", with hook" : "");
  });
  raise(form, forms::event_setup);
  show_opening(form);
  press_keys_in_form();
  auto& edits = plan().form_edits;
  while (!edits.empty()) {
    const form_edit edit = edits.front();
    edits.pop_front();
    apply(form, edit);
  }
  // No scripted answer at the terminal: the person fills the form in.
  int asked = 0;
  const bool person = transcript().ask && plan().answers.empty() && ask_fields(form, asked);
  show_closing(form);
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
    if (!transcript().quiet) where += (where.empty() ? " on item " : ", ") + std::to_string(i + 1);
  }
  if (field == q7::forms::all_items) return say([&] { return what() + " on every item"; });
  if (where.empty()) return say([&] { return "  set item state: no item with field number " + hex(field); });
  say([&] { return what() + where + " (field " + hex(field) + ")"; });
}

}  // namespace torval
