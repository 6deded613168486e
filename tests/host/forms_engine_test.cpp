// The stand-in host's forms engine with the plug-in's block: show form, the
// script's edits, the hook's events, exchange of form data and item states.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "abi/form_template.h"
#include "abi/form_template_writer.h"
#include "abi/mazovia.h"
#include "abi/records.h"
#include "plugin/fees/form_templates.h"
#include "plugin/hostlink/services.h"
#include "tests/support.h"

namespace q7 {
namespace {

using test::step;
using test::transcript_of;

constexpr uint8_t beyond = 0xAB;  // fills the record bytes no form is bound to

class FormsEngine : public ::testing::Test {
 protected:
  void SetUp() override {
    test::attach_plugin_code();
    step("show forms values");  // a test that wants the drawing asks for it
    std::memset(&sheet, 0, sizeof sheet);
    std::memset(reinterpret_cast<char*>(&sheet) + bound, beyond, sizeof sheet - bound);
    sheet.head.plot_no = 12;
    sheet.head.area_m2 = 300;
    std::strcpy(sheet.head.holder_name, MZ("Jan Kowalski-Wiśniewski z Łodzi, ul. Ogrodowa 7"));
    sheet.plot_rate = 3800;
    sheet.water_rate = 4200;
    sheet.energy_rate = 100000;
    sheet.membership_fee = 60000;
    sheet.usage_fee = 1140000;
    sheet.water_fee = 1260000;
    sheet.heating_fee = 1500000;
    sheet.total = 3960000;
    std::strcpy(sheet.fee_letters, "r c150 (woda, centralne ogrzewanie)");
  }

  uint16_t show_annual_fees(form_hook hook) {
    return svc_52026_show_form(form_template_block.data(), annual_fees_form, &sheet, hook, 0);
  }

  bool beyond_untouched() const {
    const auto* bytes = reinterpret_cast<const uint8_t*>(&sheet);
    for (std::size_t i = bound; i < sizeof sheet; ++i)
      if (bytes[i] != beyond) return false;
    return true;
  }

