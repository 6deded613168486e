// A cash document from untrusted bytes through the payments report of the
// cash desk (Ctrl-A), end to end: the stand-in host's cash table holds the
// record in its file, the plug-in's key handler runs the report, and the
// host's scripted answers say yes, give the period, and decline printing.
//
// The input is one cash record (1048 bytes; a shorter input is padded with
// zeros, a longer one cut).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "abi/records.h"
#include "fuzz/support.h"
#include "host/file_store.h"
#include "host/host.h"
#include "plugin/list_handlers.h"
#include "tests/sheet_reader.h"

namespace {

constexpr char period_start[] = "11.01.01";
constexpr char period_end[] = "11.12.31";
constexpr char sheet_file[] = "raport_wplat_2011-01-01_2011-12-31.csv";
constexpr char temporary_file[] = "raport_wplat_2011-01-01_2011-12-31.csv.tmp";

torval::table& cash_table() {
  static torval::table& cash = [&]() -> torval::table& {
    torval::table& t = *torval::find_table(q7::cash_table_no);
    t.file = torval::open_file("cash.dat", "w+b");
    if (!t.file) q7::fuzz::broken(__FILE__, __LINE__, "cash.dat", "cannot make the cash table's file");
    return t;
  }();
  return cash;
}

// Days between two dates as the host counts them; 0 when either is not a date.
long difference(const char* a, const char* b) {
  long day_a, day_b;
  return torval::day_number(a, day_a) && torval::day_number(b, day_b) ? day_a - day_b : 0;
}

// Whether the report is to list the document: dated within the period (a date
// the host cannot read compares as equal to any), and for a plot.
bool listed(const q7::cash_record& record) {
  char date[9];
  std::memcpy(date, record.cash_date, 8);
  date[8] = 0;
  return date[0] != 0 && difference(period_start, date) <= 0 && difference(period_end, date) >= 0 &&
         record.cash_plot_no[0] != 0;
}

// A date of the host's form, YY.MM.DD, as YYYY-MM-DD (80 to 99 of the last
// century, 00 to 79 of this one); false for a text of another form.
bool iso_date(const char* yy_mm_dd, char (&date)[10]) {
  for (int i = 0; i < 8; ++i)
    if ((i == 2 || i == 5) ? yy_mm_dd[i] != '.' : (yy_mm_dd[i] < '0' || yy_mm_dd[i] > '9')) return false;
  const char text[10] = {yy_mm_dd[0] >= '8' ? '1' : '2', yy_mm_dd[0] >= '8' ? '9' : '0', yy_mm_dd[0], yy_mm_dd[1],
                         '-', yy_mm_dd[3], yy_mm_dd[4], '-', yy_mm_dd[6], yy_mm_dd[7]};
  std::memcpy(date, text, sizeof date);
  return true;
}

// Where the last CR LF that begins at or before pos begins; npos when there
// is none. It looks for the LF alone: a search for the pair would compare
// memory at every position, and the fuzzer inspects every such comparison.
std::size_t last_line_end(std::string_view text, std::size_t pos) {
  for (std::size_t lf = text.rfind('\n', pos + 1); lf != std::string_view::npos && lf > 0;
       lf = text.rfind('\n', lf - 1))
    if (text[lf - 1] == '\r') return lf - 1;
  return std::string_view::npos;
}

// The seven amount columns and what follows the line's last tab: the line
// after its eighth tab from the end, or the whole line when it has fewer.
std::string_view amounts(std::string_view line) {
  std::size_t at = line.size();
  for (int tabs = 0; tabs < 8; ++tabs) {
    if (at == 0 || (at = line.rfind('\t', at - 1)) == std::string_view::npos) return line;
  }
  return line.substr(at + 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  q7::fuzz::limit_input_length(argc, argv, sizeof(q7::cash_record));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  q7::fuzz::attach_plugin();
  torval::table& t = cash_table();
  q7::fuzz::reset_host_output();

  q7::cash_record record{};
  std::memcpy(&record, data, std::min(size, sizeof record));
  std::memcpy(t.record_buffer.data(), &record, sizeof record);
  Q7_FUZZ_CHECK(torval::write_record(t, t.file, 0), "the cash table's file was not written");
  std::memset(t.record_buffer.data(), 0, t.record_buffer.size());
  t.record_count = 1;

  // The host's scripted answers, as the steps "answer yes", "answer ok period
  // START END" and "answer no" queue them.
  q7::fuzz::queue_answer(q7::confirmed);
  q7::fuzz::queue_answer(q7::confirmed, period_start, period_end);
  q7::fuzz::queue_answer(0);
  const int32_t result = q7::cash_list_handler(q7::key_ctrl_a, 0, &t.record_count, t.rows.data(), 5,
                                               &t.descriptor, 7, t.file, 9, 0, 11);
  const std::string& transcript = torval::transcript().text;
  Q7_FUZZ_CHECK(result == 0, "the handler answered " + std::to_string(result));
  Q7_FUZZ_CHECK(torval::plan().answers.empty(), "the report stopped before its end:\n" + transcript);

  // The listing: its head line, the document's line if it is listed, an
  // empty line and the totals, each ended by CR LF.
  const bool is_listed = listed(record);
  const std::string& listing_file = q7::fuzz::file_bytes("info2.txt");
  const std::string_view listing = listing_file;
  const std::size_t head_end = listing.find("\r\n");
  Q7_FUZZ_CHECK(head_end != std::string::npos && listing.size() >= 6 && listing.ends_with("\r\n"),
                "a listing without its lines:\n" + listing_file);
  const std::size_t totals_start = last_line_end(listing, listing.size() - 3) + 2;
  const std::string_view totals = listing.substr(totals_start, listing.size() - 2 - totals_start);
  Q7_FUZZ_CHECK(totals.starts_with("RAZEM") && totals_start >= head_end + 4 &&
                    listing.substr(totals_start - 4, 2) == "\r\n",
                "no totals after an empty line:\n" + listing_file);
  const std::size_t row_start = head_end + 2, row_end = totals_start - 4;
  Q7_FUZZ_CHECK(is_listed == (row_end > row_start),
                "the document is listed or left out wrongly:\n" + listing_file);

  // A listed document's amounts are the totals' amounts, where neither line
  // was cut at the line buffer's end.
  if (row_end > row_start) {
    const std::string_view row = listing.substr(row_start, row_end - row_start);
    constexpr std::size_t longest = 1023;
    if (row.size() < longest && totals.size() < longest)
      Q7_FUZZ_CHECK(amounts(row) == amounts(totals),
                    "the totals differ from the one document:\n" + listing_file);
  }

  // The spreadsheet file of the period: header, the document's row if it is
  // listed, an empty row and the totals, ten fields each but the empty row,
  // whatever the name and the date hold; a date of the host's form as the
  // date it stands for. Its temporary file is gone.
  const std::string& sheet = q7::fuzz::file_bytes(sheet_file);
  Q7_FUZZ_CHECK(q7::fuzz::file_bytes(temporary_file).empty(), "the temporary file was left behind");
  char date[10];
  const bool is_date = iso_date(record.cash_date, date);
  std::size_t rows = 0, fields_in_row = 0, empty_row = 0;
  bool ten_fields_each = true, last_row_is_totals = false, date_as_its_date = !is_listed || !is_date;
  const bool well_formed = q7::test::walk_sheet(
      sheet,
      [&](std::string_view value) {
        if (fields_in_row == 0) last_row_is_totals = value == "RAZEM";
        if (rows == 1 && fields_in_row == 2 && is_date) date_as_its_date = value == std::string_view(date, 10);
        if (fields_in_row++ == 0 && value.empty()) empty_row = rows;
      },
      [&] {
        ten_fields_each = ten_fields_each && (fields_in_row == 10 || (rows == empty_row && fields_in_row == 1));
        fields_in_row = 0;
        ++rows;
      });
  Q7_FUZZ_CHECK(well_formed && rows == (is_listed ? 4u : 3u) && empty_row == rows - 2,
                "the spreadsheet file's table is broken:\n" + sheet);
  Q7_FUZZ_CHECK(ten_fields_each, "a spreadsheet row without its ten fields:\n" + sheet);
  Q7_FUZZ_CHECK(last_row_is_totals, "no totals row in the spreadsheet file:\n" + sheet);
  Q7_FUZZ_CHECK(date_as_its_date, "the document's date is not the date it stands for:\n" + sheet);
  return 0;
}
