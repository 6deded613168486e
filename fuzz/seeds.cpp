// Writes the seed corpora of the fuzz programs (fuzz/corpus/<program>/) from
// what the plug-in and the stand-in host really make: cash records written by
// the host's cash table loader, the first sample plot and the default rates,
// numbers as the heating amount is written, the plug-in's own form template
// block, a holder's ledger written by the host, the module paths and service
// names the binding error box reports, and the host's answers that broke the
// plug-in once, or that it must take.
//
//   fuzz_seeds CORPUS_FOLDER CASH_CSV
#include <array>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>

#include "abi/form_template_writer.h"
#include "abi/mazovia.h"
#include "abi/records.h"
#include "fuzz/fee_input.h"
#include "fuzz/support.h"
#include "plugin/fees/form_templates.h"

namespace {

namespace fs = std::filesystem;
using q7::fuzz::step;

fs::path corpus;

void write(const std::string& program, const std::string& name, const void* bytes, std::size_t size) {
  fs::create_directories(corpus / program);
  std::ofstream out(corpus / program / name, std::ios::binary | std::ios::trunc);
  out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(size));
}

void write(const std::string& program, const std::string& name, const std::string& bytes) {
  write(program, name, bytes.data(), bytes.size());
}

void cash_records(const std::string& csv) {
  step("cash " + csv);
  const std::string file = q7::fuzz::file_bytes("cash.dat");
  constexpr std::size_t size = sizeof(q7::cash_record);
  for (std::size_t i = 0; (i + 1) * size <= file.size(); ++i)
    write("cash_record", "document-" + std::to_string(i + 1), file.data() + i * size, size);
}

void plot(const std::string& name, const double (&rates)[4], int32_t area_milli, const char* number,
          const char* holder, const char* letters) {
  q7::fuzz::fee_input in{};
  std::memcpy(in.rates, rates, sizeof rates);
  in.area_milli = area_milli;
  std::snprintf(in.plot_no_text, sizeof in.plot_no_text, "%s", number);
  std::snprintf(in.holder_name, sizeof in.holder_name, "%s", holder);
  std::snprintf(in.fee_letters, sizeof in.fee_letters, "%s", letters);
  write("fee_sheet", name, &in, sizeof in);
}

void fee_sheets() {
  const double defaults[4] = {3800.0, 4200.0, 100000.0, 60000.0};
  const double raised[4] = {4000.0, 5000.0, 110000.0, 70000.0};
  plot("first-sample-plot", defaults, 300000, "1", "Anna Nowak", "r e c150");
  plot("upper-case-letters", raised, 412500, "2", "Jan Kowalski", "RE");
  plot("heating-only", defaults, 318750, "  -4", MZ("Piotr Wójcik"), "C12.5");
  plot("no-letters", defaults, 250000, "3", MZ("Zofia Wiśniewska"), "");
  // Once gave an infinite heating fee: the number was checked before it was scaled.
  plot("heating-too-large", defaults, 300000, "5", "Ewa", "c1e305");
  // Once read past the powers of ten: a number far below the smallest double.
  plot("heating-far-too-small", defaults, 300000, "6", "Ewa", "c1e-308693");
  plot("heating-decimal-comma", defaults, 300000, "7", "Ewa", "c12,50");
}

// Numbers as the heating amount is written, and at the edges of what a
// double holds or of how the reader finds a number's end.
void decimal_values() {
  const char* const numbers[][2] = {
      {"amount", "12.50"},
      {"decimal-comma", "12,50"},
      {"second-point", "1.2.5"},
      {"blanks-and-sign", " \t-7.5"},
      {"exponent", "1e300"},
      {"exponent-far-beyond", "1e4294967297"},
      {"halfway-between-doubles", "9007199254740993"},
      {"just-above-halfway", "9007199254740993.00000000000000000001"},
      {"forty-digits", "3.141592653589793238462643383279502884197"},
      {"smallest-double", "4.9406564584124654e-324"},
      {"largest-double", "1.7976931348623157e308"},
      {"leading-zeros", "0000000000000000000012"},
      {"word", "inf"},
  };
  for (const auto& [name, text] : numbers) write("decimal_value", name, text);
}

// A form of labels and buttons only: it binds no record bytes.
constexpr std::array no_input_items{
    q7::forms::label(2, 2, "Bez pol"),
    q7::forms::button(2, 4, 10, "Anuluj", q7::cancelled, 0, 0),
};
constexpr std::array no_input_forms{
    q7::forms::form_description{q7::annual_fees_form, "Formularz", 20, 6, no_input_items},
};
constexpr auto no_input_block = q7::forms::build_form_block<no_input_forms>();

