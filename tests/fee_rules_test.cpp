// The fees of one plot and their fee lines, computed against the stand-in
// host (bounded copy, bookkeeping year).
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "abi/mazovia.h"
#include "plugin/fees/fee_rules.h"
#include "plugin/fees/plot_command.h"
#include "plugin/text/decimal_text.h"
#include "tests/support.h"

namespace q7 {
namespace {

class Fees : public ::testing::Test {
 protected:
  void SetUp() override {
    test::attach_plugin_code();
    test::step("year 2011");
  }

  // A sheet with the default rates, the area and the fee letters given.
  static fee_sheet sheet(int16_t area, const char* letters) {
    fee_sheet s{};
    s.head.area_m2 = area;
    s.plot_rate = 3800.0;
    s.water_rate = 4200.0;
    s.membership_fee = 60000.0;
    s.energy_rate = 100000.0;
    std::strncpy(s.fee_letters, letters, sizeof s.fee_letters - 1);
    return s;
  }

  test::plugin_x87_word x87_;  // as in every command and the form hook
};

TEST_F(Fees, WorkedExample) {
  fee_sheet s = sheet(300, "r e c150");
  compute_plot_fees(s);
  EXPECT_EQ(+s.water_fee, 1260000.0);
  EXPECT_EQ(+s.heating_fee, 1500000.0);
  EXPECT_EQ(+s.energy_fee, 100000.0);
  EXPECT_EQ(+s.usage_fee, 1140000.0);
  EXPECT_EQ(+s.total, 4060000.0);
  EXPECT_STREQ(s.water_line, "2011 woda 300* 0.42=126.00");
  EXPECT_STREQ(s.usage_line, MZ("2011 opł. 300* 0.38=114.00"));
  EXPECT_STREQ(s.heating_line, "2011 centr.ogrz.   150.00");
  EXPECT_STREQ(s.energy_line, "2011 konserw.       10.00");
  EXPECT_STREQ(s.membership_line, MZ("2011 składka członk. 6.00"));
  EXPECT_EQ(std::strlen(s.water_line), 26u);
  EXPECT_EQ(std::strlen(s.usage_line), 26u);
  EXPECT_EQ(std::strlen(s.heating_line), 25u);
  EXPECT_EQ(std::strlen(s.energy_line), 25u);
  EXPECT_EQ(std::strlen(s.membership_line), 25u);
}

TEST_F(Fees, TheComputationChangesOnlyTheComputedFields) {
  fee_sheet s = sheet(300, "rce");
  s.head.plot_no = 17;
  std::strcpy(s.head.holder_name, "Kowalski");
  fee_sheet before = s;
  compute_plot_fees(s);
  EXPECT_EQ(std::memcmp(&s, &before, offsetof(fee_sheet, usage_fee)), 0);
  EXPECT_STREQ(s.fee_letters, "rce");
}

TEST_F(Fees, EmptyLettersChargeOnlyUsageAndMembership) {
  fee_sheet s = sheet(250, "");
  std::strcpy(s.water_line, "old");
  std::strcpy(s.heating_line, "old");
  std::strcpy(s.energy_line, "old");
  compute_plot_fees(s);
  EXPECT_EQ(+s.water_fee, 0.0);
  EXPECT_EQ(+s.heating_fee, 0.0);
  EXPECT_EQ(+s.energy_fee, 0.0);
  EXPECT_STREQ(s.water_line, "");
  EXPECT_STREQ(s.heating_line, "");
  EXPECT_STREQ(s.energy_line, "");
  EXPECT_EQ(+s.total, s.usage_fee + s.membership_fee);
}

TEST_F(Fees, LettersAreFoundAnywhereInEitherCase) {
  fee_sheet upper = sheet(100, "R");
  compute_plot_fees(upper);
  EXPECT_EQ(+upper.water_fee, 420000.0);
  fee_sheet both = sheet(100, "rR");
  compute_plot_fees(both);
  EXPECT_EQ(+both.water_fee, 420000.0);  // charged once
  // Every letter in upper case too: energy as much as water.
  fee_sheet energy = sheet(100, "E");
  compute_plot_fees(energy);
  EXPECT_EQ(+energy.energy_fee, 100000.0);
  EXPECT_STREQ(energy.energy_line, "2011 konserw.       10.00");
  EXPECT_EQ(+energy.total, energy.usage_fee + energy.energy_fee + energy.membership_fee);
  fee_sheet heating = sheet(100, "C5");
  compute_plot_fees(heating);
  EXPECT_EQ(+heating.heating_fee, 50000.0);
  // A remark such as "centrum" switches on heating (no number: 0), energy and water.
  fee_sheet remark = sheet(100, "centrum");
  compute_plot_fees(remark);
  EXPECT_EQ(+remark.water_fee, 420000.0);
  EXPECT_EQ(+remark.energy_fee, 100000.0);
  EXPECT_EQ(+remark.heating_fee, 0.0);
  EXPECT_STREQ(remark.heating_line, "2011 centr.ogrz.     0.00");
}

TEST_F(Fees, HeatingNumberFollowsTheLetter) {
  auto heating = [](const char* letters) {
    fee_sheet s = sheet(100, letters);
    compute_plot_fees(s);
    return s;
  };
  EXPECT_EQ(+heating("C").heating_fee, 0.0);
  EXPECT_STREQ(heating("C").heating_line, "2011 centr.ogrz.     0.00");
  EXPECT_EQ(+heating("Cx").heating_fee, 0.0);
  EXPECT_EQ(+heating("c12 C34").heating_fee, 120000.0);  // the lower-case letter wins
  EXPECT_EQ(+heating("C34 c12").heating_fee, 120000.0);
  EXPECT_EQ(+heating("c12 c34").heating_fee, 120000.0);  // the first of two
  EXPECT_EQ(+heating("C1e2").heating_fee, 1000000.0);   // 1e2 is 100
  EXPECT_EQ(+heating("C1e2").energy_fee, 100000.0);     // and its e charges energy
  EXPECT_EQ(+heating("c 7.5").heating_fee, 75000.0);    // blanks before the number are skipped
  EXPECT_EQ(+heating("c -7.5").heating_fee, -75000.0);  // and before its sign, not after it
  EXPECT_EQ(+heating("c- 7.5").heating_fee, 0.0);
  EXPECT_EQ(+heating("c+2.5").heating_fee, 25000.0);
  EXPECT_EQ(+heating("c12,5").heating_fee, 125000.0);   // a decimal comma as a point
  EXPECT_EQ(+heating("c12,50 r").heating_fee, 125000.0);
  EXPECT_EQ(+heating("c0.1").heating_fee, 1000.0);
  EXPECT_EQ(+heating("c-2,25e1").heating_fee, -225000.0);
  EXPECT_EQ(+heating("c,5").heating_fee, 5000.0);
  EXPECT_EQ(+heating("c.").heating_fee, 0.0);
  EXPECT_EQ(+heating("c1.2.5").heating_fee, 12000.0);  // a second point ends the number
  EXPECT_EQ(+heating("c5e-1").heating_fee, 5000.0);
  EXPECT_EQ(+heating("c1e").heating_fee, 10000.0);       // an exponent without digits is no exponent
  EXPECT_EQ(+heating("c0e-99999").heating_fee, 0.0);     // zero, and far below the smallest double
  EXPECT_EQ(+heating("c5e-400").heating_fee, 0.0);
  // The nearest double to the number, scaled, whatever its digits.
  EXPECT_EQ(+heating("c12345678901234567890").heating_fee, 12345678901234567890.0 * 10000.0);
  EXPECT_EQ(+heating("c99999999999999999999").heating_fee, 1e24);
  EXPECT_EQ(+heating("c0000000000000000000012").heating_fee, 120000.0);
  EXPECT_EQ(+heating("c1.000000000000000000000").heating_fee, 10000.0);
  // A number that is not finite counts as none.
  EXPECT_EQ(+heating("c1e999").heating_fee, 0.0);
  EXPECT_EQ(+heating("c1e4294967297").heating_fee, 0.0);
  EXPECT_EQ(+heating("cnan").heating_fee, 0.0);
  EXPECT_TRUE(std::isfinite(heating("cinf").total));
  // Nor does a finite number too large to be held scaled: the fee and the total stay numbers.
  EXPECT_EQ(+heating("c1e305").heating_fee, 0.0);
  EXPECT_EQ(+heating("C-1.7e308").heating_fee, 0.0);
  EXPECT_TRUE(std::isfinite(heating("c1e305").total));
  EXPECT_EQ(+heating("c1e300").heating_fee, 1e300 * 10000.0);  // still held
}

// The host's C run-time may have been set to a locale of its own: the
// number reads the same in the Polish one (decimal comma) as in C.
TEST_F(Fees, HeatingNumberReadsAlikeInThePolishLocale) {
  const char* polish = nullptr;
  for (const char* name : {"Polish", "pl_PL.UTF-8", "pl_PL"})
    if (!polish) polish = std::setlocale(LC_ALL, name);
  if (!polish) GTEST_SKIP() << "this system has no Polish locale";
  fee_sheet point = sheet(100, "c12.50"), comma = sheet(100, "c12,50");
  compute_plot_fees(point);
  compute_plot_fees(comma);
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(+point.heating_fee, 125000.0);
  EXPECT_EQ(+comma.heating_fee, 125000.0);
}

TEST_F(Fees, ZeroAndNegativeAreas) {
  fee_sheet zero = sheet(0, "r");
  compute_plot_fees(zero);
  EXPECT_EQ(+zero.usage_fee, 0.0);
  EXPECT_EQ(+zero.water_fee, 0.0);
  EXPECT_STREQ(zero.usage_line, MZ("2011 opł.   0* 0.38= 0.00"));
  EXPECT_STREQ(zero.water_line, "2011 woda   0* 0.42=0.00");
  fee_sheet negative = sheet(-20, "r");
  compute_plot_fees(negative);
  EXPECT_EQ(+negative.usage_fee, -76000.0);
  EXPECT_EQ(+negative.water_fee, -84000.0);
  EXPECT_EQ(+negative.total, -76000.0 - 84000.0 + 60000.0);
}

TEST_F(Fees, LinesAreCutAt32CharactersWhateverTheNumbers) {
  fee_sheet huge = sheet(32767, "rec5e300");
  huge.plot_rate = 1e300;
  huge.water_rate = -1e300;
  huge.membership_fee = std::numeric_limits<double>::quiet_NaN();
  huge.energy_rate = std::numeric_limits<double>::infinity();
  compute_plot_fees(huge);
  for (const char* line : {huge.usage_line, huge.water_line, huge.energy_line, huge.heating_line,
                           huge.membership_line})
    EXPECT_LE(std::strlen(line), 32u) << line;
  EXPECT_EQ(std::strlen(huge.usage_line), 32u);
  EXPECT_EQ(std::string(huge.usage_line, 15), MZ("2011 opł.32767*"));
}

TEST_F(Fees, TheYearIsReadAfreshForEveryLine) {
  fee_sheet s = sheet(10, "rce");
  test::step("trace 52268");
  const std::string calls = test::transcript_of([&] { compute_plot_fees(s); });
  size_t reads = 0;
  for (size_t at = calls.find("52268("); at != std::string::npos; at = calls.find("52268(", at + 1)) ++reads;
  EXPECT_EQ(reads, 5u);
}

TEST_F(Fees, FillingASheetFromAPlotRecord) {
  plot_record plot{};
  std::memcpy(plot.plot_no_text, "  -12x", 6);
  std::memset(plot.holder_name, 'K', sizeof plot.holder_name);  // no terminator in the record
  std::memset(plot.fee_letters, 'r', sizeof plot.fee_letters);
  plot.area_milli = 300999;
  fee_sheet s{};
  s.plot_rate = 1.0;
  fill_fee_sheet(s, plot);
  EXPECT_EQ(+s.head.plot_no, -12);
  EXPECT_EQ(+s.head.area_m2, 300);
  EXPECT_EQ(std::strlen(s.head.holder_name), 100u);
  EXPECT_EQ(std::strlen(s.fee_letters), 60u);
  EXPECT_EQ(+s.plot_rate, 1.0);  // the rates stay

  plot.area_milli = -1500;  // toward zero
  fill_sheet_head(s.head, plot);
  EXPECT_EQ(+s.head.area_m2, -1);
  plot.area_milli = 40000000;  // 40,000 m² does not fit the sheet's 16 bits: never charged
  EXPECT_FALSE(area_in_range(plot));
  plot.area_milli = 32767999;
  EXPECT_TRUE(area_in_range(plot));
}

TEST_F(Fees, PlotNumbersReadAsDecimalWithinTheirField) {
  EXPECT_EQ(read_plot_number("17", 17), 17);
  EXPECT_EQ(read_plot_number(" +5b", 17), 5);
  EXPECT_EQ(read_plot_number("", 17), 0);
  EXPECT_EQ(read_plot_number("abc", 17), 0);
  EXPECT_EQ(read_plot_number("35819", 17), 35819);  // beyond what the fee sheet's 16 bits hold
  EXPECT_EQ(read_plot_number("-70000", 17), -70000);
  EXPECT_EQ(read_plot_number("4294967297", 17), 1);  // wraps at 32 bits, never overflows
  EXPECT_EQ(read_plot_number("12345", 3), 123);  // never past the field
}

}  // namespace
}  // namespace q7
