// The steps of a session script. One table lists every step with its
// arguments and what it does; the same table checks a step's arguments and
// makes the list that "torval_host --help" prints.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "abi/host_services.h"
#include "abi/machine.h"
#include "host/config_store.h"
#include "host/file_store.h"
#include "host/form_view.h"
#include "host/host.h"
#include "host/host_platform.h"
#include "host/session.h"
#include "host/steps.h"

namespace torval {

namespace {

using namespace steps;

void expect_mistakes(const step_call&) { session().mistakes_expected = true; }

void help(const step_call&);

const step_kind all_steps[] = {
    {"version", "N", "the interface version the host reports (112 is this plug-in's)",
     [](const step_call& s) { host().interface_version = static_cast<int32_t>(s.number(0)); }},
    {"year", "YEAR", "the bookkeeping year",
     [](const step_call& s) {
       if (!whole_number(s.args[0], 1900, 2099)) throw refused{"a year from 1900 to 2099"};
       host().bookkeeping_year = static_cast<int16_t>(s.number(0));
     }},
    {"date", "DATE", "the current date, YY.MM.DD",
     [](const step_call& s) { host().current_date = s.args[0]; }},
    {"report-lines", "N|all", "the lines of a report the report view draws; the rest it counts",
     [](const step_call& s) {
       if (s.args[0] == "all") return void(host().report_view_lines = -1);
       if (!whole_number(s.args[0], 0, 1000000000)) throw refused{"a number of lines, or all"};
       host().report_view_lines = s.number(0);
     }},
    {"host-code", "CODE", "the four-character code of the host's information block 4",
     [](const step_call& s) {
       std::snprintf(reinterpret_cast<char*>(host().information_block + q7::host_values::host_code_at), 5, "%s", s.args[0].c_str());
     }},
    {"table", "TABLE size|missing|no-handler|no-buffer|no-totals [N]",
     "a table's record size, the table missing, or its descriptor without a key handler, a record "
     "buffer or column totals",
     table_step},
    {"config", "SECTION NAME VALUE", "a setting as the configuration store holds it (text as typed)",
     [](const step_call& s) {
       config_write(s.args[0], s.args[1], to_mazovia(s.args[2]));
       if (s.args[1] == "Stawki")
         say("  (Stawki holds ten-thousandths in the order plot, water, membership, energy; "
             "\"rates\" takes currency units in the form's order)");
     }},
    {"rates", "PLOT WATER ENERGY MEMBERSHIP",
     "the four rates in currency units, in the form's order (0.38 0.42 10.00 6.00)", rates},
    {"withdraw", "SERVICE", "the host lacks the service, as an older host does",
     [](const step_call& s) { platform::withdraw_export(static_cast<uint32_t>(s.number(0))); }},
    {"withdraw clear", "", "the host has every service again",
     [](const step_call&) { platform::restore_exports(); }},
    {"windows-box", "abort|ignore|retry|scripted",
     "how the Windows box answers from now on (scripted: by the next \"answer\", as every other box)",
     [](const step_call& s) {
       const std::string& how = s.args[0];
       host().windows_box_answer = how == "abort"    ? box_abort
                                   : how == "retry"  ? box_retry
                                   : how == "ignore" ? box_ignore
                                                     : 0;
     }},
    {"behave",
     "append-answers-index|settings-fill-two-rates|file-name-unwritten|dialog-stores-32-bits|"
     "user32-unavailable|key-without-table|key-without-count|short-stack|usual",
     "the host differs from the usual one, as another may: 52288 answers the new record's index, "
     "52224 fills two of four rates, 52311 writes no file name, dialog 1194 stores its value in "
     "32 bits, the delay-load hook hands user32's functions a module without them, a key handler "
     "is called without the table's descriptor or record count, the plug-in finds 4 KB of stack "
     "left (native build); usual: as the usual host again",
     [](const step_call& s) {
       if (s.args[0] == "usual") host().behaviours.clear();
       else host().behaviours.insert(s.args[0]);
     }},
    {"module-path", "PATH|fails", "what GetModuleFileNameA answers for the plug-in (native build)",
     module_path, true},
    {"load", "", "loads the plug-in module",
     [](const step_call&) {
       // Loading is what a session expects: only a failure is told.
       if (!platform::load_plugin(host().plugin_path)) say("  the plug-in did not load");
     }},
    {"unload", "",
     "unloads the plug-in module, so that the next load starts it afresh (natively: its unload "
     "notification only, the module stays)",
     [](const step_call&) {
       say(platform::unload_plugin() ? "  unloaded" : "  (the plug-in cannot be unloaded here)");
     }},
    {"start", "[nobuffer]", "entry 30001: starts the plug-in (with a description buffer)", start},
    {"stop", "", "entry 30001 with nothing: stops the plug-in",
     [](const step_call&) {
       plugin_loaded("stop");
       call_entry(30001);
     }},
    {"activate", "", "entry 30008 mode 0: the plug-in installs its key handlers",
     [](const step_call&) {
       plugin_loaded("activate");
       call_entry(30008, 0);
     }},
    {"report", "", "entry 30008 mode 1",
     [](const step_call&) {
       plugin_loaded("report");
       call_entry(30008, 1);
     }},
    {"entry 30008", "MODE", "entry 30008 with any mode",
     [](const step_call& s) {
       plugin_loaded("call 30008");
       call_entry(30008, static_cast<int32_t>(s.number(0)));
     }},
    {"entry 30009", "", "entry 30009",
     [](const step_call&) {
       plugin_loaded("call 30009");
       call_entry(30009);
     }},
    {"key", "TABLE KEY [A2 A5 A7 A9 A10 A11]",
     "a key pressed in a table's list: plots (the list of firms), cash (the cash desk) or ledger; "
     "ctrl-a to ctrl-z or a code; the six other values of the call (default 0 5 7 9 0 11)",
     press_key},
    {"key-in-form", "TABLE KEY", "a key pressed in a table's list while the next form is open",
     [](const step_call& s) {
       int32_t key = 0;
       key_code(s.args[1], key);
       host().keys_in_form.emplace_back(existing_table(table_number(s.args[0])).number, key);
     }},
    {"chain", "TABLE",
     "another module chains its key handler after the one in the table's slot, and passes keys on to it",
     [](const step_call& s) { chain_other_module(existing_table(table_number(s.args[0]))); }},
    {"unchain", "TABLE", "that module stops: it puts back the handler it found in the slot",
     [](const step_call& s) { unchain_other_module(existing_table(table_number(s.args[0]))); }},
    {"raise", "SERVICE at K [exit-unwind|jump]",
     "the service raises the host's exception at the start of its K-th call (counted as \"fail\" counts), before it has changed "
     "anything; the innermost of the host's own handlers catches it: the forms engine's around the "
     "form hook (the form goes on), or the list window's around the key handler, or the host's "
     "around an entry point (the host goes on), and unwinds the frames inside; exit-unwind: as when "
     "the host ends the thread (native build); jump: the handler jumps out, unwinding nothing",
     raise_step},
    {"exit-thread", "SERVICE at K",
     "the service ends the thread that calls it at the start of its K-th call, as ExitThread does: "
     "nothing more of that thread runs (the session's own thread goes on)",
     exit_thread_step},
    {"from-thread", "SERVICE at K key|30008|30001 TABLE|MODE|start|stop [KEY]",
     "at the K-th call of the service (counted as \"fail\" counts), while this thread waits in it, another thread of the host "
     "presses a key in a table's list (key TABLE KEY), or calls entry 30008 with a mode, or 30001 "
     "(start or stop); this thread waits for it to end, and the service goes on",
     from_thread},
    {"other-thread", "key|30008|30001 TABLE|MODE|start|stop [KEY]",
     "another thread of the host makes the call now (as from-thread), and this one waits for it",
     other_thread},
    {"meanwhile", "SERVICE at K key|30008|30001 TABLE|MODE|start|stop [KEY]",
     "at the K-th call of the service, the host's message loop makes the call on the thread that "
     "waits in it (as from-thread names it), and the service goes on",
     meanwhile},
    {"fpu", "strict|usual",
     "strict: every call into the plug-in (entry points, key handlers, the form hook) is made with "
     "an x87 control word that unmasks the invalid-operation, zero-divide and overflow exceptions; "
     "the host checks that its own code the plug-in calls (services, the delay-load hook, the "
     "Windows box, key handlers) is entered with that word, and after the call the control word "
     "and the exception flags; usual: the calls are made with 0x027F",
     [](const step_call& s) { host().strict_fpu = s.args[0] == "strict"; }},
    {"locale", "polish|c",
     "the C run-time's locale of every call into the plug-in: Polish (its decimal comma), or C",
     [](const step_call& s) {
       if (!set_polish_locale(s.args[0] == "polish")) say("  (this system has no Polish locale: the C locale stays)");
     }},
    {"answer", "ok|yes|no|cancel|abort|retry|ignore|N [value V|period START END]",
     "the answer to the next box, dialog or form (F12 is ok); a value the dialog stores, or the "
     "period dialog's two dates",
     answer_step, true},
    {"edit", "ITEM VALUE... | LABEL = VALUE...",
     "for the next form: types VALUE into input field ITEM, or into the field after the label LABEL "
     "(or the only label that begins so); amounts in currency units, texts in UTF-8",
     edit, true},
    {"plots", "FILE [skip-bad-lines]",
     "the plot table from a readable file (number;holder;area m2;fee letters;ledger number)",
     [](const step_call& s) { load_plots(s.args[0], s.args.size() > 1); }},
    {"cash", "FILE [skip-bad-lines]",
     "the cash table from a readable file (date;plot number;payer;line text;amount;...)",
     [](const step_call& s) { load_cash(s.args[0], s.args.size() > 1); }},
    {"cash raw", "FILE", "the cash table from a file of whole 1048-byte records",
     [](const step_call& s) { load_raw_cash(s.args[0]); }},
    {"cursor", "ROW", "the plot list's cursor on a row (from 0)",
     [](const step_call& s) {
       auto& d = plot_table().descriptor;
       const std::size_t row = plot_row(s, 0);
       d.first_held = d.top_record = 0;
       d.cursor_line = static_cast<int32_t>(row);
     }},
    {"window", "FIRST TOP CURSOR",
     "the plot list's window as the host holds it, unchecked: first row held, top record, cursor line",
     window},
    {"reload plots", "", "the plot list reads its rows again from the table's file",
     [](const step_call&) { reload_rows(plot_table()); }},
    {"ledger", "ACCOUNT|FILE entry stamp=N amount=AMOUNT [paid=AMOUNT] [copy=N] [line=TEXT;] title=TEXT",
     "appends an entry to a holder's ledger: by account number in the work folder's ledgers",
     add_ledger_entry, true},
    {"ledgers clear", "", "removes every holder's ledger",
     [](const step_call&) {
       std::error_code error;
       for (const auto& item : std::filesystem::directory_iterator(ledger_folder, error))
         std::filesystem::remove(item.path(), error);
       // The folder is there afterwards, also in a work folder entered since
       // the session began.
       std::filesystem::create_directories(ledger_folder, error);
     }},
    {"trace", "off|SERVICE...", "shows the calls of these services in the transcript", trace_step, true},
    {"fail clear", "",
     "no faults; call counts, scripted answers, edits, the audit, the Windows box's answer and the "
     "host's behaviours start anew",
     [](const step_call&) {
       host().faults.clear();
       host().calls.clear();
       host().answers.clear();
       host().form_edits.clear();
       host().audit = {};
       host().windows_box_answer = 0;
       host().behaviours.clear();
       host().raise_plan.clear();
       host().raise_endings.clear();
       host().exit_thread_plan.clear();
       host().thread_plan.clear();
       host().loop_plan.clear();
       host().keys_in_form.clear();
     }},
    {"fail", "SERVICE at|from K", "service N answers its failure value at its K-th call, or from it on (calls are counted "
     "from the session's start or the last \"fail clear\")",
     [](const step_call& s) {
       if (s.number(2) < 1) throw refused{"calls are counted from 1"};
       host().faults[static_cast<uint32_t>(s.number(0))] = {static_cast<int>(s.number(2)), s.args[1] == "from"};
     }},
    {"audit", "", "do the kept totals match the files; what the ledger writes stored",
     [](const step_call&) { report_audit(); }},
    {"show plots", "", "the plot list, the cursor's row marked, and the column totals", show_plots},
    {"show ledger-of", "ROW", "the ledger of the plot in a row",
     [](const step_call& s) {
       const q7::plot_record plot = held_plot(plot_table(), plot_row(s, 0));
       const std::string name = ledger_file(std::to_string(plot.ledger_no));
       say("  " + name + ":");
       show_ledger(name);
     }},
    {"show ledger", "ACCOUNT|FILE", "a holder's ledger", [](const step_call& s) { show_ledger(ledger_file(s.args[0])); }},
    {"show config", "", "the settings",
     [](const step_call&) {
       const std::string text = config_contents();
       if (text.empty()) say("  (no settings)");
       else say_text(text.substr(0, text.size() - 1).c_str());
     }},
    {"show forms", "[drawn|values]",
     "from now on every form is drawn as it opens and as it closes, with its hot keys; values: "
     "each says its input fields' values in a line instead, as when a session begins",
     [](const step_call& s) { draw_forms(s.args.empty() || s.args[0] == "drawn"); }},
    {"show handlers", "", "the key handler in each table's slot, in one line",
     [](const step_call&) {
       std::string line;
       for (const auto& [n, t] : host().tables)
         line += (line.empty() ? "  table " : " · table ") + std::to_string(n) + ": " + handler_name(t);
       say(line);
     }},
    {"show unwind-stack", "", "the most stack a service found taken below the host's handler while the host unwound a call",
     [](const step_call&) {
       say("  the host's unwinding took " + std::to_string(host().deepest_unwinding) + " bytes of stack at most");
     }},
    {"show calls", "", "how often each service was called",
     [](const step_call&) {
       std::string calls = "  calls:";
       for (const auto& [service, count] : host().calls)
         calls.append(1, ' ').append(std::to_string(service)).append(1, 'x').append(std::to_string(count));
       say(calls);
     }},
    {"show file", "NAME", "a text file the plug-in wrote into the work folder, line by line",
     [](const step_call& s) { show_file(s.args[0]); }},
    {"hold", "NAME", "another program holds a file of the work folder open and lets no one change it, "
     "as a spreadsheet program holds the file it shows",
     [](const step_call& s) {
       if (s.args[0].find_first_of("/\\:") != std::string::npos)
         throw refused{"hold takes the name of a file in the work folder, not a path"};
       hold_file(s.args[0]);
     }},
    {"hold clear", "", "the other program lets go of every file it held", [](const step_call&) { let_go_of_files(); }},
    {"transcript clear", "", "forgets the transcript so far (what was written out stays)",
     [](const step_call&) { host().transcript.clear(); }},
    {"expect mistakes", "", "the script tests mistakes: they are reported but do not fail the run",
     expect_mistakes},
    {"help", "", "this list", help},
};

void help(const step_call&) {
  for (const step_kind& kind : all_steps) say(std::string("  ") + kind.name + " " + kind.arguments);
}

// The step a line's words name: the longest name its words begin with.
const step_kind* find_step(const std::vector<std::string>& w, std::size_t& name_words) {
  // The words of every step's name, split once.
  static const std::vector<std::vector<std::string>> names = [] {
    std::vector<std::vector<std::string>> all;
    for (const step_kind& kind : all_steps) all.push_back(split_words(kind.name));
    return all;
  }();
  const step_kind* found = nullptr;
  name_words = 0;
  for (std::size_t k = 0; k < std::size(all_steps); ++k) {
    const step_kind& kind = all_steps[k];
    const auto& name = names[k];
    if (name.size() > w.size() || name.size() <= name_words) continue;
    if (std::equal(name.begin(), name.end(), w.begin())) {
      found = &kind;
      name_words = name.size();
    }
  }
  return found;
}

void reset_session() {
  host().transcript.clear();
  host().answers.clear();
  std::snprintf(reinterpret_cast<char*>(host().information_block + q7::host_values::host_code_at), 5, "%s", "0001");
  std::error_code error;
  std::filesystem::create_directories(ledger_folder, error);
  host().form_edits.clear();
  reset_tables();
  config_clear();
}

}  // namespace

void print_steps(FILE* out) {
  std::fprintf(out, "Steps of a session script, one a line (\"#\" begins a comment):\n");
  for (const step_kind& kind : all_steps) {
    const std::string head = std::string(kind.name) + (*kind.arguments ? " " : "") + kind.arguments;
    std::fprintf(out, "  %s\n", head.c_str());
    // The description wrapped at 90 columns.
    std::string line = "     ";
    for (const std::string& word : split_words(kind.help)) {
      if (line.size() + 1 + utf8_length(word) > 90) {
        std::fprintf(out, "%s\n", line.c_str());
        line = "     ";
      }
      line += " " + word;
    }
    std::fprintf(out, "%s\n", line.c_str());
  }
}

void run_step(const std::string& line) {
  static bool session_started;
  if (!session_started) reset_session();
  session_started = true;
  const auto w = split_words(line);
  if (w.empty() || w[0][0] == '#') return;
  say("> " + line);
  std::size_t name_words = 0;
  const step_kind* kind = find_step(w, name_words);
  if (!kind) {
    std::string alike;
    for (const step_kind& k : all_steps)
      if (split_words(k.name)[0] == w[0]) alike += std::string(alike.empty() ? "" : ", ") + k.name;
    report_mistake("unknown step \"" + w[0] + "\"" +
                   (alike.empty() ? std::string(" (torval_host --help lists the steps)")
                                  : " (steps beginning so: " + alike + ")"));
    return;
  }
  step_call call{line, std::vector<std::string>(w.begin() + static_cast<long>(name_words), w.end()), ""};
  // The rest of the line after the name, as written.
  std::size_t at = line.find_first_not_of(" \t");
  for (std::size_t i = 0; i < name_words; ++i) {
    at = line.find_first_of(" \t", at);
    at = at == std::string::npos ? line.size() : line.find_first_not_of(" \t", at);
    if (at == std::string::npos) at = line.size();
  }
  call.rest = line.substr(at);
  while (!call.rest.empty() && (call.rest.back() == ' ' || call.rest.back() == '\t')) call.rest.pop_back();
  try {
    if (!kind->own_check) check_arguments(*kind, call.args);
    else if (call.args.empty()) throw refused{std::string("missing ") + kind->arguments};
    kind->run(call);
  } catch (const refused& r) {
    report_mistake(std::string(kind->name) + ": " + r.reason);
  }
}

}  // namespace torval
