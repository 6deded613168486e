#include "host/audit.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "host/file_store.h"
#include "host/transcript.h"

namespace torval {

audit_state& audit() {
  static audit_state state;
  return state;
}

void audit_opened_ledger(FILE* file, std::string_view name, double debit, double credit) {
  auto& totals = audit().ledger_totals;
  auto kept = totals.find(name);
  if (kept == totals.end()) kept = totals.emplace(std::string(name), std::pair{0.0, 0.0}).first;
  kept->second = {debit, credit};
  audit().open_ledgers[fileno(file)] = &*kept;
}

void audit_closed_ledger(FILE* file) {
  audit().open_ledgers.erase(fileno(file));
  audit().begun_changes.erase(file);
}

void audit_pass(const FILE* file, int32_t table, bool begins) {
  if (begins) return void(audit().open_passes[file] = table);
  audit().open_passes.erase(file);
  audit().begun_changes.erase(file);  // the pass is over, and its changes with it
}

void audit_changes(const FILE* file, int32_t table, bool begin) {
  if (begin) audit().begun_changes[file] = table;
  else if (audit().begun_changes.erase(file) == 0) audit().unbegun_ends.push_back(table);
}

void audit_ledger_totals(int fd, double debit, double credit) {
  const auto open = audit().open_ledgers.find(fd);
  if (open == audit().open_ledgers.end()) return say("  audit: 52204 for a ledger that is not open");
  auto& totals = open->second->second;
  totals.first += debit;
  totals.second += credit;
}

void audit_stored(const table& t) {
  if (t.number != q7::ledger_table_no) return;
  q7::ledger_entry entry;
  std::memcpy(&entry, t.record_buffer.data(), sizeof entry);
  audit().stored += entry.amount;
  ++audit().stored_entries;
}

namespace {

// Totals compare equal when they agree to a hundredth of the smallest unit.
bool same_amount(double a, double b) { return std::fabs(a - b) < 0.01; }

}  // namespace

void report_audit() {
  bool sound = true;
  table* ledger_table = find_table(q7::ledger_table_no);
  for (const auto& [name, kept] : audit().ledger_totals) {
    FILE* file = open_file(name, "rb");
    if (!file || !ledger_table) continue;
    const double saved[2] = {ledger_table->column_totals[0], ledger_table->column_totals[1]};
    const bool read = total_ledger(*ledger_table, file, records_in(file, sizeof(q7::ledger_entry)));
    const double debit = ledger_table->column_totals[0], credit = ledger_table->column_totals[1];
    ledger_table->column_totals[0] = saved[0];
    ledger_table->column_totals[1] = saved[1];
    std::fclose(file);
    if (!read || !same_amount(kept.first, debit) || !same_amount(kept.second, credit)) {
      sound = false;
      say("  audit: " + name + " kept debit " + amount_text(kept.first) + " credit " +
          amount_text(kept.second) + ", its file holds " + amount_text(debit) + " and " +
          amount_text(credit));
    }
  }
  std::string plot_totals;
  if (table* plots = find_table(q7::plot_table_no); plots && plots->file) {
    const double kept[2] = {plots->column_totals[kwota1_column], plots->column_totals[kwota2_column]};
    recompute_plot_totals(*plots);
    const double file[2] = {plots->column_totals[kwota1_column], plots->column_totals[kwota2_column]};
    if (!same_amount(kept[0], file[0]) || !same_amount(kept[1], file[1])) {
      sound = false;
      say("  audit: plot column totals kept " + amount_text(kept[0]) + " and " +
          amount_text(kept[1]) + ", the file holds " + amount_text(file[0]) + " and " +
          amount_text(file[1]));
    }
    plots->column_totals[kwota1_column] = kept[0];
    plots->column_totals[kwota2_column] = kept[1];
    plot_totals = "; plot column totals " + amount_text(kept[0]) + " (" + amount_text(kept[1]) + ")";
  }
  // Whatever a command opened in the host must be closed when it returns.
  const audit_state& a = audit();
  for (const auto& [fd, ledger] : a.open_ledgers) say("  audit: the ledger " + ledger->first + " is left open");
  for (const auto& [file, number] : a.open_passes)
    say("  audit: a pass over table " + std::to_string(number) + " is left unended");
  for (const auto& [file, number] : a.begun_changes)
    say("  audit: changes to table " + std::to_string(number) + " are left unended");
  for (const int32_t number : a.unbegun_ends)
    say("  audit: changes ended on table " + std::to_string(number) + " that were never begun");
  const bool closed = a.open_ledgers.empty() && a.open_passes.empty() && a.begun_changes.empty();
  say(std::string("  audit: ") + (sound ? "totals match the files" : "TOTALS DIFFER") + "; " +
      (closed ? "nothing left open" : "LEFT OPEN") + "; stored " +
      amount_text(audit().stored) + " in " + std::to_string(audit().stored_entries) +
      " ledger entries" + plot_totals);
}

}  // namespace torval
