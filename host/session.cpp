// Session scripts: plain text, one step a line, run against the real plug-in.
// Every step is echoed into the transcript ("> step") with what the user saw.
//
//   version N                      interface version the host reports
//   table N size S | missing | no-handler
//   config SECTION KEY VALUE       a setting before the plug-in starts
//   show config | show handlers
//   withdraw N | withdraw clear    the host lacks service N, as an older host; or has all again
//   windows-box abort|ignore|retry|scripted   how the Windows box answers from now on
//                                  (scripted: by the next "answer", as every other box)
//   behave BEHAVIOUR | behave usual   the host differs from the usual one, as another may:
//                                  append-answers-index (52288 answers the new record's index),
//                                  settings-fill-two-rates (52224 fills two of four rates),
//                                  file-name-unwritten (52311 writes no file name),
//                                  dialog-stores-32-bits (dialog 1194 stores its value in 32 bits)
//   answer yes|no|ok|cancel|abort|retry|ignore|N [value V]
//   module-path PATH | fails       GetModuleFileNameA of the plug-in (native build)
//   load | unload                  load the plug-in module; unload it (Windows only), so
//                                  that the next load starts it afresh
//   start [nobuffer] | stop | activate | report | entry 30008 MODE | entry 30009
//   key TABLE CODE [A2 A5 A7 A9 A10 A11]   a key pressed in a table's list
//   year N | date YY.MM.DD | host-code ABCD   bookkeeping year, current date, block 4's code
//   trace N... | trace off         show the calls of these services
//   ledger FILE entry stamp=S amount=A [paid=P] [copy=C] [line=TEXT;] title=TEXT
//                                  append an entry to a holder's ledger file
//   show ledger FILE
//   fail N at K | fail N from K   service N answers its failure value at its K-th call, or from it on
//   fail clear                     no faults; call counts, scripted answers, edits, the audit,
//                                  the Windows box's answer and the host's behaviours start anew
//   show calls                     how often each service that can fail was called
//   audit                          do the kept totals match the files; what the ledger writes stored
//   ledgers clear                  removes every holder's ledger file; the folder is made if missing
//   transcript clear               forgets the transcript so far
//   plots FILE.csv                 the plot table from a readable file: one plot a line,
//                                  "number;holder;area m2;fee letters;ledger number"
//   cursor N | window FIRST TOP CURSOR   the list window of the plot table
//   reload plots                   the list re-reads its rows from the table's file
//   show plots                     the plot list's rows and the column totals
//   show ledger-of N               the ledger of the plot in row N
//   cash FILE.csv                  the cash table from a readable file: one document a line,
//                                  "date;plot number;payer;text;amount;text;amount;..." (up to ten lines)
//   cash raw FILE                  the cash table from a file of whole 1048-byte records as they are
//   answer ok period START END     the period dialog's answer with its two dates
//   show file NAME                 a text file of the working folder, line by line
//   edit ITEM VALUE                for the next form shown: types VALUE into input field ITEM
//   edit LABEL = VALUE             ... into the input field after the label shown as LABEL
//                                  (or the only label that begins so). Amounts are typed in
//                                  currency units (0.50), texts in UTF-8; edits apply in order,
//                                  and the form then closes with the next answer (ok / cancel)
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "abi/machine.h"
#include "host/config_store.h"
#include "host/host.h"
#include "host/platform.h"

extern "C" {
int Q7_CDECL torval_run_session(int argc, char** argv) Q7_SYMBOL("torval_run_session");
int Q7_CDECL torval_session_step(const char* line) Q7_SYMBOL("torval_session_step");
const char* Q7_CDECL torval_session_transcript() Q7_SYMBOL("torval_session_transcript");
}

