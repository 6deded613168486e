// The payments report's spreadsheet file, read back as a spreadsheet program
// reads it: byte-order mark, semicolon-separated fields, quoted fields with
// doubled quotes, CR LF between rows.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "abi/mazovia.h"
#include "abi/records.h"
#include "tests/sheet_reader.h"
#include "tests/support.h"

namespace q7 {
namespace {

using test::step;
using table = test::sheet;

std::string read_file(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
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

void run_report(const char* start, const char* end) {
  step("answer yes");
  step(std::string("answer ok period ") + start + " " + end);
  step("answer no");
  step("key 28 1");
}

TEST(PaymentsSheet, SampleDocumentsGiveTheTableOfTheReport) {
  start_plugin("payments_sheet_sample");
  step(std::string("cash ") + Q7_TEST_FILES + "/sessions/data/cash.csv");
  run_report("11.02.01", "11.02.28");
  const table rows = test::read_sheet(read_file("raport_wplat.csv")).value_or(table{});
  const table expected = {
      header,
      {"Anna Nowak", "1", "11.02.01", "0,00", "114,00", "0,00", "126,00", "0,00", "0,00", "240,00"},
      {"Jan Kowalski-Wiśniewski Junior", "2", "11.02.28", "6,00", "0,00", "22,50", "0,00", "150,00",
       "0,00", "178,50"},
      {"Ewa", "7", "11.02.15", "0,00", "0,00", "0,00", "20,00", "0,00", "27,75", "47,75"},
      {"RAZEM", "", "", "6,00", "114,00", "22,50", "146,00", "150,00", "27,75", "466,25"},
  };
  EXPECT_EQ(rows, expected);

  // A second run starts the file anew; a period without documents leaves
  // the header and a totals row of zeros.
  run_report("12.01.01", "12.12.31");
  const table empty = test::read_sheet(read_file("raport_wplat.csv")).value_or(table{});
  EXPECT_EQ(empty, (table{header, {"RAZEM", "", "", "0,00", "0,00", "0,00", "0,00", "0,00", "0,00", "0,00"}}));
}

cash_record document(const char* payer, const char* plot_no, const char* text, double amount) {
  cash_record record{};
  std::memcpy(record.cash_date, "11.02.10", 9);
  std::memcpy(record.line_texts, text, std::strlen(text));
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
// breaks, and bytes that are no letter of the code page; and names that a
// spreadsheet would take for a formula.
TEST(PaymentsSheet, NamesThatWouldBreakARowComeBackIntact) {
  start_plugin("payments_sheet_names");
  const std::string mazovia_name = std::string(MZ("Łukasz \"Żółw\"; Gęś")) + " ";
  const std::string broken_name = "Linia\r\ndruga\tkolumna \xFF";
  write_records({document(mazovia_name.c_str(), "3", "woda", -12.5),
                 document(broken_name.c_str(), "-4", "woda", 1234567.89),
                 document("\"", "5", "woda", 0.004),
                 document("=SUMA(A1;A2)", "6", "woda", 0),
                 document("@x", "7", "woda", 0)});
  step("cash raw records.bin");
  run_report("11.02.01", "11.02.28");
  const table rows = test::read_sheet(read_file("raport_wplat.csv")).value_or(table{});
  ASSERT_EQ(rows.size(), 7u);
  for (const auto& row : rows) EXPECT_EQ(row.size(), 10u);
  EXPECT_EQ(rows[1][0], "Łukasz \"Żółw\"; Gęś ");
  EXPECT_EQ(rows[1][6], "-12,50");
  EXPECT_EQ(rows[2][0], "Linia\r\ndruga\tkolumna \xEF\xBF\xBD");  // U+FFFD for the byte 0xFF
  EXPECT_EQ(rows[2][1], "-4");
  EXPECT_EQ(rows[2][9], "1234567,89");
  EXPECT_EQ(rows[3][0], "\"");
  EXPECT_EQ(rows[3][9], "0,00");
  EXPECT_EQ(rows[4][0], "'=SUMA(A1;A2)");
  EXPECT_EQ(rows[5][0], "'@x");
  EXPECT_EQ(rows[6][9], "1234555,39");
}

// A sheet that cannot be written (here a folder stands in its place) leaves
// the two text files of the report as they are without it.
TEST(PaymentsSheet, UnwritableSheetChangesNothingInTheTextFiles) {
  start_plugin("payments_sheet_unwritable");
  step(std::string("cash ") + Q7_TEST_FILES + "/sessions/data/cash.csv");
  run_report("11.02.01", "11.02.28");
  const std::string listing = read_file("info2.txt"), report = read_file("info.txt");
  ASSERT_NE(listing.find("RAZEM"), std::string::npos);
  std::filesystem::remove("raport_wplat.csv");
  std::filesystem::create_directory("raport_wplat.csv");
  std::ofstream("raport_wplat.csv/keep") << "x";  // a folder that holds a file is not removed
  run_report("11.02.01", "11.02.28");
  EXPECT_EQ(read_file("info2.txt"), listing);
  EXPECT_EQ(read_file("info.txt"), report);
  EXPECT_TRUE(std::filesystem::is_directory("raport_wplat.csv"));
}

}  // namespace
}  // namespace q7
