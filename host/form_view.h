// What the forms engine (host/forms.cpp) shows of a form: an open form's
// items and values, drawn from the template block into the transcript as a
// person would see the window, and the texts of its labels and values.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "abi/form_template_reader.h"
#include "abi/records.h"

namespace torval {

struct form_item {
  q7::forms::item_view view;
  int32_t state = 0;
};

struct open_form {
  int32_t number = 0;
  q7::forms::item_view window;
  std::vector<form_item> items;  // items[0] is item 1
  std::vector<uint8_t> values;   // the form's own copy of the bound record bytes
  q7::form_hook hook = nullptr;
};

// A number in hexadecimal, "0x" and at least digits digits.
std::string hex(unsigned value, int digits = 4);
// The characters of a text, one string a character, markup made visible.
using characters = std::vector<std::string>;
characters characters_of(std::span<const uint8_t> text, bool without_tildes = false);
std::string joined(const characters& chars);
// The text of a label as it is shown, in UTF-8.
std::string label_text(const q7::forms::item_view& label);
// The value of an input field in the form's copy, as typed.
std::string value_text(const q7::forms::item_view& field, const uint8_t* value);
// Draws the form into the transcript, as it opens, closes or now is.
void draw(const open_form& form, const char* moment);
// The hot keys of the form's labels and buttons.
void say_hot_keys(const open_form& form);

}  // namespace torval