void form_blocks() {
  const auto& block = q7::form_template_block;
  write("form_block", "plug-in-forms", block.data(), block.size());
  // The first form alone, its head saying so.
  const std::size_t first = 4 + 4 + (block[4] | block[5] << 8);
  std::string alone(reinterpret_cast<const char*>(block.data()), first);
  const uint32_t total = static_cast<uint32_t>(first - 4);
  std::memcpy(alone.data(), &total, sizeof total);
  write("form_block", "annual-fees-form-alone", alone);
  // Once had the forms engine copy its values to a null destination.
  write("form_block", "form-without-input-fields", no_input_block.data(), no_input_block.size());
}

void service_names() {
  write("service_names", "host-module", "TORVAL");
  write("service_names", "module-path", "C:\\TORVAL\\WTYCZKI\\q7_kar_vezezoz.dll");
  write("service_names", "decorated-name", "_MessageBoxA@16");
  write("service_names", "caller-removes", "wsprintfA");
  write("service_names", "too-many-bytes", "_Service@60");
  write("service_names", "markup", MZ("moduł \x02wtyczki\x01 @8"));
}

void ledgers() {
  step("ledger FUZZ.KON entry stamp=901 amount=390 paid=390 line=2010 opł. 300* 0.38=114.00; title=2010 Opłata - użytkowanie");
  step("ledger FUZZ.KON entry stamp=0 amount=0 title=");
  step("ledger FUZZ.KON entry stamp=42 amount=5 line=2011 woda 300* 0.42=126.00; title=2011 Opłata za wodę");
  step("ledger FUZZ.KON entry stamp=43 amount=6 title=2011 Opłata za wodę");
  const std::string file = q7::fuzz::file_bytes("FUZZ.KON");
  write("ledger_file", "four-entries", file);
  write("ledger_file", "two-entries-and-a-part", file.substr(0, 2 * sizeof(q7::ledger_entry) + 100));
  write("ledger_file", "empty", "");
}

// The host's answers (fuzz/host_answers.cpp): per command a byte for its
// kind (0 Ctrl-B, 1 Ctrl-C, 2 Ctrl-A, 3 Ctrl-W, 4 Ctrl-A in the cash desk,
// 5 another key), one for the window and the record count, one for a null
// among the handler's values; then a byte for each call that may be answered
// otherwise: below 0x80 the usual answer, 0x80 on the service's first other
// answer, 0x81 its second, and so on (fuzz/service_answers.cpp). The bytes
// before the one that matters are usual answers, counted from a run with a
// transcript; after the last byte every answer is the usual one.
void host_answers() {
  const auto seed = [](const char* name, std::string head, std::size_t usual, std::string then = "") {
    write("host_answers", name, head + std::string(usual, '\0') + then);
  };
  seed("ctrl-b", {0, 0, 0}, 0);
  seed("ctrl-c", {1, 0, 0}, 0);
  seed("ctrl-a", {2, 0, 0}, 0);
  seed("ctrl-w", {3, 0, 0}, 0);
  seed("cash-desk-ctrl-a", {4, 0, 0}, 0);
  seed("another-key", {5, 0, 0}, 0);
  seed("ctrl-b-then-the-report", {0, 0, 0}, 117, {4, 0, 0});
  // Once read or wrote past a buffer, or went wrong, before the plug-in was mended:
  seed("ledger-records-of-another-size", {0, 0, 0, 0}, 0, "\x83");
  seed("plot-records-of-another-size", {1, 0, 0}, 0, "\x83");
  seed("ledger-table-is-the-plot-table", {3, 0, 0, 0}, 0, "\x85");
  seed("record-count-beyond-the-table-dry-run", {1, 0x30, 0}, 0);
  seed("record-count-beyond-the-table-report", {4, 0x30, 0}, 0);
  seed("copies-without-terminator-report", {4, 0, 0}, 5, std::string(11, '\x80'));
  seed("form-confirmed-with-an-amount-not-a-number", {3, 0, 0}, 19, "\x84");
  // Answers out of the host's contract that the plug-in took as it should already:
  seed("holder-ledger-left-open", {3, 0, 0}, 21, "\x80");
  seed("no-bookkeeping-year", {0, 0, 0}, 5, "\x80");
  seed("entry-count-below-zero", {2, 0, 0}, 4, "\x81");
  seed("rates-not-numbers", {1, 0, 0}, 3, "\x82");
  seed("period-without-terminators", {4, 0, 0}, 1, "\x83");
  seed("unknown-box-answer", {4, 0, 0}, 0, "\x82");
  seed("malformed-dates", {0, 0, 0}, 33, "\x80\x81");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_FOLDER CASH_CSV\n");
    return 2;
  }
  corpus = fs::absolute(argv[1]);
  const std::string csv = fs::absolute(argv[2]).string();
  q7::fuzz::attach_plugin();
  const q7::fuzz::in_scratch_folder here;
  step("date 11.03.15");
  cash_records(csv);
  fee_sheets();
  decimal_values();
  form_blocks();
  service_names();
  ledgers();
  host_answers();
  return 0;
}