namespace torval {

// Key handler of the host's own tables: reports the eleven values it got,
// pointers by what they are, and answers 7000 plus the key code.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* descriptor, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11) {
  table* t = nullptr;
  for (auto& [number, candidate] : host().tables)
    if (&candidate.descriptor == descriptor) t = &candidate;
  auto pointer = [](const void* p, const void* expected, const char* name) {
    if (p == expected) return std::string(name);
    char text[24];
    std::snprintf(text, sizeof text, "%p", p);
    return std::string(text);
  };
  char values[160];
  std::snprintf(values, sizeof values, "key %d, 0x%08x, %s, %s, %d, %s, %d, %s, %d, 0x%08x, %d",
                static_cast<int>(key), static_cast<unsigned>(a2),
                pointer(record_count, t ? &t->record_count : nullptr, "count").c_str(),
                pointer(rows, t ? t->rows.data() : nullptr, "rows").c_str(), static_cast<int>(a5),
                pointer(descriptor, t ? &t->descriptor : nullptr, "table").c_str(),
                static_cast<int>(a7), pointer(file, t ? t->file : nullptr, "file").c_str(),
                static_cast<int>(a9), static_cast<unsigned>(a10), static_cast<int>(a11));
  say(std::string("  host's handler of table ") + (t ? std::to_string(t->number) : "?") + ": " +
      values);
  return 7000 + key;
}

