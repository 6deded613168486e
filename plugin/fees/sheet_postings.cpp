// Ctrl-A (previous-year debts, form 1003) and Ctrl-W (entry and investment
// fees, form 1004) in the list of firms. Both propose the amounts already
// posted under their titles for the bookkeeping year, show their form and
// post every amount that is not zero; they differ in their postings only.
#include <cstddef>

#include "abi/mazovia.h"
#include "plugin/fees/form_templates.h"
#include "plugin/fees/commands.h"
#include "plugin/fees/fee_rules.h"
#include "plugin/fees/rates.h"
#include "plugin/hostlink/guard.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

// One posting of a sheet: its title, the label of its fee line, its amount
// and its fee line. The sheet is packed, so its amount is read and written
// by the member's name: a pointer to it would not be aligned for a double.
template <class Sheet>
struct sheet_posting {
  const char* title_format;
  const char* label;
  double (*amount)(const Sheet&);
  void (*set_amount)(Sheet&, double);
  char (Sheet::*fee_line)[fee_line_length + 1];
};

template <class Sheet, std::size_t N>
struct sheet_command {
  int32_t form;
  sheet_posting<Sheet> postings[N];
  const char* fee_line_format;  // year and label, and for the debts the amount
};

constexpr sheet_command<debts_sheet, 4> previous_year_debts{
    previous_year_debts_form,
    {{MZ("%d Woda poprzedni rok"), "woda pop. rok", [](const debts_sheet& s) { return +s.water_prev_year; },
      [](debts_sheet& s, double a) { s.water_prev_year = a; }, &debts_sheet::water_prev_line},
     {MZ("%d Woda zaliczka"), "woda zaliczka", [](const debts_sheet& s) { return +s.water_advance; },
      [](debts_sheet& s, double a) { s.water_advance = a; }, &debts_sheet::water_advance_line},
     {MZ("%d Prąd poprzedni rok"), "energia pop. rok", [](const debts_sheet& s) { return +s.power_prev_year; },
      [](debts_sheet& s, double a) { s.power_prev_year = a; }, &debts_sheet::power_prev_line},
     {MZ("%d Prąd zaliczka"), "energia zaliczka", [](const debts_sheet& s) { return +s.power_advance; },
      [](debts_sheet& s, double a) { s.power_advance = a; }, &debts_sheet::power_advance_line}},
    "%d %s%7.2f"};

constexpr sheet_command<entry_fee_sheet, 2> entry_fees{
    entry_fees_form,
    {{"%d Wpisowe", "wpisowe", [](const entry_fee_sheet& s) { return +s.entry_fee; },
      [](entry_fee_sheet& s, double a) { s.entry_fee = a; }, &entry_fee_sheet::entry_fee_line},
     {"%d Inwestycyjne", "inwestycyjne", [](const entry_fee_sheet& s) { return +s.investment_fee; },
      [](entry_fee_sheet& s, double a) { s.investment_fee = a; }, &entry_fee_sheet::investment_fee_line}},
    "%d %s"};

// Runs one sheet command; true when it reached its closing message.
template <class Sheet, std::size_t N>
bool run(plot_command& command, const sheet_command<Sheet, N>& what) {
  if (!take_plot_under_cursor(command)) return false;
  Sheet sheet{};
  fill_sheet_head(sheet.head, command.record_buffer());
  if (!open_holder_ledger(command)) return false;

  char titles[N][256];
  for (std::size_t i = 0; i < N; ++i) posting_title(titles[i], what.postings[i].title_format);
  for (std::size_t i = 0; i < N; ++i)
    what.postings[i].set_amount(sheet, posted_amount(command.holder_ledger(), {titles[i]}));

  // A form that hands back an amount it never accepts (not a number, or
  // beyond its limits) was not confirmed: it would post an amount of no meaning.
  bool confirmed_form =
      svc_52026_show_form(form_template_block.data(), what.form, &sheet, nullptr) == confirmed;
  for (std::size_t i = 0; i < N; ++i)
    confirmed_form = confirmed_form && within_form_limits(what.postings[i].amount(sheet));
  if (!confirmed_form) {
    // Cancelled: the ledger is closed as it is, nothing finished.
    close_opened(command, closing::as_it_is);
    return false;
  }

  for (std::size_t i = 0; i < N; ++i) {
    const sheet_posting<Sheet>& p = what.postings[i];
    const double amount = p.amount(sheet);
    if (is_zero_amount(amount)) continue;
    char line[256];
    format_text(line, what.fee_line_format, bookkeeping_year(), p.label, amount / amount_scale);
    copy_field(sheet.*p.fee_line, {line}, fee_line_length);
    post(command, titles[i], amount, sheet.*p.fee_line);
  }

  close_opened(command);
  tell_posted_total(command, MZ("Wpisano zadłużenia w kwocie \x02%.2f\x01\n"),
                    MZ("Nie wpisano zadłużeń"));
  return true;
}

}  // namespace

void record_previous_year_debts(plot_command& command) { run(command, previous_year_debts); }

bool charge_entry_fees(plot_command& command) { return run(command, entry_fees); }

}  // namespace q7
