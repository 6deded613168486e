// A holder's ledger file from untrusted bytes: whole 767-byte entries and
// perhaps a trailing part of one, opened by the stand-in host and posted into
// as the fee commands post.
//
// After a posting the file has grown by at most one entry; every entry of
// another title is as it was, except a free entry taken for the posting; the
// posted title now reads as the posted amount; and the host's debit total is
// still that of the file.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "abi/mazovia.h"
#include "abi/records.h"
#include "fuzz/support.h"
#include "host/file_store.h"
#include "host/host.h"
#include "plugin/fees/ledger.h"
#include "plugin/hostlink/services.h"

namespace {

constexpr char ledger_name[] = "FUZZ.KON";
constexpr const char* title = MZ("2011 Opłata za wodę");
constexpr double amount = 1260000.0;
constexpr std::size_t entry_size = sizeof(q7::ledger_entry);

q7::ledger_entry entry_at(const std::string& file, std::size_t index) {
  q7::ledger_entry entry;
  std::memcpy(&entry, file.data() + index * entry_size, entry_size);
  return entry;
}

// As the plug-in compares titles: up to the posted title's terminator.
bool titled(const q7::ledger_entry& entry) {
  return std::strncmp(entry.title, title, std::strlen(title) + 1) == 0;
}

bool is_free(const q7::ledger_entry& entry) {
  return entry.stamp == 0 && q7::is_zero_amount(entry.amount);
}

// The sum of the debits, when every one is an amount of a reasonable size.
bool debit_total(const std::string& file, double& total, double& magnitude) {
  total = magnitude = 0.0;
  for (std::size_t i = 0; i < file.size() / entry_size; ++i) {
    const double debit = torval::ledger_debit(entry_at(file, i));
    if (!(std::fabs(debit) < 1e15)) return false;
    total += debit;
    magnitude += std::fabs(debit);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  q7::fuzz::attach_plugin();
  q7::fuzz::reset_host_output();

  const std::string before(reinterpret_cast<const char*>(data), size);
  Q7_FUZZ_CHECK(torval::write_file(ledger_name, before), "the ledger file was not made");

  q7::table_descriptor* table = svc_52256_table_descriptor(q7::ledger_table_no);
  int32_t count = 0;
  q7::ledger_access ledger{table, static_cast<q7::ledger_entry*>(table->record_buffer), &count,
                           svc_50516_open_ledger(53, ledger_name, table, &count)};
  Q7_FUZZ_CHECK(ledger.file != nullptr, "the host did not open the ledger");
  Q7_FUZZ_CHECK(count == static_cast<int32_t>(size / entry_size), "entries " + std::to_string(count));

  q7::posted_amount(ledger, {title});
  const bool stored = q7::store_fee(ledger, {title}, amount, {MZ("2011 woda 300* 0.42=126.00")});
  Q7_FUZZ_CHECK(stored, "the posting was refused");
  Q7_FUZZ_CHECK(q7::posted_amount(ledger, {title}) == amount, "the posted title reads otherwise");
  const double host_debit = torval::find_table(q7::ledger_table_no)->column_totals[0];
  svc_52302_close_ledger(1, 0, &ledger.file, 0);

  const std::string& after = q7::fuzz::file_bytes(ledger_name);
  const std::size_t entries = size / entry_size;
  Q7_FUZZ_CHECK(after.size() >= size && after.size() / entry_size <= entries + 1,
                std::to_string(size) + " bytes before, " + std::to_string(after.size()) + " after");
  int changed = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    const q7::ledger_entry old = entry_at(before, i);
    if (std::memcmp(before.data() + i * entry_size, after.data() + i * entry_size, entry_size) == 0) continue;
    ++changed;
    Q7_FUZZ_CHECK(titled(old) || is_free(old), "entry " + std::to_string(i) + " of another title was changed");
    Q7_FUZZ_CHECK(titled(entry_at(after, i)), "entry " + std::to_string(i) + " lost its title");
  }
  Q7_FUZZ_CHECK(changed <= 1, std::to_string(changed) + " entries changed");
  if (after.size() / entry_size > entries)
    Q7_FUZZ_CHECK(changed == 0, "an entry was changed and one appended");

  double file_debit, magnitude;
  if (debit_total(before, file_debit, magnitude) && debit_total(after, file_debit, magnitude))
    Q7_FUZZ_CHECK(std::fabs(host_debit - file_debit) <= 1e-3 + magnitude * 1e-12,
                  "the host's debit total " + std::to_string(host_debit) + ", the file's " +
                      std::to_string(file_debit));
  return 0;
}
