// What the forms engine (host/forms.cpp) shows of a form: an open form's
// items and values, said in one line of its input fields' values, or drawn
// from the template block into the transcript as a person would see the
// window, and the texts of its labels and values.
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
  // As the form opened, when its values line was said: the bytes and the line.
  std::vector<uint8_t> opening_values;
  std::string opening_line;
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
// An input field's value in the form: a number as value_text writes it, or
// the bytes of a text up to its terminator (shown: quoted, markup visible;
// typed: as a person would type it again).
enum class text_as { shown, typed };
std::string field_value(const open_form& form, const q7::forms::item_view& field, text_as how);
// From now on the transcript draws every form as it opens and as it closes,
// with its hot keys (true), or says its values in a line (false, as a
// session begins). At the terminal forms are always drawn.
void draw_forms(bool drawn);
// The form's input fields and shown markers in one line: each field named by
// the label before it (by its "(n)" where the label begins so, by its item
// number where no label comes before it) with its value as typed, a text in
// quotes; a marker shown follows the field left of it on its row.
//   (1) 1 · (3) "Anna Nowak" · (9) 0.00 ␂Brak opłaty · Razem: 406.00 · item 27: "r e c150"
std::string values_line(const open_form& form);
// The form in the transcript as it opens: drawn with its hot keys when
// forms are drawn, else its values line, kept for its closing.
void show_opening(open_form& form);
// The form as it closes: drawn, or its values line; a form whose values are
// all as it opened says so in one short line ("form 1001 closes unchanged").
void show_closing(const open_form& form);
// Draws the form into the transcript, as it opens, closes or now is.
void draw(const open_form& form, const char* moment);
// The hot keys of the form's labels and buttons.
void say_hot_keys(const open_form& form);

}  // namespace torval