namespace {

// Key handlers called with 32-bit slots for the two 16-bit values, so that a
// session can put anything in their upper halves.
using wide_key_handler = int32_t(Q7_STDCALL*)(int32_t, uint32_t, int32_t*, char**, int32_t,
                                              q7::table_descriptor*, int32_t, FILE*, int32_t,
                                              uint32_t, int32_t);

std::vector<std::string> words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

long long number(const std::string& text) { return std::strtoll(text.c_str(), nullptr, 0); }

std::string handler_name(const table& t) {
  const auto handler = reinterpret_cast<void*>(t.descriptor.handler);
  if (!handler) return "no key handler";
  if (handler == reinterpret_cast<void*>(&host_key_handler)) return "host's key handler";
  return "plug-in's key handler";
}

bool plugin_loaded(const char* step) {
  if (host().plugin.start_stop) return true;
  say(std::string("  cannot ") + step + ": the plug-in is not loaded");
  return false;
}

void start(bool with_buffer) {
  if (!plugin_loaded("start")) return;
  char buffer[128];
  std::memset(buffer, 0xCC, sizeof buffer);
  static char context;
  const int32_t result = host().plugin.start_stop(&context, with_buffer ? buffer : nullptr);
  if (with_buffer) {
    const void* end = std::memchr(buffer, 0, sizeof buffer);
    if (end) {
      say("  description \"" + from_mazovia(buffer) + "\" (" +
          std::to_string(static_cast<const char*>(end) - buffer) + " bytes and terminator)");
    } else {
      say("  description: no terminator within the buffer");
    }
  }
  const void* translator = platform::installed_se_translator();
  say(std::string("  translator of structured exceptions: ") +
      (!translator ? "none" : translator == platform::host_export(30005) ? "the host's 30005" : "another"));
  say("  30001 -> " + std::to_string(result));
}

answer parse_answer(const std::vector<std::string>& w) {
  static const std::pair<const char*, int> names[] = {
      {"yes", 0x5001}, {"ok", 0x5001}, {"no", 0},     {"cancel", 0x5002},
      {"abort", box_abort}, {"retry", box_retry}, {"ignore", box_ignore}};
  answer a;
  a.code = static_cast<int>(number(w.at(1)));
  for (const auto& [name, code] : names)
    if (w.at(1) == name) a.code = code;
  if (w.size() >= 4 && w[2] == "value") {
    a.sets_value = true;
    a.value = static_cast<int>(number(w[3]));
  }
  if (w.size() >= 5 && w[2] == "period") {
    a.period_start = w[3];
    a.period_end = w[4];
  }
  return a;
}

void press_key(const std::vector<std::string>& w) {
  table* t = find_table(static_cast<int32_t>(number(w.at(1))));
  if (!t) return say("  no such table");
  uint32_t v[6] = {0, 5, 7, 9, 0, 11};
  for (std::size_t i = 3; i < w.size() && i < 9; ++i) v[i - 3] = static_cast<uint32_t>(number(w[i]));
  const auto handler = reinterpret_cast<wide_key_handler>(t->descriptor.handler);
  if (!handler) return say("  the table has no key handler");
  const int32_t result =
      handler(static_cast<int32_t>(number(w.at(2))), v[0], &t->record_count, t->rows.data(),
              static_cast<int32_t>(v[1]), &t->descriptor, static_cast<int32_t>(v[2]), t->file,
              static_cast<int32_t>(v[3]), v[4], static_cast<int32_t>(v[5]));
  close_line_files();  // the command has ended
  say("  handler -> " + std::to_string(result));
}

form_edit parse_edit(const std::string& line) {
  const std::string rest = line.substr(line.find_first_not_of(' ', line.find("edit") + 4));
  form_edit edit;
  if (const std::size_t equals = rest.find(" = "); equals != std::string::npos) {
    edit.label = rest.substr(0, equals);
    edit.value = rest.substr(equals + 3);
    return edit;
  }
  const std::size_t space = rest.find(' ');
  edit.item = rest.substr(0, space);
  if (space != std::string::npos) edit.value = rest.substr(space + 1);
  return edit;
}

void reset_session() {
  host().transcript.clear();
  host().answers.clear();
  std::snprintf(reinterpret_cast<char*>(host().information_block + 54), 5, "%s", "0001");
  std::error_code error;
  std::filesystem::create_directories(ledger_folder, error);
  host().form_edits.clear();
  reset_tables();
  config_clear();
}

// The value of key=... in a step; "title=" and "line=" take the rest of the
// line (a line ends at ";").
std::string field(const std::string& line, const std::string& key, const std::string& otherwise = "") {
  const std::size_t at = line.find(" " + key + "=");
  if (at == std::string::npos) return otherwise;
  const std::size_t start = at + key.size() + 2;
  if (key == "title") return line.substr(start);
  const std::size_t end = line.find(key == "line" ? ';' : ' ', start);
  return line.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

void add_ledger_entry(const std::string& file_name, const std::string& line) {
  q7::ledger_entry entry{};
  const std::string title = to_mazovia(field(line, "title"));
  const std::string fee_line = to_mazovia(field(line, "line"));
  std::snprintf(entry.title, sizeof entry.title, "%s", title.c_str());
  std::snprintf(entry.fee_line, sizeof entry.fee_line, "%s", fee_line.c_str());
  entry.amount = std::strtod(field(line, "amount", "0").c_str(), nullptr) * 10000.0;
  set_ledger_credit(entry, std::strtod(field(line, "paid", "0").c_str(), nullptr) * 10000.0);
  // Dated as the host dates its own postings: on 1 January, entered today.
  const std::string today = host().current_date;
  std::snprintf(entry.entry_date, sizeof entry.entry_date, "%s", today.c_str());
  std::snprintf(entry.doc_date, sizeof entry.doc_date, "%.3s01.01", today.c_str());
  std::memcpy(entry.host_code, host().information_block + 54, 4);
  entry.stamp = static_cast<int32_t>(number(field(line, "stamp", "0")));
  entry.stamp_copy = static_cast<int32_t>(number(field(line, "copy", field(line, "stamp", "0"))));
  FILE* file = std::fopen(file_name.c_str(), "ab");
  if (!file) return say("  cannot write " + file_name);
  std::fwrite(&entry, sizeof entry, 1, file);
  std::fclose(file);
}

void show_ledger(const std::string& file_name) {
  FILE* file = std::fopen(file_name.c_str(), "rb");
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

// A file named in a script is found beside the script unless the path is absolute.
std::string script_relative(const std::string& path) {
  if (path.empty() || path[0] == '/' || path[0] == '\\' || (path.size() > 1 && path[1] == ':'))
    return path;
  return host().script_folder.empty() ? path : host().script_folder + "/" + path;
}

// Makes the table's file anew, in the working folder, and opens it.
table& new_table_file(int32_t number, const char* data_file) {
  table& t = *find_table(number);
  if (t.file) std::fclose(t.file);
  t.file = std::fopen(data_file, "w+b");
  t.record_count = 0;
  return t;
}

// Fills a table's file with one record per line of a readable file: fields
// separated by ";", lines starting with "#" left out, lines of fewer fields
// refused. make_record builds the record of a line in the record buffer.
template <class Record, class Make>
void load_table(int32_t number, const std::string& csv, const char* data_file, std::size_t fields,
                const char* what, Make make_record) {
  std::ifstream in(script_relative(csv), std::ios::binary);
  if (!in) return say("  cannot read " + csv);
  table& t = new_table_file(number, data_file);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    const auto f = split_text(line, ';');
    if (f.size() < fields) {
      say(std::string("  not ") + what + ": " + line);
      continue;
    }
    Record record{};
    make_record(f, record);
    std::memcpy(t.record_buffer.data(), &record, sizeof record);
    append_record(t, t.file, &t.record_count);
  }
  reload_rows(t);
}

// An area in square metres with up to three decimals, in thousandths.
int32_t area_in_thousandths(const std::string& text) {
  const std::size_t point = text.find_first_of(".,");
  long long milli = std::strtoll(text.substr(0, point).c_str(), nullptr, 10) * 1000;
  if (point != std::string::npos) {
    std::string decimals = text.substr(point + 1, 3);
    decimals.resize(3, '0');
    const long long fraction = std::strtoll(decimals.c_str(), nullptr, 10);
    milli += text[0] == '-' ? -fraction : fraction;
  }
  return static_cast<int32_t>(milli);
}

void load_plots(const std::string& csv) {
  load_table<q7::plot_record>(q7::plot_table_no, csv, "plots.dat", 5, "a plot",
                              [](const auto& f, q7::plot_record& plot) {
    std::snprintf(plot.plot_no_text, sizeof plot.plot_no_text, "%s", f[0].c_str());
    std::snprintf(plot.holder_name, sizeof plot.holder_name, "%s", to_mazovia(f[1]).c_str());
    plot.area_milli = area_in_thousandths(f[2]);
    std::snprintf(plot.fee_letters, sizeof plot.fee_letters, "%s", to_mazovia(f[3]).c_str());
    plot.ledger_no = static_cast<int16_t>(number(f[4]));
  });
  table& t = *find_table(q7::plot_table_no);
  recompute_plot_totals(t);
  say("  " + std::to_string(t.record_count) + " plots");
}

// A cash document: its line texts fill their slots of 25 characters with
// blanks, and a zero byte follows the last slot used.
void load_cash(const std::string& csv) {
  load_table<q7::cash_record>(q7::cash_table_no, csv, "cash.dat", 3, "a cash document",
                              [](const auto& f, q7::cash_record& record) {
    std::snprintf(record.cash_date, sizeof record.cash_date, "%s", f[0].c_str());
    std::snprintf(record.cash_plot_no, sizeof record.cash_plot_no, "%s", f[1].c_str());
    std::snprintf(record.payer_name, sizeof record.payer_name, "%s", to_mazovia(f[2]).c_str());
    std::size_t slot = 0;
    for (std::size_t i = 3; i < f.size() && slot < q7::cash_line_slots; i += 2, ++slot) {
      std::string text = to_mazovia(f[i]);
      text.resize(q7::cash_slot_width, ' ');
      std::memcpy(record.line_texts + slot * q7::cash_slot_width, text.data(), q7::cash_slot_width);
      const double amount = i + 1 < f.size() ? std::strtod(f[i + 1].c_str(), nullptr) * 10000.0 : 0.0;
      std::memcpy(&record.line_amounts[slot], &amount, sizeof amount);
    }
  });
  say("  " + std::to_string(find_table(q7::cash_table_no)->record_count) + " cash documents");
}

void load_raw_cash(const std::string& name) {
  std::ifstream in(script_relative(name), std::ios::binary);
  if (!in) return say("  cannot read " + name);
  table& t = new_table_file(q7::cash_table_no, "cash.dat");
  while (in.read(t.record_buffer.data(), sizeof(q7::cash_record)))
    append_record(t, t.file, &t.record_count);
  reload_rows(t);
  say("  " + std::to_string(t.record_count) + " cash documents");
}

void show_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  if (!in) return say("  no file " + name);
  say("  " + name + ":");
  for (std::string line; std::getline(in, line);) {
    const bool crlf = !line.empty() && line.back() == '\r';
    if (crlf) line.pop_back();
    say("  | " + from_mazovia(line.c_str()) + (crlf ? "␍" : ""));
  }
}

// One row of the plot list; the line is built in the Mazovia code page, one
// byte a character, so that the columns line up.
std::string plot_row_text(std::size_t row, const q7::plot_record& plot) {
  char text[320];
  std::snprintf(text, sizeof text, "  %3zu %5.5s %-24.24s %9.3f %-10.10s %9s %9s %9s %8d %8d", row,
                plot.plot_no_text, plot.holder_name, plot.area_milli / 1000.0, plot.fee_letters,
                amount_text(plot.ledger_debit_total).c_str(),
                amount_text(plot.ledger_credit_total).c_str(), amount_text(plot.ledger_balance).c_str(),
                static_cast<int>(plot.kwota1), static_cast<int>(plot.kwota2));
  return from_mazovia(text);
}

void show_plots() {
  const table& t = *find_table(q7::plot_table_no);
  say("  row    nr holder                   area m2   letters        debit    credit   balance   kwota1   kwota2");
  for (std::size_t i = 0; i < t.rows.size() && t.rows[i]; ++i) {
    q7::plot_record plot;
    std::memcpy(&plot, t.rows[i], sizeof plot);
    say(plot_row_text(i, plot));
  }
  say("  column totals: kwota1 " + amount_text(t.column_totals[kwota1_column]) + ", kwota2 " +
      amount_text(t.column_totals[kwota2_column]));
}

void run_step(const std::string& line) {
  static bool session_started;
  if (!session_started) reset_session();
  session_started = true;
  const auto w = words(line);
  if (w.empty() || w[0][0] == '#') return;
  say("> " + line);
  const std::string& verb = w[0];
  if (verb == "version") {
    host().interface_version = static_cast<int32_t>(number(w.at(1)));
  } else if (verb == "table") {
    const auto n = static_cast<int32_t>(number(w.at(1)));
    if (w.at(2) == "missing") {
      host().tables.erase(n);
    } else if (w[2] == "size") {
      const auto size = static_cast<int16_t>(number(w.at(3)));
      if (table* t = find_table(n)) t->descriptor.record_size = size;
      else add_table(n, size);
    } else if (table* t = find_table(n); !t) {
      say("  no such table");
    } else if (w[2] == "no-handler") {
      t->descriptor.handler = nullptr;
    }
  } else if (verb == "config") {
    config_write(w.at(1), w.at(2), to_mazovia(w.at(3)));
  } else if (verb == "show" && w.at(1) == "config") {
    const std::string text = config_contents();
    if (text.empty()) say("  (no settings)");
    else say_text(text.substr(0, text.size() - 1).c_str());
  } else if (verb == "show" && w.at(1) == "handlers") {
    for (const auto& [n, t] : host().tables)
      say("  table " + std::to_string(n) + ": " + handler_name(t));
  } else if (verb == "withdraw" && w.at(1) == "clear") {
    platform::restore_exports();
  } else if (verb == "withdraw") {
    platform::withdraw_export(static_cast<uint32_t>(number(w.at(1))));
  } else if (verb == "windows-box") {
    const std::string& how = w.at(1);
    host().windows_box_answer = how == "abort"   ? box_abort
                                : how == "retry"  ? box_retry
                                : how == "ignore" ? box_ignore
                                                  : 0;
  } else if (verb == "behave" && w.at(1) == "usual") {
    host().behaviours.clear();
  } else if (verb == "behave") {
    host().behaviours.insert(w.at(1));
  } else if (verb == "unload") {
    say(platform::unload_plugin() ? "  unloaded" : "  (the plug-in cannot be unloaded here)");
  } else if (verb == "answer") {
    host().answers.push_back(parse_answer(w));
  } else if (verb == "module-path") {
    const std::string rest = line.substr(line.find(w.at(1)));
    if (!platform::set_plugin_module_path(rest, rest == "fails"))
      say("  (the module path is the platform's here)");
  } else if (verb == "load") {
    say(platform::load_plugin(host().plugin_path) ? "  loaded" : "  the plug-in did not load");
  } else if (verb == "start") {
    start(!(w.size() > 1 && w[1] == "nobuffer"));
  } else if (verb == "stop") {
    if (!plugin_loaded("stop")) return;
    say("  30001 -> " + std::to_string(host().plugin.start_stop(nullptr, nullptr)));
  } else if (verb == "activate" || verb == "report" || (verb == "entry" && w.at(1) == "30008")) {
    if (!plugin_loaded("call 30008")) return;
    const auto mode = verb == "activate" ? 0 : verb == "report" ? 1 : number(w.at(2));
    say("  30008 -> " + std::to_string(host().plugin.activate_or_report(static_cast<int32_t>(mode))));
  } else if (verb == "entry" && w.at(1) == "30009") {
    if (!plugin_loaded("call 30009")) return;
    host().plugin.no_effect();
    say("  30009 returned");
  } else if (verb == "key") {
    press_key(w);
  } else if (verb == "cash" && w.at(1) == "raw") {
    load_raw_cash(w.at(2));
  } else if (verb == "cash") {
    load_cash(w.at(1));
  } else if (verb == "show" && w.at(1) == "file") {
    show_file(w.at(2));
  } else if (verb == "plots") {
    load_plots(w.at(1));
  } else if (verb == "cursor") {
    auto& d = find_table(q7::plot_table_no)->descriptor;
    d.first_held = d.top_record = 0;
    d.cursor_line = static_cast<int32_t>(number(w.at(1)));
  } else if (verb == "window") {
    auto& d = find_table(q7::plot_table_no)->descriptor;
    d.first_held = static_cast<int32_t>(number(w.at(1)));
    d.top_record = static_cast<int32_t>(number(w.at(2)));
    d.cursor_line = static_cast<int32_t>(number(w.at(3)));
  } else if (verb == "reload" && w.at(1) == "plots") {
    reload_rows(*find_table(q7::plot_table_no));
  } else if (verb == "show" && w.at(1) == "plots") {
    show_plots();
  } else if (verb == "show" && w.at(1) == "ledger-of") {
    const table& t = *find_table(q7::plot_table_no);
    const auto row = static_cast<std::size_t>(number(w.at(2)));
    if (row >= t.rows.size() || !t.rows[row]) return say("  no such row");
    q7::plot_record plot;
    std::memcpy(&plot, t.rows[row], sizeof plot);
    char name[64];
    std::snprintf(name, sizeof name, "%s/MMM%05d.KON", ledger_folder, static_cast<int>(plot.ledger_no));
    say("  " + std::string(name) + ":");
    show_ledger(name);
  } else if (verb == "fail" && w.at(1) == "clear") {
    host().faults.clear();
    host().calls.clear();
    host().answers.clear();
    host().form_edits.clear();
    host().audit = {};
    host().windows_box_answer = 0;
    host().behaviours.clear();
  } else if (verb == "show" && w.at(1) == "calls") {
    std::string calls = "  calls:";
    for (const auto& [service, count] : host().calls)
      calls += " " + std::to_string(service) + "x" + std::to_string(count);
    say(calls);
  } else if (verb == "transcript" && w.at(1) == "clear") {
    host().transcript.clear();
  } else if (verb == "audit") {
    report_audit();
  } else if (verb == "ledgers" && w.at(1) == "clear") {
    std::error_code error;
    for (const auto& item : std::filesystem::directory_iterator(ledger_folder, error))
      std::filesystem::remove(item.path(), error);
    // The folder is there afterwards, also in a working folder entered since
    // the session began.
    std::filesystem::create_directories(ledger_folder, error);
  } else if (verb == "fail") {
    host().faults[static_cast<uint32_t>(number(w.at(1)))] = {static_cast<int>(number(w.at(3))), w.at(2) == "from"};
  } else if (verb == "year") {
    host().bookkeeping_year = static_cast<int16_t>(number(w.at(1)));
  } else if (verb == "date") {
    host().current_date = w.at(1);
  } else if (verb == "host-code") {
    std::snprintf(reinterpret_cast<char*>(host().information_block + 54), 5, "%s", w.at(1).c_str());
  } else if (verb == "trace") {
    if (w.at(1) == "off") host().traced.clear();
    for (std::size_t i = 1; i < w.size(); ++i)
      if (w[i] != "off") host().traced.insert(static_cast<uint32_t>(number(w[i])));
  } else if (verb == "ledger" && w.at(2) == "entry") {
    add_ledger_entry(w.at(1), line);
  } else if (verb == "show" && w.at(1) == "ledger") {
    show_ledger(w.at(2));
  } else if (verb == "edit" && w.size() >= 2) {
    host().form_edits.push_back(parse_edit(line));
  } else {
    say("  unknown step");
  }
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The first line where the transcript differs from the expected one, or 0.
std::size_t first_difference(const std::string& expected, const std::string& actual,
                             std::string& expected_line, std::string& actual_line) {
  std::istringstream e(expected), a(actual);
  for (std::size_t n = 1;; ++n) {
    const bool more_e = static_cast<bool>(std::getline(e, expected_line));
    const bool more_a = static_cast<bool>(std::getline(a, actual_line));
    if (more_e && !expected_line.empty() && expected_line.back() == '\r') expected_line.pop_back();
    if (!more_e && !more_a) return 0;
    if (more_e != more_a || expected_line != actual_line) {
      if (!more_e) expected_line = "(end)";
      if (!more_a) actual_line = "(end)";
      return n;
    }
  }
}

}  // namespace
}  // namespace torval

