// Answers of the host outside what it promises, as the fuzz program of the
// host's answers gives them (fuzz/host_answers.cpp): each made here by hand.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>

#include "abi/machine.h"
#include "abi/records.h"
#include "plugin/hostlink/services.h"
#include "tests/support.h"
#ifndef _WIN32
#include "host/host_platform.h"
#endif

extern "C" int32_t Q7_CDECL torval_session_table(int32_t number, q7::table_descriptor** descriptor, FILE** file,
                                                  int32_t* count) Q7_SYMBOL("torval_session_table");

namespace q7 {
namespace {

using test::step;

// A record count far beyond the table, as a host may hand over: the dry run
// and the payments report end at the first record the host cannot read,
// instead of counting on to 2^31 - 1 (the report would ask the host to
// compare two dates at every number).
TEST(HostAnswers, ARecordCountBeyondTheTableEndsAScanAtTheFirstRecordNotRead) {
  step("load");
  test::enter_fresh_folder("record_count_beyond");
  step("config Sudma Pytaj 1");
  step(std::string("plots ") + Q7_TEST_FILES + "/sessions/data/plots.csv");
  step(std::string("cash ") + Q7_TEST_FILES + "/sessions/data/cash.csv");
  step("start");
  step("activate");
  step("trace 52286");
  struct scan {
    int32_t table, key;
    const char* answers[3];
    const char* last_read;
    const char* ends_with;
  };
  const scan scans[] = {
      {plot_table_no, key_ctrl_c, {"answer yes"}, "52286(table 35, record 5: not read)",
       "wyniesie: ␂"},
      {cash_table_no, key_ctrl_a, {"answer yes", "answer ok period 11.01.01 11.12.31", "answer no"},
       "52286(table 28, record 7: not read)", "end of the cash-desk command (-5)"},
  };
  for (const scan& s : scans) {
    table_descriptor* descriptor = nullptr;
    FILE* file = nullptr;
    int32_t held = 0;
    ASSERT_EQ(torval_session_table(s.table, &descriptor, &file, &held), 1);
    for (const char* answer : s.answers)
      if (answer) step(answer);
    int32_t beyond = std::numeric_limits<int32_t>::max();
    int32_t result = -1;
    const std::string run = test::transcript_of(
        [&] { result = descriptor->handler(s.key, 0, &beyond, nullptr, 5, descriptor, 7, file, 9, 0, 11); });
    EXPECT_EQ(result, s.table == plot_table_no ? 7000 + s.key : 0) << run;
    const std::size_t last = run.find(s.last_read);
    ASSERT_NE(last, std::string::npos) << run;
    EXPECT_EQ(run.find("52286(", last + 1), std::string::npos) << run;
    EXPECT_NE(run.find(s.ends_with, last), std::string::npos) << run;
  }
}

#ifndef _WIN32
// Natively a test may put its own function in place of a host service
// before the plug-in binds it; the plug-in binds each service once, so such
// a test needs a process of its own (ctest runs every test in one).
bool bound_already(uint32_t service) { return test::host_lookups(service) > 0; }

// A bounded copy that writes the text's characters and no terminator.
char* Q7_STDCALL copy_without_terminator(char* destination, const char* source, uint16_t n) {
  for (uint16_t i = 0; i < n && source[i]; ++i) destination[i] = source[i];
  return destination;
}

TEST(HostAnswers, ACopyWithoutItsTerminatorStillEndsTheField) {
  test::attach_plugin_code();
  if (bound_already(52161)) GTEST_SKIP() << "52161 is bound already in this process";
  torval::platform::interpose_export(52161, reinterpret_cast<void*>(&copy_without_terminator));
  char field[8];
  std::memset(field, 'Z', sizeof field);
  copy_field(field, {"abc"}, 7);
  EXPECT_EQ(std::string(field), "abcZZZZ");
  copy_field(field, {"a much longer text"}, 7);
  EXPECT_EQ(std::string(field), "a much ");
}

// A forms engine that confirms every form and hands back, in its first
// amount (a rate of form 1001, the first amount of 1003 and 1004), a value it
// never accepts.
double handed_back = 0;
uint16_t Q7_CDECL confirm_with_an_amount_out_of_limits(const void*, int32_t, void* record, form_hook, ...) {
  static_assert(offsetof(fee_sheet, plot_rate) == offsetof(debts_sheet, water_prev_year) &&
                offsetof(fee_sheet, plot_rate) == offsetof(entry_fee_sheet, entry_fee));
  std::memcpy(static_cast<char*>(record) + offsetof(fee_sheet, plot_rate), &handed_back, sizeof handed_back);
  return confirmed;
}

// Such a form was not confirmed: nothing is posted, no rate saved, the
// holder's ledger closed as after a cancel, and the key passed on.
TEST(HostAnswers, AFormHandingBackAnAmountItNeverAcceptsIsNotConfirmed) {
  test::attach_plugin_code();
  if (bound_already(52026)) GTEST_SKIP() << "52026 is bound already in this process";
  torval::platform::interpose_export(52026, reinterpret_cast<void*>(&confirm_with_an_amount_out_of_limits));
  test::enter_fresh_folder("form_out_of_limits");
  step("config Sudma Pytaj 1");
  step(std::string("plots ") + Q7_TEST_FILES + "/sessions/data/plots.csv");
  step("start");
  step("activate");
  step("ledgers clear");
  step("trace 52302");
  for (const double amount : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                              1e14, -1e300})
    for (const char* key : {"ctrl-b", "ctrl-a", "ctrl-w"}) {
      handed_back = amount;
      const std::string run = test::transcript_of([&] { step("cursor 0"); step(std::string("key plots ") + key); });
      EXPECT_NE(run.find("host's handler of table 35"), std::string::npos) << amount << " " << key << run;
      EXPECT_EQ(run.find("Wpisano"), std::string::npos) << amount << " " << key << run;
      if (std::string(key) != "ctrl-b") {
        EXPECT_NE(run.find("52302(ok 1)"), std::string::npos) << run;
      }
    }
  const std::string after = test::transcript_of([] {
    step("show config");
    step("audit");
  });
  EXPECT_EQ(after.find("Stawki"), std::string::npos) << after;
  EXPECT_NE(after.find("nothing left open; stored 0.00 in 0 ledger entries"), std::string::npos) << after;
}
#endif

}  // namespace
}  // namespace q7
