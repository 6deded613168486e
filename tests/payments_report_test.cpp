// The payments report with cash records no loader would write: texts that
// run to the record's end, names without a terminator, amounts that are not
// numbers or do not fit. Nothing may be read past the record or written
// past a buffer (the native build runs under the sanitizers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>

#include "abi/mazovia.h"
#include "abi/records.h"
#include "plugin/cash/payments_row.h"
#include "tests/support.h"

namespace q7 {
namespace {

using test::step;

std::string read_file(const char* name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PaymentsReport, RecordsFilledToTheirEndAreReadOnlyWithinThem) {
  step("load");
  test::enter_fresh_folder("payments_report");
  step("config Sudma Pytaj 1");
  step("start");
  step("activate");

  cash_record overlong;
  std::memset(&overlong, 'w', sizeof overlong);  // no zero byte anywhere
  std::memcpy(overlong.cash_date, "11.02.10", 9);
  std::memcpy(overlong.line_texts, "woda", 4);
  for (std::size_t i = 0; i < cash_line_slots; ++i) {
    const double amount = i == 0 ? std::numeric_limits<double>::quiet_NaN() : i == 1 ? 1e300 : -1.0;
    std::memcpy(&overlong.line_amounts[i], &amount, sizeof amount);
  }
  std::memset(overlong.cash_plot_no, '9', sizeof overlong.cash_plot_no);
  cash_record plain{};
  std::memcpy(plain.cash_date, "11.02.11", 9);
  std::memcpy(plain.line_texts, "centr.ogrz.", 11);
  const double amount = 150.0 * 10000;
  std::memcpy(&plain.line_amounts[0], &amount, sizeof amount);
  std::memcpy(plain.payer_name, "Nowak", 5);
  std::memcpy(plain.cash_plot_no, "7", 1);
  {
    std::ofstream out("records.bin", std::ios::binary);
    out.write(reinterpret_cast<const char*>(&overlong), sizeof overlong);
    out.write(reinterpret_cast<const char*>(&plain), sizeof plain);
  }
  step("cash raw records.bin");
  step("answer yes");
  step("answer ok period 11.02.01 11.02.28");
  step("answer no");
  const std::string run = test::transcript_of([] { step("key 28 1"); });
  EXPECT_NE(run.find("end of the cash-desk command (-5)\n  handler -> 0"), std::string::npos) << run;

  const std::string listing = read_file("info2.txt");
  // Header, two rows, an empty line and the totals, each ending in CR LF.
  std::size_t lines = 0;
  for (std::size_t at = listing.find("\r\n"); at != std::string::npos; at = listing.find("\r\n", at + 1)) ++lines;
  EXPECT_EQ(lines, 5u) << listing;
  // The name without a terminator is cut to its 100 characters and then to 25.
  EXPECT_NE(listing.find(std::string(25, 'w') + "\t"), std::string::npos);
  EXPECT_NE(listing.find("Nowak                    \t  7\t  11.02.11\t"), std::string::npos);
  EXPECT_NE(listing.find("  150.00"), std::string::npos);
  EXPECT_NE(listing.find("nan"), std::string::npos);
}

// A payment line whose text names two categories counts in the one whose
// word comes first in the order water, energy, usage, membership.
TEST(PaymentsReport, ALineNamingTwoCategoriesCountsInTheFirstOfThemInTheirOrder) {
  test::attach_plugin_code();
  const struct {
    const char* text;
    fee_category category;
  } rows[] = {
      {"konserw. i woda", fee_category::water},
      {MZ("opł. energia"), fee_category::energy},
      {MZ("składka członk. opł."), fee_category::usage},
  };
  for (const auto& row : rows) {
    cash_record document{};
    std::memcpy(document.line_texts, row.text, std::strlen(row.text));
    const double amount = 100.0 * 10000;
    std::memcpy(&document.line_amounts[0], &amount, sizeof amount);
    EXPECT_EQ(payments_row_of(document)[row.category], amount) << row.text;
  }
}

}  // namespace
}  // namespace q7
