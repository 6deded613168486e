// The stand-in host: a small program of its own that offers the plug-in the
// host services it expects, keeps the tables, settings and files those
// services work on, and writes everything the user would see into a
// transcript. It is driven by session scripts (session.cpp).
#pragma once

#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "abi/records.h"
#include "host/forms.h"
#include "host/host_platform.h"

namespace torval {

// Answers of the Windows message box (MessageBoxA).
inline constexpr int box_abort = 3;
inline constexpr int box_retry = 4;
inline constexpr int box_ignore = 5;

// One scripted answer to the next box, dialog or form.
struct answer {
  int code;
  bool sets_value = false;  // the dialog also stores a value through its data pointer
  int value = 0;
  std::string period_start, period_end;  // the period dialog's two dates
};

// A table of the host with the descriptor it hands to the plug-in.
struct table {
  int32_t number = 0;
  q7::table_descriptor descriptor{};
  std::vector<double> column_totals = std::vector<double>(16, 0.0);
  std::vector<char> record_buffer = std::vector<char>(2048, 0);
  int32_t record_count = 0;
  std::vector<std::vector<char>> held;  // the records the list window holds
  std::vector<char*> rows;              // the row array handed to the key handler
  FILE* file = nullptr;
  bool own_handler = true;  // the host's own key handler is in the slot
};

// The three entry points of a loaded plug-in.
struct plugin_module {
  void* handle = nullptr;
  int32_t(Q7_STDCALL* start_stop)(void*, char*) = nullptr;
  int32_t(Q7_STDCALL* activate_or_report)(int32_t) = nullptr;
  void(Q7_STDCALL* no_effect)() = nullptr;
};

// A service made to answer its failure value at its k-th call, or from it on.
struct fault {
  int call = 1;
  bool from_then_on = false;
};

// What the host records to check a command afterwards: the totals of each
// holder's ledger as the +1/-1 calls of 52204 leave them, the ledger opened
// under each file descriptor, the passes (52282) and the changes (52297)
// begun on a table file and not yet ended, and what the ledger writes stored.
// Changes end with 52298, with the end of a pass over their file (52283),
// or when their file is closed (52302); an end of changes never begun is recorded too.
struct audit_state {
  using totals_by_file = std::map<std::string, std::pair<double, double>, std::less<>>;
  totals_by_file ledger_totals;                                   // debit, credit by file
  std::map<int, totals_by_file::value_type*> open_ledgers;        // by file descriptor: its entry there
  std::map<const FILE*, int32_t> open_passes;                       // table by file
  std::map<const FILE*, int32_t> begun_changes;                     // table by file
  std::vector<int32_t> unbegun_ends;                                // tables of 52298 with no change begun
  double stored = 0;
  int stored_entries = 0;
};

struct host_state {
  int32_t interface_version = 112;
  std::map<int32_t, table> tables;
  std::deque<answer> answers;
  std::deque<form_edit> form_edits;     // for the next form shown
  std::string transcript;
  // Fuzzing: nothing is written into the transcript and nothing is drawn for
  // it; everything else the host does, and checks, is as in a session.
  bool quiet = false;
  // Fuzzing: the working folder's shared files are kept in memory (host/file_store.h).
  bool files_in_memory = false;
  // The lines of a report the report view draws; the rest it counts. A scale
  // run's report of a million lines would otherwise be a transcript of them.
  long report_view_lines = -1;  // all
  std::string form_refusal;             // why the last form could not be shown
  FILE* transcript_stream = nullptr;    // where each line goes as it is said, flushed
  std::string config_path = "torval.ini";
  std::string plugin_path = "q7_kar_vezezoz.dll";
  std::string script_folder;            // files named in a script are found beside it
  std::string plugin_folder;            // shown as "<plugin dir>": it differs from machine to machine
  plugin_module plugin;
  void* se_translator = nullptr;        // as the plug-in installed it
  std::map<uint32_t, int> lookups;      // service lookups by number
  int16_t bookkeeping_year = 2011;
  std::string current_date = "11.03.15"; // YY.MM.DD, set by the session
  uint8_t information_block[64] = {};   // block 4: a four-character code at 54..57
  std::set<uint32_t> traced;            // services whose calls the transcript shows
  std::map<uint32_t, fault> faults;     // services made to fail, by number
  std::map<uint32_t, int> calls;        // calls of each service so far
  int windows_box_answer = 0;           // when set, the Windows box answers so every time
  std::set<std::string, std::less<>> behaviours;    // where this host differs from the usual one (session.cpp)
  // What the program and the other modules of its process do around the
  // plug-in (host/neighbours.cpp): the handler another module saved when it
  // chained its own into a table's slot, by table; keys pressed in a list
  // while the next form is open (table, key); services that raise the host's
  // exception at their k-th call; calls another thread makes at a service's
  // k-th call (the words of the call); the x87 control word and the C
  // run-time's locale of every call into the plug-in.
  std::map<int32_t, q7::key_handler> other_module_saved;
  std::deque<std::pair<int32_t, int32_t>> keys_in_form;
  std::map<uint32_t, int> raise_plan;
  std::map<uint32_t, platform::host_ending> raise_endings;  // of the raises planned, those not unwound as usual
  std::map<uint32_t, int> exit_thread_plan;  // services that end their thread at their k-th call
  std::map<uint32_t, std::pair<int, std::vector<std::string>>> thread_plan;
  std::map<uint32_t, std::pair<int, std::vector<std::string>>> loop_plan;  // the same, on the waiting thread
  bool strict_fpu = false;
  std::size_t deepest_unwinding = 0;     // bytes of stack below the catching handler, at a service
  bool polish_locale = false;
  audit_state audit;
  // Interactive use: asks the person at the terminal and reads the reply;
  // false at the end of the input. Null when a script runs alone.
  bool (*ask)(const std::string& prompt, std::string& reply) = nullptr;
  // The steps the person's replies stand for (answers, edits), to be saved
  // before the step during which they were asked.
  std::vector<std::string> replied_steps;
};

host_state& host();

// True when the session's fault plan says that this call of the service
// (counted as it entered, torval_service_entered) fails.
bool failing(uint32_t service);
void say(const std::string& line);
// Says the line that line() makes, made only when a transcript is written
// (a fuzzing run writes none).
template <class Line>
requires std::is_invocable_r_v<std::string, Line>
void say(Line line) {
  if (!host().quiet) say(line());
}

// Whether the session traces the service.
bool traced(uint32_t service);
// Writes a service call into the transcript when the session traces it; the
// text of its arguments is made only then.
template <class Arguments>
void trace(uint32_t service, Arguments arguments) {
  if (traced(service)) say("  " + std::to_string(service) + "(" + arguments() + ")");
}
// Amounts are held scaled by 10000 and shown with two decimals.
std::string amount_text(double scaled);

// Columns of the plot table that the simulation fills, and how a column's
// integer value counts in the column totals (scaled amounts).
using q7::kwota1_column;
using q7::kwota2_column;
inline double column_amount(int32_t column_value) { return column_value * q7::column_value_scale; }
// The folder of the holders' ledgers, in the session's working folder.
inline constexpr const char* ledger_folder = "ledgers";

// Tables kept in files of fixed-size records.
table* table_of(const q7::table_descriptor* descriptor);
bool read_record(table& t, FILE* file, int32_t index);
bool write_record(table& t, FILE* file, int32_t index);
bool append_record(table& t, FILE* file, int32_t* count);
int32_t records_in(FILE* file, int32_t record_size);
// The list window's rows: the records of the table's file, held in memory.
void reload_rows(table& t);
// The plot table's column totals of 'kwota1' and 'kwota2', from its file.
void recompute_plot_totals(table& t);

// A holder's ledger entry: the plug-in writes the charged amount; the host
// keeps a paid amount in bytes 362..369, which the plug-in leaves zero.
double ledger_debit(const q7::ledger_entry& entry);
double ledger_credit(const q7::ledger_entry& entry);
void set_ledger_credit(q7::ledger_entry& entry, double credit);
// Sets a ledger table's debit and credit totals (columns 0 and 1) from the
// first count entries of a holder's ledger file; false when one cannot be read.
bool total_ledger(table& t, FILE* file, int32_t count);
// The audit of ledger postings (see audit_state) and its report.
void audit_opened_ledger(FILE* file, std::string_view name, double debit, double credit);
void audit_closed_ledger(FILE* file);
void audit_ledger_totals(int fd, double debit, double credit);
void audit_stored(const table& t);
void audit_pass(const FILE* file, int32_t table, bool begins);
void audit_changes(const FILE* file, int32_t table, bool begin);
// Says whether every audited ledger's kept totals and the plot table's column
// totals equal a recomputation from their files, and what was stored.
void report_audit();
// Days from 1 January 1970 of a YY.MM.DD date; false when it is not one.
bool day_number(const char* date, long& days);
// A date of the calendar written YY.MM.DD (no 30 February).
bool calendar_date(const std::string& date);

// Transcript output, in UTF-8.
void say(const std::string& line);
// A text of the system (Mazovia) shown line by line, markup made visible.
void say_text(const char* mazovia_text);
// The same for a text in the Windows code page.
void say_windows_text(const char* windows_text);
std::string from_mazovia(const char* text);
std::string from_windows_1250(const char* text);
// The words of a line, separated by blanks.
std::vector<std::string> split_words(const std::string& line);
// The parts of a text between separators.
std::vector<std::string> split_text(const std::string& text, char separator);
// Mazovia bytes of a UTF-8 text typed in a session script; a character the
// code page lacks becomes "?".
std::string to_mazovia(const std::string& utf8);
// The same into out, answering the place (from 1, in characters) of the first
// character the code page lacks or that is not UTF-8, or 0 when there is none;
// miss_byte, when given, gets the byte where that character begins.
std::size_t to_mazovia_checked(const std::string& utf8, std::string& out,
                               std::size_t* miss_byte = nullptr);
// Characters of a UTF-8 text.
std::size_t utf8_length(const std::string& utf8);

// Whether the session made the host behave so (the step "behave").
bool behaves(const char* behaviour);

// The next scripted answer, or the given default when none is left.
answer next_answer(int default_code, const char* what);
// An answer from the words of a step after "answer": a name or a number,
// then "value V" or "period START END"; false with the reason when it is none.
bool answer_of(const std::vector<std::string>& words, answer& a, std::string& why);
// An answer as the transcript shows it: its number and, for a button of the
// host, its name ("20481 (OK)").
std::string answer_text(int code);

// The report view: a text file of tab-separated columns drawn by its column
// layout ("l-1Name\rc10Plot..."; l left, c centre, p right; width -1 takes the rest).
void show_report(const char* file, const char* layout, const char* title);

// Tables: a fresh descriptor for each of the host's standard tables, with
// the host's own key handler in its slot.
void reset_tables();
table& add_table(int32_t number, int16_t record_size);
// The host's own key handler of every table: it reports the eleven values.
int32_t Q7_STDCALL host_key_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                    int32_t a5, q7::table_descriptor* table, int32_t a7,
                                    FILE* file, int32_t a9, uint32_t a10, int32_t a11);