  static constexpr std::size_t bound = offsetof(fee_sheet, membership_line);
  fee_sheet sheet;
};

// Lines of a transcript that begin with the given text.
std::vector<std::string> lines_beginning(const std::string& transcript, const std::string& start) {
  std::vector<std::string> out;
  std::istringstream in(transcript);
  for (std::string line; std::getline(in, line);)
    if (line.rfind(start, 0) == 0) out.push_back(line);
  return out;
}

// A hook as a form hook of the plug-in behaves: the event in the low 16 bits,
// the form's values fetched into a sheet of its own and stored back.
struct hook_record {
  std::vector<int32_t> events;
  bool fetched_only_bound_bytes = true;
};
hook_record hook_seen;

int32_t Q7_STDCALL test_hook(int32_t, int32_t event) {
  hook_seen.events.push_back(event);
  switch (static_cast<int16_t>(event)) {
    case forms::event_setup:
      svc_52034_set_item_state(water_fee_marker, forms::state_hidden, 1);
      break;
    case forms::event_changed: {
      fee_sheet own;
      std::memset(&own, 0x5A, sizeof own);
      svc_52040_exchange_form_data(&own, forms::form_to_record);
      for (std::size_t i = offsetof(fee_sheet, membership_line); i < sizeof own; ++i)
        if (reinterpret_cast<const uint8_t*>(&own)[i] != 0x5A) hook_seen.fetched_only_bound_bytes = false;
      own.total = own.plot_rate * own.head.area_m2 + own.membership_fee;
      svc_52040_exchange_form_data(&own, forms::record_to_form);
      svc_52034_set_item_state(forms::all_items, forms::state_redraw, 1);
      break;
    }
  }
  return 0;
}

TEST_F(FormsEngine, ConfirmWritesTheEditedValuesIntoTheBoundBytesOnly) {
  step("edit 8 0.50");
  step("edit (6) Stawka = 12.5");
  step("edit (3) Użytkownik: = Anna Żółć");
  step("edit 27 r e c150");
  step("edit 2 -5");
  step("answer ok");
  EXPECT_EQ(show_annual_fees(nullptr), 0x5001);
  EXPECT_EQ(+sheet.plot_rate, 5000.0);
  EXPECT_EQ(+sheet.energy_rate, 125000.0);
  EXPECT_STREQ(sheet.head.holder_name, MZ("Anna Żółć"));
  EXPECT_STREQ(sheet.fee_letters, "r e c150");
  EXPECT_EQ(+sheet.head.plot_no, -5);
  // The other field numbered 0x4105 and the fields not edited are kept.
  EXPECT_EQ(+sheet.membership_fee, 60000.0);
  EXPECT_EQ(+sheet.water_rate, 4200.0);
  EXPECT_EQ(+sheet.total, 3960000.0);
  EXPECT_TRUE(beyond_untouched());
}

TEST_F(FormsEngine, CancelOrNoAnswerLeavesTheRecordAsItWas) {
  const fee_sheet before = sheet;
  step("edit 8 0.50");
  step("edit 27 e");
  step("answer cancel");
  EXPECT_EQ(show_annual_fees(nullptr), 0x5002);
  EXPECT_EQ(std::memcmp(&sheet, &before, sizeof sheet), 0);
  step("edit 8 0.50");
  const std::string shown = transcript_of([&] { EXPECT_EQ(show_annual_fees(nullptr), 0x5002); });
  EXPECT_NE(shown.find("  (no answer scripted for the form: 20482)\n  -> 20482 (Cancel)\n"), std::string::npos);
  EXPECT_EQ(std::memcmp(&sheet, &before, sizeof sheet), 0);
}

TEST_F(FormsEngine, ValuesAFieldDoesNotTakeAreRefused) {
  for (const char* edit : {"edit 8 abc", "edit 8 1e20", "edit 8 1234567890123456", "edit 2 -32768",
                           "edit 4 32767", "edit 2 7.5", "edit 7 1", "edit 30 1", "edit x 1",
                           "edit (1 = 5", "edit Nieznane = 1", "edit (2) Powierzchnia = 299"})
    step(edit);
  step("edit 27 " + std::string(70, 'c'));
  step("answer ok");
  std::memset(sheet.head.holder_name, 'y', sizeof sheet.head.holder_name);  // no terminator
  const std::string shown = transcript_of([&] { EXPECT_EQ(show_annual_fees(nullptr), 0x5001); });
  const std::vector<std::string> expected = {
      "  edit item 8 \"(4) Stawka opłaty działka:\" = abc: refused, not an amount",
      "  edit item 8 \"(4) Stawka opłaty działka:\" = 1e20: refused, outside the field's limits",
      "  edit item 8 \"(4) Stawka opłaty działka:\" = 1234567890123456: refused, longer than 15 characters",
      "  edit item 2 \"(1) Działka nr:\" = -32768: refused, outside -32767 to 32767",
      "  edit item 4 \"(2) Powierzchnia m2:\" = 32767",
      "  edit item 2 \"(1) Działka nr:\" = 7.5: refused, not a whole number",
      "  edit item 7 = 1: refused, not an input field",
      "  edit refused: the form has no item 30",
      "  edit refused: the form has no item x",
      "  edit refused: more than one label begins with \"(1\"",
      "  edit refused: no label \"Nieznane\"",
      "  edit item 4 \"(2) Powierzchnia m2:\" = 299",
      "  edit item 27 = " + std::string(70, 'c'),
  };
  EXPECT_EQ(lines_beginning(shown, "  edit"), expected);
  EXPECT_EQ(+sheet.plot_rate, 3800.0);
  EXPECT_EQ(+sheet.head.plot_no, 12);
  EXPECT_EQ(+sheet.head.area_m2, 299);
  EXPECT_EQ(std::string(sheet.fee_letters), std::string(60, 'c'));  // typing stops at 60
  EXPECT_EQ(std::string(sheet.head.holder_name), std::string(100, 'y'));  // the form holds 100
  EXPECT_TRUE(beyond_untouched());
}

TEST_F(FormsEngine, TheHookSeesSetupOnceThenAChangeAfterEachEdit) {
  hook_seen = {};
  step("edit 8 0.50");
  step("edit 8 nonsense");
  step("edit (7) Składka = 8");
  step("answer ok");
  const std::string shown = transcript_of([&] { EXPECT_EQ(show_annual_fees(&test_hook), 0x5001); });
  // -2 arrives as 0xFFFE: the event is the low 16 bits only.
  EXPECT_EQ(hook_seen.events, (std::vector<int32_t>{0xFFFE, 0, 0}));
  EXPECT_TRUE(hook_seen.fetched_only_bound_bytes);
  EXPECT_EQ(+sheet.total, 5000.0 * 300 + 80000.0);  // stored by the hook into the form
  EXPECT_TRUE(beyond_untouched());
  // The values as the form opens and as it closes: the hidden water marker
  // is shown in neither, the energy marker beside its field in both; the
  // field with no label before it is named by its item number.
  const std::string holder = "(3) \"Jan Kowalski-Wiśniewski z Łodzi, ul. Ogrodowa 7\"";
  const std::string letters = "item 27: \"r c150 (woda, centralne ogrzewanie)\"";
  EXPECT_EQ(lines_beginning(shown, "  form 1001 "),
            (std::vector<std::string>{
                "  form 1001 \"Generuj opłaty roczne\": 29 items, 238 bytes of the record bound, with hook",
                "  form 1001 opens: (1) 12 · (2) 300 · " + holder + " · (4) 0.38 · (5) 0.42 · (6) 10.00 · "
                "(7) 6.00 · (8) 114.00 · (9) 0.00 ␂Brak opłaty · (10) 126.00 · (11) 150.00 · Razem: 396.00 · " +
                    letters,
                "  form 1001 closes: (1) 12 · (2) 300 · " + holder + " · (4) 0.50 · (5) 0.42 · (6) 10.00 · "
                "(7) 8.00 · (8) 114.00 · (9) 0.00 ␂Brak opłaty · (10) 126.00 · (11) 150.00 · Razem: 158.00 · " +
                    letters}));
  EXPECT_EQ(shown.find("│"), std::string::npos);  // nothing drawn unless asked for
  EXPECT_NE(shown.find("  state 0x0800 set on item 24 (field 0x410D)\n"), std::string::npos);
}

// A hook that hides the water fee's marker as the form is set up and shows it
// at a change, changing no value.
int32_t Q7_STDCALL marker_hook(int32_t, int32_t event) {
  svc_52034_set_item_state(water_fee_marker, forms::state_hidden, static_cast<int16_t>(event) == forms::event_setup);
  return 0;
}

// A form closing with every value and marker as it opened says so in one
// line; any change, even one its two decimals do not show, says the values.
TEST_F(FormsEngine, AFormClosesUnchangedOnlyWhenEveryValueIsAsItOpened) {
  const struct {
    std::vector<const char*> edits;
    form_hook hook;
    bool unchanged;
  } cases[] = {
      {{}, nullptr, true},
      {{"edit 8 abc", "edit 7 1"}, nullptr, true},      // refused
      {{"edit 8 0.38"}, nullptr, true},                 // typed as it was
      {{"edit 8 0.50", "edit 8 0.38"}, nullptr, true},  // and back
      {{"edit 8 0.50"}, nullptr, false},
      {{"edit 8 0.3801"}, nullptr, false},
      {{"edit 8 0.38"}, &test_hook, false},    // the hook works the total out anew
      {{"edit 8 0.38"}, &marker_hook, false},  // a marker shown
  };
  for (const auto& c : cases) {
    for (const char* edit : c.edits) step(edit);
    step("answer cancel");
    const std::string shown = transcript_of([&] { show_annual_fees(c.hook); });
    const auto closing = lines_beginning(shown, "  form 1001 closes");
    ASSERT_EQ(closing.size(), 1u) << shown;
    if (c.unchanged) EXPECT_EQ(closing[0], "  form 1001 closes unchanged") << shown;
    else EXPECT_EQ(closing[0].rfind("  form 1001 closes: (1) 12 · ", 0), 0u) << shown;
  }
}

TEST_F(FormsEngine, ExchangeAndItemStateNeedAnOpenForm) {
  const fee_sheet before = sheet;
  const std::string shown = transcript_of([&] {
    svc_52040_exchange_form_data(&sheet, forms::form_to_record);
    svc_52034_set_item_state(water_fee_marker, forms::state_hidden, 1);
  });
  EXPECT_EQ(shown, "  exchange form data: no form is open\n  set item state: no form is open\n");
  EXPECT_EQ(std::memcmp(&sheet, &before, sizeof sheet), 0);
}

TEST_F(FormsEngine, AFormThatCannotBeReadIsNotShown) {
  const fee_sheet before = sheet;
  step("answer ok");
  std::string shown = transcript_of(
      [&] { EXPECT_EQ(svc_52026_show_form(form_template_block.data(), 1002, &sheet, nullptr), 0); });
  EXPECT_EQ(shown, "  form 1002 cannot be shown: the form is not in the block (byte 2624 of the block)\n");
  std::vector<uint8_t> damaged(form_template_block.begin(), form_template_block.end());
  damaged[forms::block_head_size + forms::form_head_size + 42] = 9;  // the first label's kind
  shown = transcript_of(
      [&] { EXPECT_EQ(svc_52026_show_form(damaged.data(), annual_fees_form, &sheet, nullptr, 0), 0); });
  EXPECT_EQ(shown, "  form 1001 cannot be shown: an item of an unknown kind (byte 50 of the block)\n");
  EXPECT_EQ(std::memcmp(&sheet, &before, sizeof sheet), 0);
  // The scripted answer is still there for the next form shown.
  EXPECT_EQ(show_annual_fees(nullptr), 0x5001);
}

TEST_F(FormsEngine, TheDebtsAndEntryFeesFormsFillTheHeadsOfTheirSheets) {
  debts_sheet debts;
  std::memset(&debts, beyond, sizeof debts);
  debts.head = sheet.head;
  debts.water_prev_year = debts.water_advance = debts.power_prev_year = debts.power_advance = 0;
  step("edit Prąd zaliczka: = 45.30");
  step("edit Woda z = 12");  // "Wo~d~a zaliczka:", the only label shown so
  step("answer ok");
  const std::string shown = transcript_of([&] {
    EXPECT_EQ(svc_52026_show_form(form_template_block.data(), previous_year_debts_form, &debts, nullptr), 0x5001);
  });
  // Labels without a number name their fields whole, hot-key marks left out.
  EXPECT_NE(shown.find("  form 1003 closes: Działka nr: 12 · Powierzchnia m2: 300 · Użytkownik: \"Jan "
                       "Kowalski-Wiśniewski z Łodzi, ul. Ogrodowa 7\" · Woda poprzedni rok: 0.00 · Woda "
                       "zaliczka: 12.00 · Prąd poprzedni rok: 0.00 · Prąd zaliczka: 45.30\n"),
            std::string::npos)
      << shown;
  EXPECT_EQ(+debts.power_advance, 453000.0);
  EXPECT_EQ(+debts.water_advance, 120000.0);
  EXPECT_EQ(+debts.water_prev_year, 0.0);
  for (std::size_t i = offsetof(debts_sheet, water_prev_line); i < sizeof debts; ++i)
    ASSERT_EQ(reinterpret_cast<const uint8_t*>(&debts)[i], beyond) << i;

  entry_fee_sheet entry;
  std::memset(&entry, beyond, sizeof entry);
  entry.head = sheet.head;
  entry.entry_fee = entry.investment_fee = 0;
  step("edit Wpisowe: = 150");
  step("edit 10 20.5");
  step("answer ok");
  EXPECT_EQ(svc_52026_show_form(form_template_block.data(), entry_fees_form, &entry, nullptr), 0x5001);
  EXPECT_EQ(+entry.entry_fee, 1500000.0);
  EXPECT_EQ(+entry.investment_fee, 205000.0);
  for (std::size_t i = offsetof(entry_fee_sheet, entry_fee_line); i < sizeof entry; ++i)
    ASSERT_EQ(reinterpret_cast<const uint8_t*>(&entry)[i], beyond) << i;
}

// A form of the three ways of naming a field and of markers with and
// without a field left of them on their row.
#pragma pack(push, 1)
struct small_record {
  double amount;
  char note[21];
  int16_t count;
};
#pragma pack(pop)
constexpr std::array small_items{
    forms::label(2, 2, "(12) Kwota:"),
    forms::input(20, 2, 16, forms::amount, 0x4101, 0, Q7_BOUND(small_record, amount)),
    forms::marker(40, 2, 8, "obok", 0x4201),
    forms::input(20, 4, 20, forms::text(20), 0x4102, 0, Q7_BOUND(small_record, note)),
    forms::marker(2, 4, 8, "lewy", 0x4202),  // no field left of it
    forms::label(2, 6, "(ab) Inne:"),
    forms::input(20, 6, 6, forms::integer, 0x4103, 0, Q7_BOUND(small_record, count)),
};
constexpr std::array<forms::form_description, 1> small_forms{{{2001, MZ("Mały"), 50, 9, small_items}}};
constexpr auto small_block = forms::build_form_block<small_forms>();

TEST_F(FormsEngine, TheValuesLineNamesEachFieldAndTheMarkersShown) {
  small_record record{125000.0, "notatka", 7};
  step("answer cancel");
  const std::string shown = transcript_of([&] { svc_52026_show_form(small_block.data(), 2001, &record, nullptr); });
  EXPECT_NE(shown.find("  form 2001 opens: (12) 12.50 obok · item 4: \"notatka\" · (ab) Inne: 7 · marker 5: lewy\n"),
            std::string::npos)
      << shown;
}

// The drawing of form 1001, made from the block, against the one kept in
// tests/forms/. A differing drawing is written beside the tests' build.
TEST_F(FormsEngine, TheAnnualFeesFormIsDrawnFromTheBlock) {
  hook_seen = {};
  step("show forms");
  step("edit (4) Stawka = 0.40");
  step("edit 27 r e c150");
  step("answer ok");
  const std::string shown = transcript_of([&] { EXPECT_EQ(show_annual_fees(&test_hook), 0x5001); });
  const std::string path = std::string(Q7_TEST_FILES) + "/forms/annual_fees_form.expected";
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "cannot read " << path;
  std::string expected, line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    expected += line + '\n';
  }
  if (shown != expected) std::ofstream("annual_fees_form.actual", std::ios::binary) << shown;
  EXPECT_EQ(shown, expected);
  step("show forms values");
}

}  // namespace
}  // namespace q7
