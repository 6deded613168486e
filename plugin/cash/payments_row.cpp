#include "plugin/cash/payments_row.h"

#include <cstring>

#include "abi/mazovia.h"
#include "plugin/hostlink/services.h"

namespace q7 {
namespace {

// The category a payment line's text names: the first word found, in this
// order, decides; a text with none of them is another payment.
struct category_word {
  const char* word;
  fee_category category;
};
const category_word category_words[] = {
    {"woda", fee_category::water},
    {"konserw.", fee_category::energy},
    {"energia", fee_category::energy},
    {MZ("opł."), fee_category::usage},
    {MZ("składka członk."), fee_category::membership},
    {"centr.ogrz.", fee_category::heating},
};

fee_category category_of(const char* text) {
  for (const category_word& c : category_words)
    if (std::strstr(text, c.word)) return c.category;
  return fee_category::other;
}

}  // namespace

payments_row payments_row_of(const cash_record& record) {
  payments_row row{};
  const std::size_t plot_no_width = sizeof(cash_record) - offsetof(cash_record, cash_plot_no);
  row.plot_no = static_cast<int16_t>(read_plot_number(record.cash_plot_no, plot_no_width));
  copy_field(row.payer, {record.payer_name}, sizeof row.payer - 1);
  char work[512] = {};
  const std::size_t available = sizeof(cash_record) - offsetof(cash_record, line_texts);
  const char* texts = record.line_texts;
  for (std::size_t i = 0; i < sizeof work - 1 && i < available && texts[i]; ++i) work[i] = texts[i];
  for (std::size_t slot = 0; slot < cash_line_slots; ++slot) {
    char text[cash_slot_width + 1] = {};  // empty should the host copy nothing
    copy_field(text, {work + cash_slot_width * slot}, cash_slot_width);
    double amount;
    std::memcpy(&amount, &record.line_amounts[slot], sizeof amount);
    row[category_of(text)] += amount;
  }
  row.total = row[fee_category::usage] + row[fee_category::energy] + row[fee_category::water] +
              row[fee_category::membership] + row[fee_category::heating] + row[fee_category::other];
  return row;
}

void add_to_totals(payments_row& totals, const payments_row& row) {
  for (int i = 0; i < fee_category_count; ++i) totals.amounts[i] += row.amounts[i];
  totals.total += row.total;
}

amount_texts amount_texts_of(const payments_row& row) {
  amount_texts texts;
  for (int i = 0; i < fee_category_count; ++i) format_two_decimals(row.amounts[i] / amount_scale, texts.text[i]);
  format_two_decimals(row.total / amount_scale, texts.text[fee_category_count]);
  return texts;
}

}  // namespace q7
