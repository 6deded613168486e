// The form template block as the forms engine reads it, and the reader's
// refusal of damaged blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "abi/form_template_reader.h"
#include "abi/mazovia.h"
#include "abi/records.h"
#include "plugin/fees/form_templates.h"

namespace q7 {
namespace {

using forms::item_view;

std::vector<item_view> items_of(std::span<const uint8_t> block, int32_t form) {
  std::vector<item_view> items;
  const auto read = forms::walk_form(block, static_cast<uint16_t>(form),
                                     [&](std::size_t, const item_view& item) { items.push_back(item); });
  EXPECT_TRUE(read) << "form " << form << ": " << read.error << " at " << read.error_at;
  return items;  // items[0] is the window item
}

std::vector<item_view> items_of(int32_t form) { return items_of(form_template_block, form); }

std::string text_of(const item_view& item) { return {item.text.begin(), item.text.end()}; }

uint16_t u16_at(std::span<const uint8_t> block, std::size_t at) {
  return static_cast<uint16_t>(block[at] | block[at + 1] << 8);
}

TEST(FormTemplateBlock, InputFieldLengthsComeFromTheirLengthWord) {
  const struct {
    uint16_t format;
    std::size_t length, max_chars;
  } by_format[] = {{forms::format_integer, 45, 6},
                   {forms::format_amount, 57, 15},
                   {forms::format_text, 43, 60},
                   {forms::format_text_lines, 43, 100}};
  const auto block = form_template_block;
  int fields = 0;
  for (int32_t form : {annual_fees_form, previous_year_debts_form, entry_fees_form}) {
    for (const auto& item : items_of(form)) {
      if (item.kind != forms::kind_input) continue;
      ++fields;
      SCOPED_TRACE(testing::Message() << "form " << form << ", input field at " << item.offset);
      EXPECT_EQ(u16_at(block, item.offset + 2) + 5u, item.length);
      EXPECT_EQ(u16_at(block, item.offset + 4), forms::kind_input);  // the head repeats the kind
      EXPECT_TRUE(item.text.empty());
      EXPECT_EQ(item.hot_key, 0);
      bool known = false;
      for (const auto& f : by_format) {
        if (f.format != item.format) continue;
        known = true;
        EXPECT_EQ(item.length, f.length);
        EXPECT_EQ(item.max_chars, f.max_chars);
      }
      EXPECT_TRUE(known);
      // Typed by the user: the rates and the membership fee of form 1001, every
      // amount of 1003 and 1004; everything else is supplied by the plug-in.
      const bool typed = form != annual_fees_form ? item.format == forms::format_amount
                                                  : item.record_offset >= offsetof(fee_sheet, plot_rate) &&
                                                        item.record_offset <= offsetof(fee_sheet, membership_fee);
      EXPECT_EQ(item.flags, typed ? forms::typed : forms::supplied);
      switch (item.format) {
        case forms::format_integer:
          EXPECT_EQ(item.integer_min, -32767);
          EXPECT_EQ(item.integer_max, 32767);
          break;
        case forms::format_amount:
          EXPECT_EQ(item.amount_min, -1e13);
          EXPECT_EQ(item.amount_max, 1e13);
          break;
        default:
          EXPECT_EQ(item.buffer_length, item.max_chars);
          EXPECT_EQ(item.lines, item.format == forms::format_text_lines ? 4 : 1);
          EXPECT_EQ(item.height, item.lines);
      }
    }
  }
  EXPECT_EQ(fields, 13 + 7 + 5);
  // The holder shows 28 x 4 of its 100 characters, the fee letters 10 of their 60.
  const auto items = items_of(annual_fees_form);
  EXPECT_EQ(items[6].width, 28);
  EXPECT_EQ(items[6].height, 4);
  EXPECT_EQ(items[27].format, forms::format_text);
  EXPECT_EQ(items[27].width, 10);
  EXPECT_EQ(items[27].record_size, 61u);
}

// A label is as wide as the text it shows (without the tildes that mark its
// hot key), its hot key is the marked letter in upper case, and it stands
// left of the input field it names, on that field's row.
TEST(FormTemplateBlock, LabelsTakeTheirWidthAndHotKeyFromTheirText) {
  int labels = 0, hot_keys = 0;
  for (int32_t form : {annual_fees_form, previous_year_debts_form, entry_fees_form}) {
    const auto items = items_of(form);
    for (std::size_t i = 1; i < items.size(); ++i) {
      const item_view& item = items[i];
      if (item.kind != forms::kind_label) continue;
      SCOPED_TRACE(testing::Message() << "form " << form << ", item " << i << ": " << text_of(item));
      ++labels;
      const std::string text = text_of(item);
      const std::size_t tilde = text.find('~');
      const std::size_t shown = text.size() - (tilde == std::string::npos ? 0 : 2);
      EXPECT_EQ(item.width, shown);
      EXPECT_EQ(item.height, 1);
      EXPECT_EQ(item.field, forms::no_field);
      if (tilde == std::string::npos) {
        EXPECT_EQ(item.hot_key, 0);
      } else {
        ++hot_keys;
        ASSERT_EQ(text.at(tilde + 2), '~');
        EXPECT_EQ(item.hot_key, std::toupper(static_cast<unsigned char>(text[tilde + 1])));
      }
      if (i + 1 < items.size() && items[i + 1].kind == forms::kind_input) {
        EXPECT_EQ(items[i + 1].y, item.y);
        EXPECT_GT(items[i + 1].x, item.x + item.width);
      }
    }
  }
  EXPECT_GT(labels, 20);
  EXPECT_EQ(hot_keys, 9);  // three rates, four debts, two entry fees
}

TEST(FormTemplateBlock, WindowsMarkersAndButtonsAreAsTheFormsNeedThem) {
  const struct {
    int32_t form;
    const char* title;
    uint16_t height, button_row, confirm_flags;
  } windows[] = {
      {annual_fees_form, MZ("Generuj opłaty roczne"), 23, 20, 0x8004},
      {previous_year_debts_form, MZ("Zadłużenie z poprzedniego roku"), 18, 15, 0x0004},
      {entry_fees_form, MZ("Wpisowe"), 18, 15, 0x0004},
  };
  for (const auto& w : windows) {
    SCOPED_TRACE(w.form);
    const auto items = items_of(w.form);
    const item_view& window = items.front();
    EXPECT_EQ(window.kind, forms::kind_window);
    EXPECT_EQ(window.field, w.form);
    EXPECT_EQ(window.flags, 0x0200);
    EXPECT_EQ(window.width, 75);
    EXPECT_EQ(window.height, w.height);
    EXPECT_EQ(text_of(window), w.title);
    const item_view& cancel = items[items.size() - 2];
    const item_view& confirm = items.back();
    for (const auto* b : {&cancel, &confirm}) {
      EXPECT_EQ(b->kind, forms::kind_button);
      EXPECT_EQ(b->y, w.button_row);
      EXPECT_EQ(b->width, 10);
      EXPECT_EQ(b->height, 1);
    }
    EXPECT_EQ(cancel.field, 0x5002);
    EXPECT_EQ(cancel.x, 25);
    EXPECT_EQ(cancel.flags, 0);
    EXPECT_EQ(cancel.hot_key, 0);
    EXPECT_EQ(text_of(cancel), "Anuluj");
    EXPECT_EQ(confirm.field, 0x5001);
    EXPECT_EQ(confirm.x, 39);
    EXPECT_EQ(confirm.flags, w.confirm_flags);
    EXPECT_EQ(confirm.hot_key, 0x5500);
    EXPECT_EQ(text_of(confirm), "\x05" "F12" "\x01" " OK");
  }
  const auto items = items_of(annual_fees_form);
  const struct {
    std::size_t item;
    uint16_t y, field;
  } markers[] = {{23, 14, 0x410C}, {24, 15, 0x410D}};
  for (const auto& m : markers) {
    const item_view& marker = items[m.item];
    EXPECT_EQ(marker.kind, forms::kind_marker);
    EXPECT_EQ(marker.field, m.field);
    EXPECT_EQ(marker.x, 60);
    EXPECT_EQ(marker.y, m.y);
    EXPECT_EQ(marker.width, 13);
    EXPECT_EQ(marker.flags, 0);
    EXPECT_EQ(marker.record_size, 0u);
    EXPECT_EQ(text_of(marker), std::string("\x02") + MZ("Brak opłaty"));
  }
}

TEST(FormTemplateBlock, DebtsAndEntryFeesFormsShareTheirFirstSixItems) {
  const auto debts = items_of(previous_year_debts_form);
  const auto entry = items_of(entry_fees_form);
  for (std::size_t i = 1; i <= 6; ++i) {
    SCOPED_TRACE(i);
    ASSERT_EQ(debts[i].length, entry[i].length);
    EXPECT_EQ(std::memcmp(form_template_block.data() + debts[i].offset,
                          form_template_block.data() + entry[i].offset, debts[i].length),
              0);
  }
}

// A damaged copy of the block, in a buffer of exactly its size, so that the
// sanitizer catches any read beyond it.
class DamagedBlock : public ::testing::Test {
 protected:
  std::vector<uint8_t> block{form_template_block.begin(), form_template_block.end()};