table* find_table(int32_t number);

// Host exports: lookup by ordinal as GetProcAddress sees it, and withdrawal
// of an export, as in an older host that lacks the service.
void withdraw_export(uint32_t ordinal);

// Around the plug-in (host/neighbours.cpp): another module's key handler
// chained into a table's slot after the one there, and put back; a key
// pressed in a table's list (A2 A5 A7 A9 A10 A11 as given), the handler's
// answer in result: false when the host caught its own exception around the
// handler (the transcript says so); the keys queued for the open form
// pressed.
bool is_other_module_handler(q7::key_handler handler);
void chain_other_module(table& t);
void unchain_other_module(table& t);
bool press_table_key(table& t, int32_t key, const uint32_t (&values)[6], int32_t& result);
void press_keys_in_form();

// A call into the plug-in as the host makes it: with the x87 control word
// and the locale the session chose (restored after it, the control and
// status words checked), inside the host's own exception handling. True
// when the host caught its exception there.
void entering_plugin(uint16_t& saved_control_word);
void left_plugin(uint16_t saved_control_word);
template <class Call>
bool call_plugin(Call call) {
  uint16_t saved;
  entering_plugin(saved);
  const bool caught = platform::call_catching([](void* c) { (*static_cast<Call*>(c))(); }, &call);
  left_plugin(saved);
  return caught;
}
// The C run-time's locale of the calls into the plug-in: Polish, or the C
// locale; false when the system has no Polish locale.
bool set_polish_locale(bool polish);
// Inside a call into the plug-in, the host's own reading and writing of
// numbers is done in the C locale for the life of this object.
struct c_numbers {
  bool switched;
  c_numbers();
  ~c_numbers();
  c_numbers(const c_numbers&) = delete;
  c_numbers& operator=(const c_numbers&) = delete;
};
// The calls another thread of the host makes while a service waits: a key
// in a table's list, or an entry point (host/neighbours.cpp); and the same
// call made by the host's message loop on the thread that waits.
void call_from_other_thread(const std::vector<std::string>& call);
void call_meanwhile(const std::vector<std::string>& call);
// In the strict x87 mode, tells when code of the host's (a service, the
// delay-load hook, a key handler the plug-in passes a key on to) is entered
// with another control word than the host called the plug-in with.
void check_entered_word(const char* what, uint32_t number = 0);
// The host's unwinding of a call begins in the frame of its handler (top),
// or is over (null): the services called meanwhile measure how deep the
// unwinding, the plug-in's frame handler and its closing steps take the stack.
void unwinding_from(const void* top);

// Loading the plug-in module and calling its entry points.
bool load_plugin(const std::string& path);
// The text with the folder the plug-in is loaded from replaced by "<plugin dir>".
std::string plugin_display_path(const std::string& text);

}  // namespace torval
