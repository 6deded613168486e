// The payments report's spreadsheet file, read back as a spreadsheet program
// reads it: byte-order mark, semicolon-separated fields, quoted fields with
// doubled quotes, CR LF between rows. Its name carries the period; it is
// either written whole or not at all, and the user is told when it is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "abi/mazovia.h"
#include "abi/records.h"
#include "plugin/cash/payments_sheet.h"
#include "plugin/text/decimal_text.h"
#include "tests/sheet_reader.h"
#include "tests/support.h"

namespace q7 {
namespace {

namespace fs = std::filesystem;
using test::step;
using table = test::sheet;

std::string read_file(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

table read_table(const std::string& name) { return test::read_sheet(read_file(name)).value_or(table{}); }

// The spreadsheet files and temporary files in the working folder.
std::set<std::string> sheet_files() {
  std::set<std::string> names;
  for (const auto& item : fs::directory_iterator(".")) {
    const std::string name = item.path().filename().string();
    if (name.starts_with("raport_wplat") || name.ends_with(".tmp")) names.insert(name);
  }
  return names;
}

const std::vector<std::string> header = {"Nazwisko", "Nr działki",  "Data",  "Składka członkowska",
                                         "Użytkowanie", "Energia", "Woda", "CO", "Inne", "Razem"};

void start_plugin(const char* folder) {
  step("load");
  test::enter_fresh_folder(folder);
  step("config Sudma Pytaj 1");
  step("start");
  step("activate");
}

// The report's transcript.
std::string run_report(const char* start, const char* end) {
  return test::transcript_of([&] {
    step("answer yes");
    step(std::string("answer ok period ") + start + " " + end);
    step("answer no");
    step("key 28 1");
  });
}

TEST(PaymentsSheet, SampleDocumentsGiveTheTableOfTheReportInAFileOfThePeriod) {
  start_plugin("payments_sheet_sample");
  step(std::string("cash ") + Q7_TEST_FILES + "/sessions/data/cash.csv");
  run_report("11.02.01", "11.02.28");
  const table february = {
      header,
      {"Anna Nowak", "1", "2011-02-01", "0,00", "114,00", "0,00", "126,00", "0,00", "0,00", "240,00"},
      {"Jan Kowalski-Wiśniewski Junior", "2", "2011-02-28", "6,00", "0,00", "22,50", "0,00", "150,00",
       "0,00", "178,50"},
      {"Ewa", "7", "2011-02-15", "0,00", "0,00", "0,00", "20,00", "0,00", "27,75", "47,75"},
      {""},
      {"RAZEM", "", "", "6,00", "114,00", "22,50", "146,00", "150,00", "27,75", "466,25"},
  };
  EXPECT_EQ(read_table("raport_wplat_2011-02-01_2011-02-28.csv"), february);

  // Another period has a file of its own; a period without documents gives
  // the header and a totals row of zeros. The same period again replaces its
  // file. No temporary file stays behind.
  run_report("12.01.01", "12.12.31");
  const table empty = {header, {""}, {"RAZEM", "", "", "0,00", "0,00", "0,00", "0,00", "0,00", "0,00", "0,00"}};
  EXPECT_EQ(read_table("raport_wplat_2012-01-01_2012-12-31.csv"), empty);
  step("cash raw records.bin");  // no such file: an empty cash table
  run_report("11.02.01", "11.02.28");
  EXPECT_EQ(read_table("raport_wplat_2011-02-01_2011-02-28.csv"), empty);
  EXPECT_EQ(sheet_files(), (std::set<std::string>{"raport_wplat_2011-02-01_2011-02-28.csv",
                                                  "raport_wplat_2012-01-01_2012-12-31.csv"}));
}

cash_record document(const char* payer, const char* plot_no, const char* date, double amount) {
  cash_record record{};
  std::memcpy(record.cash_date, date, std::strlen(date));
  std::memcpy(record.line_texts, "woda", 4);
  const double scaled = amount * 10000;
  std::memcpy(&record.line_amounts[0], &scaled, sizeof scaled);
  std::memcpy(record.payer_name, payer, std::strlen(payer));
  std::memcpy(record.cash_plot_no, plot_no, std::strlen(plot_no));
  return record;
}

void write_records(const std::vector<cash_record>& records) {
  std::ofstream out("records.bin", std::ios::binary);
  for (const auto& r : records) out.write(reinterpret_cast<const char*>(&r), sizeof r);
}

// Names holding what would break a row: a separator, quotes, a tab, line
// breaks, and bytes that are no letter of the code page; names that a
// spreadsheet would take for a formula; plot numbers as typed; dates of both
// centuries the host's two-digit years stand for, and one that is no date.
TEST(PaymentsSheet, NamesPlotNumbersAndDatesComeBackAsTyped) {
  start_plugin("payments_sheet_names");
  struct {
    std::string payer, plot_no, date;
    double amount;
    std::vector<std::string> first_three;  // as read back
    std::string woda;
  } const cases[] = {
      {MZ("Łukasz \"Żółw\"; Gęś") + std::string(" "), "3", "11.02.10", -12.5,
       {"Łukasz \"Żółw\"; Gęś ", "3", "2011-02-10"}, "-12,50"},
      {"Linia\r\ndruga\tkolumna \xFF", "12a", "99.12.31", 1234567.89,
       {"Linia\r\ndruga\tkolumna \xEF\xBF\xBD", "12a", "1999-12-31"}, "1234567,89"},  // U+FFFD for 0xFF
      {"\"", "-4", "00.01.01", 0.004, {"\"", "'-4", "2000-01-01"}, "0,00"},
      {"=SUMA(A1;A2)", "6", "79.12.31", 0, {"'=SUMA(A1;A2)", "6", "2079-12-31"}, "0,00"},
      {"@x", "7 ; 8", "80.01.01", 0, {"'@x", "7 ; 8", "1980-01-01"}, "0,00"},
      {"+48 600 100 200", "8", "=1;2\"3.4", 0, {"'+48 600 100 200", "8", "'=1;2\"3.4"}, "0,00"},
      {"-Kowalski", "9", "11.02.30", 0, {"'-Kowalski", "9", "2011-02-30"}, "0,00"},
  };
  std::vector<cash_record> records;
  for (const auto& c : cases) records.push_back(document(c.payer.c_str(), c.plot_no.c_str(), c.date.c_str(), c.amount));
  write_records(records);
  step("cash raw records.bin");
  run_report("80.01.01", "79.12.31");
  const table rows = read_table("raport_wplat_1980-01-01_2079-12-31.csv");
  ASSERT_EQ(rows.size(), std::size(cases) + 3);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    ASSERT_EQ(rows[i + 1].size(), 10u);
    EXPECT_EQ(std::vector<std::string>(rows[i + 1].begin(), rows[i + 1].begin() + 3), cases[i].first_three);
    EXPECT_EQ(rows[i + 1][6], cases[i].woda);
  }
  EXPECT_EQ(rows.back()[9], "1234555,39");
}

// The ways the file cannot be written: another program holds the file of
// the period (a spreadsheet showing the file of an earlier run), a folder
// stands in its place, the disk is full (natively: the temporary file leads
// to /dev/full). The report, its two text files and the older file of the
// name stay as without the fault, no temporary file stays, and the user is
// told after the report what to do. A period whose ends are no dates names
// no file at all.
TEST(PaymentsSheet, AFileThatCannotBeWrittenIsToldAfterTheReportAndChangesNothingElse) {
  start_plugin("payments_sheet_unwritable");
  step(std::string("cash ") + Q7_TEST_FILES + "/sessions/data/cash.csv");
  const std::string name = "raport_wplat_2011-02-01_2011-02-28.csv";
  run_report("11.02.01", "11.02.28");  // the next runs are proposed this period
  const std::string normal = run_report("11.02.01", "11.02.28");
  const std::string listing = read_file("info2.txt"), report = read_file("info.txt"), older = read_file(name);
  const std::set<std::string> files = sheet_files();
  ASSERT_NE(listing.find("RAZEM"), std::string::npos);
  const std::string told = "  message \"uwaga\" style 1:\n  | Nie udało się zapisać pliku dla arkusza kalkulacyjnego:\n";
  const std::string end = "  end of the cash-desk command (-5)";

  const std::string named = "  | ␂" + name + "␁\n  | Jeśli ten plik jest otwarty w arkuszu kalkulacyjnym, zamknij go.\n";

  struct fault {
    const char* name;
    void (*make)(const std::string& file);
  };
  std::vector<fault> faults = {
      {"held by a spreadsheet", [](const std::string& f) { step("hold " + f); }},
      {"a folder in its place",
       [](const std::string& f) {
         fs::rename(f, "saved.csv");
         fs::create_directory(f);
         std::ofstream(f + "/keep") << "x";  // a folder that holds a file is not replaced
       }},
#ifndef _WIN32
      {"a full disk", [](const std::string& f) { ASSERT_EQ(symlink("/dev/full", (f + ".tmp").c_str()), 0); }},
#endif
  };
  for (const fault& f : faults) {
    f.make(name);
    std::string run = run_report("11.02.01", "11.02.28");
    const std::size_t message = run.find(told), last = run.find(end);
    ASSERT_NE(message, std::string::npos) << f.name << ":\n" << run;
    EXPECT_EQ(run.find(named), message + told.size()) << f.name << ":\n" << run;
    EXPECT_GT(last, message) << f.name << ": the message is not the report's last";
    run.erase(message, last - message);
    EXPECT_EQ(run, normal) << f.name;
    EXPECT_EQ(read_file("info2.txt"), listing) << f.name;
    EXPECT_EQ(read_file("info.txt"), report) << f.name;
    step("hold clear");
    if (fs::is_directory(name)) {
      fs::remove_all(name);
      fs::rename("saved.csv", name);
    }
    EXPECT_EQ(read_file(name), older) << f.name;
    EXPECT_EQ(sheet_files(), files) << f.name;
  }

  // A period that is no pair of dates (the host's dialog gives dates) is no
  // file name, and no path.
  test::attach_plugin_code();
  static payments_sheet sheet;
  payments_sheet_begin(sheet, "..\\..\\x\0" "11.02.28");
  EXPECT_FALSE(payments_sheet_end(sheet, amount_texts_of(payments_row{})));
  const std::string run = test::transcript_of([] { tell_payments_sheet_not_written(sheet); });
  EXPECT_EQ(run, told + "  | początek lub koniec okresu raportu nie jest datą.\n");
  EXPECT_EQ(sheet_files(), files);
}

// A report whose scan stopped at a record it could not read writes no file:
// the file of an earlier complete report of the period stays as it was, no
// temporary file is left, and no message says the file could not be written
// (the report's own box says why there is none).
TEST(PaymentsSheet, AnIncompleteReportLeavesTheFileOfTheCompleteOne) {
  start_plugin("payments_sheet_incomplete");
  step(std::string("cash ") + Q7_TEST_FILES + "/sessions/data/cash.csv");
  const std::string name = "raport_wplat_2011-02-01_2011-02-28.csv";
  run_report("11.02.01", "11.02.28");
  const std::string complete = read_file(name);
  const std::set<std::string> files = sheet_files();
  for (const char* fault : {"fail 52286 at 1", "fail 52286 at 3"}) {
    step("fail clear");
    step(fault);
    const std::string run = run_report("11.02.01", "11.02.28");
    EXPECT_NE(run.find("Raport jest ␂NIEPEŁNY␁."), std::string::npos) << fault << ":\n" << run;
    EXPECT_EQ(run.find("Nie udało się zapisać pliku"), std::string::npos) << fault << ":\n" << run;
    EXPECT_EQ(read_file(name), complete) << fault;
    EXPECT_EQ(sheet_files(), files) << fault;
  }
  // Nor is there one of a period that had none.
  step("fail clear");
  step("fail 52286 at 2");
  run_report("11.01.01", "11.12.31");
  EXPECT_EQ(sheet_files(), files);
}

// Rows as long as rows can be (every byte of the name, the plot number and
// the date three bytes in UTF-8, the name quoted, amounts of the largest
// doubles), after short rows that put them anywhere in the buffer: the
// buffer is written out before it could not take one, and nothing is
// written past it.
TEST(PaymentsSheet, TheLongestRowsFitTheBufferWhereverTheyBegin) {
  test::attach_plugin_code();
  test::enter_fresh_folder("payments_sheet_longest_rows");
  struct sheet_and_after {
    payments_sheet sheet;
    unsigned char after[4096];
  };
  const auto room = std::make_unique<sheet_and_after>();
  cash_record longest{};
  std::memset(longest.cash_plot_no, 0xFF, sizeof longest.cash_plot_no);
  std::memset(longest.cash_date, 0xFF, sizeof longest.cash_date - 1);
  payments_row longest_row{};
  std::memset(longest_row.payer, 0xFF, sizeof longest_row.payer - 1);
  longest_row.payer[1] = ';';
  amount_texts huge{};
  for (int i = 0; i < amount_texts::count; ++i) format_two_decimals(i % 2 ? 1.7e308 : -1.7e308, huge.text[i]);
  const amount_texts zero = amount_texts_of(payments_row{});
  for (int short_rows = 0; short_rows <= 80; short_rows += 8) {
    std::memset(room->after, 0xA5, sizeof room->after);
    payments_sheet_begin(room->sheet, "11.02.01\0" "11.02.28");
    payments_sheet_row(room->sheet, longest, longest_row, huge);
    for (int i = 0; i < short_rows; ++i) payments_sheet_row(room->sheet, cash_record{}, payments_row{}, zero);
    for (int i = 0; i < 3; ++i) payments_sheet_row(room->sheet, longest, longest_row, huge);
    ASSERT_TRUE(payments_sheet_end(room->sheet, huge));
    EXPECT_EQ(std::count(std::begin(room->after), std::end(room->after), 0xA5), std::ssize(room->after))
        << "written past the buffer after " << short_rows << " short rows";
    const table rows = read_table("raport_wplat_2011-02-01_2011-02-28.csv");
    ASSERT_EQ(rows.size(), 1 + 1 + short_rows + 3 + 2u);
    std::string replaced;  // U+FFFD for each byte 0xFF
    for (int i = 0; i < 98; ++i) replaced += "\xEF\xBF\xBD";
    EXPECT_EQ(rows[1][0], "\xEF\xBF\xBD;" + replaced);
    for (std::size_t i = rows.size() - 5; i < rows.size() - 2; ++i) EXPECT_EQ(rows[i], rows[1]);
  }
}

}  // namespace
}  // namespace q7
