// The steps that decide what the transcript shows and show the host's state
// in it: traced services, the report view's lines, drawn forms, the audit,
// the plot list, ledgers, settings, files, key handlers, call counts and the
// stack the host's unwinding took.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/audit.h"
#include "host/calling_in.h"
#include "host/config_store.h"
#include "host/file_store.h"
#include "host/form_view.h"
#include "host/plan.h"
#include "host/steps.h"
#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

namespace torval::steps {
namespace {

void say_ledger(const std::string& file_name) {
  FILE* file = open_file(file_name, "rb");
  if (!file) return say("  no ledger " + file_name);
  q7::ledger_entry entry;
  int index = 0;
  while (std::fread(&entry, sizeof entry, 1, file) == 1) {
    char head[160];
    std::snprintf(head, sizeof head, "  #%d stamp %d/%d %.8s %.8s term %d kind %d code %.4s amount %s",
                  index++, static_cast<int>(entry.stamp), static_cast<int>(entry.stamp_copy),
                  entry.doc_date, entry.entry_date, entry.term_days, entry.kind_code,
                  entry.host_code, amount_text(entry.amount).c_str());
    std::string text = head;
    if (ledger_credit(entry) != 0.0) text += " paid " + amount_text(ledger_credit(entry));
    entry.title[sizeof entry.title - 1] = 0;
    entry.fee_line[sizeof entry.fee_line - 1] = 0;
    say(text);
    say("     \"" + from_mazovia(entry.title) + "\" \"" + from_mazovia(entry.fee_line) + "\"");
  }
  if (index == 0) say("  (no entries)");
  std::fclose(file);
}

// One row of the plot list, the cursor's marked with ">"; the line is built
// in the Mazovia code page, one byte a character, so that the columns line up.
std::string plot_row_text(std::size_t row, bool at_cursor, const q7::plot_record& plot) {
  char text[320];
  std::snprintf(text, sizeof text, " %c%3zu %5.5s %-24.24s %9.3f %-10.10s %9s %9s %9s %8s %8s",
                at_cursor ? '>' : ' ', row, plot.plot_no_text, plot.holder_name,
                plot.area_milli / 1000.0, plot.fee_letters,
                amount_text(plot.ledger_debit_total).c_str(),
                amount_text(plot.ledger_credit_total).c_str(), amount_text(plot.ledger_balance).c_str(),
                amount_text(column_amount(plot.kwota1)).c_str(),
                amount_text(column_amount(plot.kwota2)).c_str());
  return from_mazovia(text);
}

}  // namespace

void set_report_lines(const step_call& s) {
  if (s.args[0] == "all") return void(transcript().report_view_lines = -1);
  if (!whole_number(s.args[0], 0, 1000000000)) throw refused{"a number of lines, or all"};
  transcript().report_view_lines = s.number(0);
}

void trace_services(const step_call& s) {
  auto& traced = transcript().traced;
  if (s.args.size() == 1 && s.args[0] == "off") return traced.clear();
  for (const std::string& word : s.args) {
    if (!whole_number(word, 0, UINT32_MAX)) throw refused{"\"" + word + "\" is not a service number"};
    traced.insert(static_cast<uint32_t>(std::strtoll(word.c_str(), nullptr, 0)));
  }
}

void show_forms(const step_call& s) { draw_forms(s.args.empty() || s.args[0] == "drawn"); }

void show_audit(const step_call&) { report_audit(); }

void show_plots(const step_call&) {
  const table& t = plot_table();
  const long long cursor = cursor_row(t);
  say("  row    nr holder                   area m2   letters        debit    credit   balance   kwota1   kwota2");
  for (std::size_t i = 0; i < t.held.size(); ++i)
    say(plot_row_text(i, static_cast<long long>(i) == cursor, held_plot(t, i)));
  say("  column totals: kwota1 " + amount_text(t.column_totals[kwota1_column]) + ", kwota2 " +
      amount_text(t.column_totals[kwota2_column]));
}

void show_ledger_of(const step_call& s) {
  const q7::plot_record plot = held_plot(plot_table(), plot_row(s, 0));
  const std::string name = ledger_file(std::to_string(plot.ledger_no));
  say("  " + name + ":");
  say_ledger(name);
}

void show_ledger(const step_call& s) { say_ledger(ledger_file(s.args[0])); }

void show_config(const step_call&) {
  const std::string text = config_contents();
  if (text.empty()) say("  (no settings)");
  else say_text(text.substr(0, text.size() - 1).c_str());
}

void show_handlers(const step_call&) {
  std::string line;
  for (const auto& [n, t] : world().tables)
    line += (line.empty() ? "  table " : " · table ") + std::to_string(n) + ": " + handler_name(t);
  say(line);
}

void show_unwind_stack(const step_call&) {
  say("  the host's unwinding took " + std::to_string(deepest_unwinding()) + " bytes of stack at most");
}

void show_calls(const step_call&) {
  std::string calls = "  calls:";
  for (const auto& [service, count] : plan().calls)
    calls.append(1, ' ').append(std::to_string(service)).append(1, 'x').append(std::to_string(count));
  say(calls);
}

void show_file(const step_call& s) {
  const std::string& name = s.args[0];
  if (name.find_first_of("/\\:") != std::string::npos)
    throw refused{"show file takes the name of a file in the work folder, not a path"};
  FILE* file = open_file(name, "rb");
  if (!file) return say("  no file " + name);
  std::fclose(file);
  say("  " + name + ":");
  read_lines(name, [&](std::string& line) {
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.pop_back();
    say("  | " + from_mazovia(line.c_str()) + (crlf ? "␍" : ""));
  });
}

void clear_transcript(const step_call&) { transcript().text.clear(); }

}  // namespace torval::steps