  std::string error_of(int32_t form) const {
    const auto read = forms::walk_form(block, static_cast<uint16_t>(form));
    return read ? "" : read.error;
  }
  void set_u16(std::size_t at, uint16_t value) {
    block[at] = static_cast<uint8_t>(value);
    block[at + 1] = static_cast<uint8_t>(value >> 8);
  }
  item_view item(int32_t form, std::size_t index) const { return items_of(block, form).at(index); }
  std::size_t form_at(int32_t form) const {
    return forms::walk_form(block, static_cast<uint16_t>(form)).form_offset;
  }
};

TEST_F(DamagedBlock, AFormTheBlockDoesNotHoldIsReported) {
  EXPECT_EQ(error_of(1002), "the form is not in the block");
  EXPECT_EQ(forms::walk_form({}, annual_fees_form).error, std::string("the block is shorter than its head"));
}

TEST_F(DamagedBlock, LengthsThatRunPastTheEndAreRefused) {
  set_u16(0, 2621);
  EXPECT_EQ(error_of(annual_fees_form), "the block's length runs past its end");
  set_u16(0, 2620);

  block = std::vector<uint8_t>(block.begin(), block.begin() + 2000);  // the head still says 2620
  EXPECT_EQ(error_of(annual_fees_form), "the block's length runs past its end");
  block.assign(form_template_block.begin(), form_template_block.end());

  const std::size_t last = form_at(entry_fees_form);
  set_u16(last, 500);  // one byte more than the block holds
  EXPECT_EQ(error_of(entry_fees_form), "a form template's body runs past the end of the block");
  set_u16(last, 498);  // the last button's text then runs past the body
  EXPECT_EQ(error_of(entry_fees_form), "an item's text has no terminator within its form");
  set_u16(last, 499);

  const item_view field = item(annual_fees_form, 2);
  set_u16(field.offset + 2, 0xFFFF);
  EXPECT_EQ(error_of(annual_fees_form), "an input field's length runs past the end of its form");
  set_u16(field.offset + 2, 41);  // one more than an integer field has
  EXPECT_EQ(error_of(annual_fees_form), "an input field's length word does not match its format");
  // Another form found by stepping over the damaged one is still read.
  EXPECT_EQ(error_of(previous_year_debts_form), "");
}

TEST_F(DamagedBlock, ABodyLengthOrItemCountThatDisagreesWithTheItemsIsRefused) {
  const std::size_t first = form_at(annual_fees_form);
  set_u16(first + 2, 30);
  EXPECT_EQ(error_of(annual_fees_form), "the form's body ends before its last item");
  set_u16(first + 2, 28);
  EXPECT_EQ(error_of(annual_fees_form), "the form's items end before the end of its body");
  set_u16(first + 2, 29);
  set_u16(first, 1383);  // the next form is then looked for one byte too far
  EXPECT_EQ(error_of(previous_year_debts_form), "a form template does not begin with its window item");
}

TEST_F(DamagedBlock, UnknownKindsAndFormatsAreRefused) {
  const item_view label = item(annual_fees_form, 1);
  set_u16(label.offset, 7);
  EXPECT_EQ(error_of(annual_fees_form), "an item of an unknown kind");
  set_u16(label.offset, forms::kind_window);
  EXPECT_EQ(error_of(annual_fees_form), "a second window item within a form");
  set_u16(label.offset, forms::kind_label);

  const item_view field = item(annual_fees_form, 2);
  set_u16(field.offset + 4, forms::kind_label);
  EXPECT_EQ(error_of(annual_fees_form), "an input field's head names another kind");
  set_u16(field.offset + 4, forms::kind_input);
  const std::size_t format_at = field.offset + 4 + 20 + 1 + 7 + 2;
  ASSERT_EQ(u16_at(block, format_at), forms::format_integer);
  set_u16(format_at, 0x0002);
  EXPECT_EQ(error_of(annual_fees_form), "an input field of an unknown format");
}

TEST_F(DamagedBlock, TextsWithoutTerminatorAreRefused) {
  block.back() = 'x';  // the confirm button's text of the last form
  EXPECT_EQ(error_of(entry_fees_form), "an item's text has no terminator within its form");
  const item_view field = item(annual_fees_form, 2);
  for (std::size_t i = field.offset + 4 + 20; i < field.offset + field.length; ++i) block[i] = 'x';
  EXPECT_EQ(error_of(annual_fees_form), "an input field's caption has no terminator within the field");
}

// Random damage: whatever the bytes, the reader stays within the block and
// whatever it accepts lies within the form's body.
TEST_F(DamagedBlock, RandomDamageIsReadWithinTheBlock) {
  uint32_t seed = 12345;
  const auto next = [&seed] { return (seed = seed * 1103515245u + 12345u) >> 8; };
  int accepted = 0;
  for (int round = 0; round < 4000; ++round) {
    std::vector<uint8_t> damaged(form_template_block.begin(), form_template_block.end());
    for (uint32_t n = 1 + next() % 3; n > 0; --n) damaged[next() % damaged.size()] = static_cast<uint8_t>(next());
    if (round % 4 == 0) {  // cut short, the head saying so
      damaged = std::vector<uint8_t>(damaged.begin(), damaged.begin() + 4 + next() % (damaged.size() - 4));
      const uint32_t total = static_cast<uint32_t>(damaged.size() - 4);
      std::memcpy(damaged.data(), &total, sizeof total);
    }
    for (int32_t form : {annual_fees_form, previous_year_debts_form, entry_fees_form}) {
      std::size_t low = damaged.size(), high = 0;
      const auto read = forms::walk_form(damaged, static_cast<uint16_t>(form),
                                         [&](std::size_t, const item_view& item) {
                                           low = std::min(low, item.offset);
                                           high = std::max(high, item.offset + item.length);
                                         });
      if (!read) continue;
      ++accepted;
      EXPECT_EQ(low, read.form_offset + forms::form_head_size);
      EXPECT_EQ(high, read.form_offset + forms::form_head_size + read.body_length);
      EXPECT_LE(high, damaged.size());
    }
  }
  EXPECT_GT(accepted, 0);
}

}  // namespace
}  // namespace q7