using namespace torval;

extern "C" int Q7_CDECL torval_session_step(const char* line) {
  run_step(line);
  return 0;
}

extern "C" const char* Q7_CDECL torval_session_transcript() { return host().transcript.c_str(); }

// The session's working folder starts empty. A folder the host did not make
// itself (no marker file in it) is never emptied.
bool enter_fresh_work_folder(const std::string& folder) {
  namespace fs = std::filesystem;
  constexpr const char* marker = ".torval-work";
  std::error_code error;
  const fs::path path(folder);
  if (fs::exists(path, error) && !fs::is_empty(path, error) && !fs::exists(path / marker, error)) {
    std::fprintf(stderr, "the working folder %s holds files the host did not make\n", folder.c_str());
    return false;
  }
  if (fs::exists(path, error))
    for (const auto& item : fs::directory_iterator(path, error)) fs::remove_all(item.path(), error);
  fs::create_directories(path, error);
  if (!platform::enter_folder(folder)) {
    std::fprintf(stderr, "cannot enter the working folder %s\n", folder.c_str());
    return false;
  }
  if (FILE* mark = std::fopen(marker, "w")) std::fclose(mark);
  return true;
}

// torval_host SCRIPT [--expect FILE] [--work FOLDER] [--plugin PATH] [--preload MODULE]...
// --preload loads a module into the process first, as another module of the
// host program would be (Windows only): the transcript must not change.
extern "C" int Q7_CDECL torval_run_session(int argc, char** argv) {
  std::string script, expected, work, plugin;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--preload" && i + 1 < argc) {
      if (!platform::preload_module(argv[++i])) {
        std::fprintf(stderr, "cannot load the module %s before the plug-in\n", argv[i]);
        return 2;
      }
    } else if (arg == "--expect" && i + 1 < argc) expected = argv[++i];
    else if (arg == "--work" && i + 1 < argc) work = argv[++i];
    else if (arg == "--plugin" && i + 1 < argc) plugin = argv[++i];
    else script = arg;
  }
  if (script.empty()) {
    std::fprintf(stderr,
                 "usage: torval_host SCRIPT [--expect FILE] [--work FOLDER] [--plugin PATH] "
                 "[--preload MODULE]...\n");
    return 2;
  }
  platform::binary_stdout();
  std::ifstream in(script, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "cannot read the session script %s\n", script.c_str());
    return 2;
  }
  const std::string expected_text = expected.empty() ? "" : read_file(expected);
  if (!expected.empty() && expected_text.empty()) {
    std::fprintf(stderr, "cannot read the expected transcript %s\n", expected.c_str());
    return 2;
  }
  std::error_code error;
  host().script_folder = std::filesystem::absolute(script, error).parent_path().string();
  if (!work.empty() && !enter_fresh_work_folder(work)) return 2;
  host().plugin_path = plugin.empty() ? platform::default_plugin_path() : plugin;
  host().plugin_folder = host().plugin_path.substr(0, host().plugin_path.find_last_of("\\/"));
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run_step(line);
  }
  std::fwrite(host().transcript.data(), 1, host().transcript.size(), stdout);
  if (expected.empty()) return 0;
  std::string e, a;
  if (const std::size_t line = first_difference(expected_text, host().transcript, e, a)) {
    std::printf("\nTRANSCRIPT DIFFERS from %s at line %zu:\n  expected: %s\n  actual:   %s\n",
                expected.c_str(), line, e.c_str(), a.c_str());
    return 1;
  }
  return 0;
}
