#include "host/form_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/calling_in.h"
#include "host/texts.h"
#include "host/transcript.h"

namespace torval {
namespace {

namespace forms = q7::forms;

// A damaged block may claim any size; nothing larger is drawn.
constexpr std::size_t max_columns = 200;
constexpr std::size_t max_rows = 100;

bool forms_drawn = false;

}  // namespace

std::string hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*X", digits, value);
  return text;
}

namespace {

// One character of a form text as it is drawn: markup bytes as visible
// symbols (as in every text of the transcript), other control bytes as �.
std::string character(uint8_t byte) {
  const char text[2] = {static_cast<char>(byte), 0};
  std::string shown = from_mazovia(text);
  if (shown.size() == 1 && static_cast<unsigned char>(shown[0]) < 0x20) return "�";
  return shown;
}

}  // namespace

characters characters_of(std::span<const uint8_t> text, bool without_tildes) {
  characters out;
  for (uint8_t byte : text)
    if (!(without_tildes && byte == '~')) out.push_back(character(byte));
  return out;
}

namespace {

characters characters_of_ascii(const std::string& ascii) {
  characters out;
  for (char c : ascii) out.push_back(std::string(1, c));
  return out;
}

}  // namespace

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
      const c_numbers in_c;
      std::snprintf(text, sizeof text, "%.2f", scaled / q7::amount_scale);
      return text;
    }
    default: return {};
  }
}

namespace {

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
    chars = characters_of_ascii(value_text(field, value));
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

}  // namespace

void draw(const open_form& form, const char* moment) {
  if (transcript().quiet) return;  // a drawing is for the transcript alone
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

void draw_forms(bool drawn) { forms_drawn = drawn; }

namespace {

// How the values line names an input field: "(n)" of the label before it
// when the label begins so, else the label's text, else its item number.
std::string field_name(const open_form& form, std::size_t index) {
  if (index == 0 || form.items[index - 1].view.kind != forms::kind_label)
    return "item " + std::to_string(index + 1) + ":";
  std::string label = label_text(form.items[index - 1].view);
  if (label.size() > 2 && label[0] == '(') {
    const std::size_t close = label.find(')');
    if (close != std::string::npos && close > 1 &&
        label.find_first_not_of("0123456789", 1) == close)
      return label.substr(0, close + 1);
  }
  return label;
}

}  // namespace

std::string field_value(const open_form& form, const forms::item_view& field, text_as how) {
  const uint8_t* value = form.values.data() + field.record_offset;
  if (field.format != forms::format_text && field.format != forms::format_text_lines)
    return value_text(field, value);
  const uint8_t* end = std::find(value, value + field.max_chars, 0);
  if (how == text_as::typed) return from_mazovia(std::string(value, end).c_str());
  std::string shown = "\"";  // appended: GCC's -Wrestrict takes "…" + text for an overlapping copy
  shown += joined(characters_of(std::span(value, end)));
  return shown += '"';
}

std::string values_line(const open_form& form) {
  struct entry {
    std::size_t item;  // the input field's index; a lone marker's own
    std::string text;
  };
  std::vector<entry> entries;
  for (std::size_t i = 0; i < form.items.size(); ++i) {
    const auto& v = form.items[i].view;
    if (v.kind == forms::kind_input) {
      std::string text = field_name(form, i);
      if (!text.empty()) text += ' ';
      entries.push_back({i, text + field_value(form, v, text_as::shown)});
    }
  }
  // A marker shown goes with the nearest input field left of it on its row.
  for (std::size_t i = 0; i < form.items.size(); ++i) {
    const auto& m = form.items[i].view;
    if (m.kind != forms::kind_marker || (form.items[i].state & forms::state_hidden)) continue;
    entry* beside = nullptr;
    for (entry& e : entries) {
      const auto& f = form.items[e.item].view;
      if (f.kind == forms::kind_input && f.y == m.y && f.x < m.x &&
          (!beside || form.items[beside->item].view.x < f.x))
        beside = &e;
    }
    const std::string shown = joined(characters_of(m.text));
    if (beside) beside->text += " " + shown;
    else entries.push_back({i, "marker " + std::to_string(i + 1) + ": " + shown});
  }
  std::string line;
  for (const entry& e : entries) line += (line.empty() ? "" : " · ") + e.text;
  return line.empty() ? "no input fields" : line;
}

namespace {

// Forms are said as a line of their values, not drawn.
bool values_said() { return !forms_drawn && !transcript().ask; }

}  // namespace

void show_opening(open_form& form) {
  form.opening_values.clear();
  form.opening_line.clear();
  if (transcript().quiet) return;
  if (!values_said()) {
    draw(form, "opens");
    return say_hot_keys(form);
  }
  form.opening_values = form.values;
  form.opening_line = values_line(form);
  say("  form " + std::to_string(form.number) + " opens: " + form.opening_line);
}

void show_closing(const open_form& form) {
  if (transcript().quiet) return;
  if (!values_said()) return draw(form, "closes");
  const std::string line = values_line(form);
  // The line, too, since a marker may have been shown or hidden meanwhile.
  const bool unchanged = form.values == form.opening_values && line == form.opening_line;
  say("  form " + std::to_string(form.number) + (unchanged ? " closes unchanged" : " closes: " + line));
}

void say_hot_keys(const open_form& form) {
  if (transcript().quiet) return;
  for (const form_item& item : form.items) {
    const auto& v = item.view;
    if (!v.hot_key) continue;
    const std::string key = v.hot_key >= 'A' && v.hot_key <= 'Z' ? std::string(1, char(v.hot_key))
                                                                  : hex(v.hot_key);
    say("  hot key " + key + ": " + (v.kind == forms::kind_button ? "button " : "") +
        joined(characters_of(v.text, v.kind == forms::kind_label)));
  }
}

}  // namespace torval
