// The three forms as the forms engine lays them out: positions, field
// numbers, formats and flags are written here; every width of a label, hot
// key, length and the block's size are computed from them when the plug-in
// is compiled (abi/form_template.h).
#include "plugin/fees/form_templates.h"

#include <cstddef>

#include "abi/form_template_reader.h"
#include "abi/form_template_writer.h"
#include "abi/mazovia.h"
#include "abi/records.h"

namespace q7 {
namespace {

using namespace forms;

// Every form ends with these two buttons; the confirm button's flags differ.
constexpr uint16_t button_width = 10;
constexpr form_item cancel_button(uint16_t row) {
  return button(25, row, button_width, MZ("Anuluj"), cancelled, 0, 0);
}
constexpr form_item confirm_button(uint16_t row, uint16_t flags) {
  return button(39, row, button_width, MZ("\x05" "F12" "\x01" " OK"), confirmed, flags, hot_key_f12);
}

constexpr uint16_t form_width = 75;
constexpr uint16_t marker_width = 13;
constexpr std::string_view no_fee = MZ("\x02" "Brak opłaty");

template <std::size_t A, std::size_t B>
constexpr std::array<form_item, A + B> join(const std::array<form_item, A>& a,
                                            const std::array<form_item, B>& b) {
  std::array<form_item, A + B> out{};
  for (std::size_t i = 0; i < A; ++i) out[i] = a[i];
  for (std::size_t i = 0; i < B; ++i) out[A + i] = b[i];
  return out;
}

// Form 1001, bound to the fee sheet.
constexpr std::array annual_fees_items{
    label(2, 2, MZ("(1) Działka nr:")),
    input(30, 2, 10, integer, 0x4102, supplied, Q7_BOUND(fee_sheet, head.plot_no)),
    label(2, 3, MZ("(2) Powierzchnia m2:")),
    input(30, 3, 10, integer, 0x4103, supplied, Q7_BOUND(fee_sheet, head.area_m2)),
    label(2, 4, MZ("(3) Użytkownik:")),
    input(30, 4, 28, text_lines(100, 4), 0x4104, supplied, Q7_BOUND(fee_sheet, head.holder_name)),
    label(2, 9, MZ("(4) Stawka opłaty ~d~ziałka:")),
    input(40, 9, 16, amount, 0x4105, typed, Q7_BOUND(fee_sheet, plot_rate)),
    label(2, 10, MZ("(5) Stawka opłaty ~w~oda:")),
    input(40, 10, 16, amount, 0x4106, typed, Q7_BOUND(fee_sheet, water_rate)),
    label(2, 11, MZ("(6) Stawka opłaty ~e~nergia/konserw:")),
    input(40, 11, 16, amount, 0x4106, typed, Q7_BOUND(fee_sheet, energy_rate)),
    label(2, 12, MZ("(7) Składka członkowska:")),
    input(40, 12, 16, amount, 0x4105, typed, Q7_BOUND(fee_sheet, membership_fee)),
    label(2, 13, MZ("(8) Opłata za użytkowanie (2)x(4):")),
    input(40, 13, 16, amount, 0x4106, supplied, Q7_BOUND(fee_sheet, usage_fee)),
    label(2, 14, MZ("(9) Energ/konserwacja przedpłata (6):")),
    input(40, 14, 16, amount, 0x4107, supplied, Q7_BOUND(fee_sheet, energy_fee)),
    label(2, 15, MZ("(10) Woda przedpłata (2)x(5):")),
    input(40, 15, 16, amount, 0x4108, supplied, Q7_BOUND(fee_sheet, water_fee)),
    label(2, 16, MZ("(11) CO:")),
    input(40, 16, 16, amount, 0x4108, supplied, Q7_BOUND(fee_sheet, heating_fee)),
    marker(60, 14, marker_width, no_fee, energy_fee_marker),
    marker(60, 15, marker_width, no_fee, water_fee_marker),
    label(2, 18, MZ("Razem:")),
    input(30, 18, 16, amount, 0x4109, supplied, Q7_BOUND(fee_sheet, total)),
    input(45, 2, 10, text(60), 0x410A, supplied, Q7_BOUND(fee_sheet, fee_letters)),
    cancel_button(20),
    confirm_button(20, 0x8004),
};

// Items 1 to 6 of forms 1003 and 1004, bound to the head of their sheets.
constexpr std::array plot_items{
    label(2, 2, MZ("Działka nr:")),
    input(30, 2, 10, integer, 0x4102, supplied, Q7_BOUND(sheet_head, plot_no)),
    label(2, 3, MZ("Powierzchnia m2:")),
    input(30, 3, 10, integer, 0x4103, supplied, Q7_BOUND(sheet_head, area_m2)),
    label(2, 4, MZ("Użytkownik:")),
    input(30, 4, 28, text_lines(100, 4), 0x4104, supplied, Q7_BOUND(sheet_head, holder_name)),
};

// Form 1003, bound to the debts sheet.
constexpr auto previous_year_debts_items = join(plot_items, std::array{
    label(2, 9, MZ("~W~oda poprzedni rok:")),
    input(40, 9, 16, amount, 0x4105, typed, Q7_BOUND(debts_sheet, water_prev_year)),
    label(2, 10, MZ("Wo~d~a zaliczka:")),
    input(40, 10, 16, amount, 0x4106, typed, Q7_BOUND(debts_sheet, water_advance)),
    label(2, 12, MZ("~P~rąd poprzedni rok:")),
    input(40, 12, 16, amount, 0x4106, typed, Q7_BOUND(debts_sheet, power_prev_year)),
    label(2, 13, MZ("P~r~ąd zaliczka:")),
    input(40, 13, 16, amount, 0x4106, typed, Q7_BOUND(debts_sheet, power_advance)),
    cancel_button(15),
    confirm_button(15, 0x0004),
});

// Form 1004, bound to the entry-fee sheet.
constexpr auto entry_fees_items = join(plot_items, std::array{
    label(2, 9, MZ("~W~pisowe:")),
    input(40, 9, 16, amount, 0x4105, typed, Q7_BOUND(entry_fee_sheet, entry_fee)),
    label(2, 10, MZ("~I~nwestycyjne:")),
    input(40, 10, 16, amount, 0x4106, typed, Q7_BOUND(entry_fee_sheet, investment_fee)),
    cancel_button(15),
    confirm_button(15, 0x0004),
});

constexpr std::array<form_description, 3> all_forms{{
    {annual_fees_form, MZ("Generuj opłaty roczne"), form_width, 23, annual_fees_items},
    {previous_year_debts_form, MZ("Zadłużenie z poprzedniego roku"), form_width, 18,
     previous_year_debts_items},
    {entry_fees_form, MZ("Wpisowe"), form_width, 18, entry_fees_items},
}};

constexpr auto block = build_form_block<all_forms>();

// The block as the forms engine reads it: each form walks to the end of its
// body and binds exactly the head of its sheet that the form shows.
constexpr forms::walk_result read_back(int32_t form) {
  return walk_form(block, static_cast<uint16_t>(form));
}
static_assert(block.size() == 2624);
static_assert(read_back(annual_fees_form) && read_back(previous_year_debts_form) &&
              read_back(entry_fees_form));
static_assert(annual_fees_items.size() == 29 && read_back(annual_fees_form).items == 29);
static_assert(previous_year_debts_items.size() == 16 && read_back(previous_year_debts_form).items == 16);
static_assert(entry_fees_items.size() == 12 && read_back(entry_fees_form).items == 12);
static_assert(read_back(annual_fees_form).body_length == 1382);
static_assert(read_back(previous_year_debts_form).body_length == 727);
static_assert(read_back(entry_fees_form).body_length == 499);
static_assert(read_back(annual_fees_form).bound_bytes == offsetof(fee_sheet, membership_line));
static_assert(read_back(previous_year_debts_form).bound_bytes ==
              offsetof(debts_sheet, water_prev_line));
static_assert(read_back(entry_fees_form).bound_bytes == offsetof(entry_fee_sheet, entry_fee_line));

}  // namespace

constinit const std::span<const uint8_t> form_template_block{block};

}  // namespace q7
