// Ctrl-A (previous-year debts, form 1003) and Ctrl-W (entry and investment
// fees, form 1004) in the list of firms. Both propose the amounts already
// posted under their titles for the bookkeeping year, show their form and
// post every amount that is not zero; they differ in their postings only.
#include <cstddef>
#include <cstring>

#include "abi/mazovia.h"
#include "plugin/fees/form_templates.h"
#include "plugin/fees/commands.h"
#include "plugin/fees/fee_rules.h"
#include "plugin/fees/rates.h"
#include "plugin/hostlink/guard.h"
#include "plugin/text/formatted_text.h"

namespace q7 {
namespace {

// One posting of a sheet: its title, the label of its fee line, and the
// offsets at which the (packed) sheet holds its amount and its fee line.
struct sheet_posting {
  const char* title_format;
  const char* label;
  std::size_t amount;
  std::size_t fee_line;
};

double amount_at(const void* sheet, std::size_t offset) {
  double amount;
  std::memcpy(&amount, static_cast<const char*>(sheet) + offset, sizeof amount);
  return amount;
}

void set_amount_at(void* sheet, std::size_t offset, double amount) {
  std::memcpy(static_cast<char*>(sheet) + offset, &amount, sizeof amount);
}

template <class Sheet, std::size_t N>
struct sheet_command {
  int32_t form;
  sheet_posting postings[N];
  const char* fee_line_format;  // year and label, and for the debts the amount
};

const sheet_command<debts_sheet, 4> previous_year_debts{
    previous_year_debts_form,
    {{MZ("%d Woda poprzedni rok"), "woda pop. rok", offsetof(debts_sheet, water_prev_year),
      offsetof(debts_sheet, water_prev_line)},
     {MZ("%d Woda zaliczka"), "woda zaliczka", offsetof(debts_sheet, water_advance),
      offsetof(debts_sheet, water_advance_line)},
     {MZ("%d Prąd poprzedni rok"), "energia pop. rok", offsetof(debts_sheet, power_prev_year),
      offsetof(debts_sheet, power_prev_line)},
     {MZ("%d Prąd zaliczka"), "energia zaliczka", offsetof(debts_sheet, power_advance),
      offsetof(debts_sheet, power_advance_line)}},
    "%d %s%7.2f"};

const sheet_command<entry_fee_sheet, 2> entry_fees{
    entry_fees_form,
    {{"%d Wpisowe", "wpisowe", offsetof(entry_fee_sheet, entry_fee),
      offsetof(entry_fee_sheet, entry_fee_line)},
     {"%d Inwestycyjne", "inwestycyjne", offsetof(entry_fee_sheet, investment_fee),
      offsetof(entry_fee_sheet, investment_fee_line)}},
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
    set_amount_at(&sheet, what.postings[i].amount, posted_amount(command.holder_ledger(), {titles[i]}));

  // A form that hands back an amount it never accepts (not a number, or
  // beyond its limits) was not confirmed: it would post an amount of no meaning.
  bool confirmed_form =
      svc_52026_show_form(form_template_block.data(), what.form, &sheet, nullptr) == confirmed;
  for (std::size_t i = 0; i < N; ++i)
    confirmed_form = confirmed_form && within_form_limits(amount_at(&sheet, what.postings[i].amount));
  if (!confirmed_form) {
    // Cancelled: the ledger is closed as it is, nothing finished.
    close_opened(command, closing::as_it_is);
    return false;
  }

  for (std::size_t i = 0; i < N; ++i) {
    const sheet_posting& p = what.postings[i];
    const double amount = amount_at(&sheet, p.amount);
    if (is_zero_amount(amount)) continue;
    char line[256];
    format_text(line, what.fee_line_format, bookkeeping_year(), p.label, amount / amount_scale);
    char* fee_line = reinterpret_cast<char*>(&sheet) + p.fee_line;
    copy_field(fee_line, {line}, fee_line_length);
    post(command, titles[i], amount, fee_line);
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
