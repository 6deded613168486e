// Postings into a holder's ledger: a fee found by its title and replaced,
// else written into a free entry, else appended; every change of an entry
// through change_record, so the host's totals follow its file.
#include "plugin/fees/ledger.h"

#include <cstring>

#include "plugin/fees/record_change.h"
#include "plugin/hostlink/guard.h"

namespace q7 {
namespace {


// Replaces a date text from its fourth character on: YY.MM.DD -> YY.<month_day>.
void set_month_day(char (&date)[9], const char* month_day) {
  std::memcpy(date + 3, month_day, 6);  // "MM.DD" and the terminator
}

bool read_entry(const ledger_access& ledger, int32_t index) {
  return svc_52286_read_record(host_values::unused, index, ledger.table, host_values::unused, ledger.file) != 0;
}

table_file ledger_file(const ledger_access& ledger) { return {ledger.table, ledger.file}; }

void enter_totals(const ledger_access& ledger) { enter_written(ledger_file(ledger), ledger.entry); }

bool titled(const ledger_entry& entry, text_ref title) { return svc_52154_compare_texts(entry.title, title.text) == 0; }

bool is_free(const ledger_entry& entry) { return entry.stamp == 0 && is_zero_amount(entry.amount); }

void stamp(ledger_entry& entry, int32_t value) { entry.stamp = entry.stamp_copy = value; }

}  // namespace

int is_zero_amount(double amount) { return amount > -0.00001 && amount < 0.00001 ? 1 : 0; }

void fill_ledger_entry(ledger_entry& entry, text_ref title, double amount, text_ref fee_line) {
  std::memset(&entry, 0, sizeof entry);
  svc_30204_current_date(entry.doc_date);
  svc_30204_current_date(entry.entry_date);
  char due_date[9];
  std::memcpy(due_date, entry.doc_date, sizeof due_date);
  set_month_day(due_date, "06.30");
  set_month_day(entry.doc_date, "01.01");
  entry.term_days = static_cast<int16_t>(svc_30908_days_between(due_date, entry.doc_date));
  copy_field(entry.fee_line, fee_line, sizeof entry.fee_line - 1);
  copy_field(entry.title, title, sizeof entry.title - 1);
  entry.amount = amount;
  const uint8_t* block = svc_32500_information_block(host_values::information_block);
  if (!block) abandon_command();
  copy_field(entry.host_code, {reinterpret_cast<const char*>(block + host_values::host_code_at)},
             sizeof entry.host_code - 1);
  entry.kind_code = ledger_entry_fee_posting;
}

bool store_fee(const ledger_access& ledger, text_ref title, double amount, text_ref fee_line) {
  ledger_entry& entry = *ledger.entry;

  // An earlier posting of the same title is replaced and keeps its stamp.
  for (int32_t i = 0; i < *ledger.count; ++i) {
    if (!read_entry(ledger, i)) break;
    if (!titled(entry, title)) continue;
    const int32_t kept_stamp = entry.stamp;
    const bool written = change_record(ledger_file(ledger), i, entry, [&] {
      fill_ledger_entry(entry, title, amount, fee_line);
      stamp(entry, kept_stamp);
    });
    return written;
  }

  // A free entry is reused before the file grows; it adds nothing to the totals.
  for (int32_t i = 0; i < *ledger.count; ++i) {
    if (!read_entry(ledger, i)) break;
    if (!is_free(entry)) continue;
    fill_ledger_entry(entry, title, amount, fee_line);
    stamp(entry, svc_50800_fresh_stamp());
    if (!svc_52287_write_record(host_values::unused, i, ledger.table, host_values::unused, ledger.file)) return false;
    enter_totals(ledger);
    return true;
  }

  fill_ledger_entry(entry, title, amount, fee_line);
  stamp(entry, svc_50800_fresh_stamp());
  // The append is judged by the count it raises, not by its answer, which
  // hosts do not agree on.
  const int32_t count_before = *ledger.count;
  svc_52288_append_record(ledger.count, ledger.table, ledger.file);
  if (*ledger.count <= count_before) return false;
  enter_totals(ledger);
  return true;
}

double posted_amount(const ledger_access& ledger, text_ref title) {
  for (int32_t i = 0; i < *ledger.count; ++i) {
    if (!read_entry(ledger, i)) break;
    if (titled(*ledger.entry, title)) return ledger.entry->amount;
  }
  return 0.0;
}

}  // namespace q7
