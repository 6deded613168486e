// Postings of fees into a holder's ledger kept by the stand-in host.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "abi/mazovia.h"
#include "plugin/fees/ledger.h"
#include "tests/support.h"

namespace q7 {
namespace {

using test::step;

class Ledger : public ::testing::Test {
 protected:
  void SetUp() override {
    test::attach_plugin_code();
    test::enter_fresh_folder(::testing::UnitTest::GetInstance()->current_test_info()->name());
    step("date 11.03.15");
    step("year 2011");
  }
  void TearDown() override {
    if (access_.file) svc_52302_close_ledger(1, 0, &access_.file, 0);
  }

  // Opens the ledger file as the commands do.
  const ledger_access& open() {
    table_descriptor* table = svc_52256_table_descriptor(ledger_table_no);
    access_ = {table, static_cast<ledger_entry*>(table->record_buffer), &count_,
               svc_50516_open_ledger(53, "L.KON", table, &count_)};
    EXPECT_NE(access_.file, nullptr);
    return access_;
  }

  // The entries of the file as they stand.
  std::vector<ledger_entry> entries() {
    std::vector<ledger_entry> all(static_cast<std::size_t>(count_));
    for (int32_t i = 0; i < count_; ++i) {
      EXPECT_NE(svc_52286_read_record(0, i, access_.table, 0, access_.file), 0);
      all[static_cast<std::size_t>(i)] = *access_.entry;
    }
    return all;
  }

  ledger_access access_{};
  int32_t count_ = 0;
};

TEST_F(Ledger, AnEmptyLedgerGetsAFullEntryAppended) {
  const ledger_access& ledger = open();
  ASSERT_EQ(count_, 0);
  EXPECT_TRUE(store_fee(ledger, {MZ("2011 Opłata - użytkowanie")}, 1140000.0,
                     {MZ("2011 opł. 300* 0.38=114.00")}));
  ASSERT_EQ(count_, 1);
  const ledger_entry e = entries()[0];
  EXPECT_STREQ(e.title, MZ("2011 Opłata - użytkowanie"));
  EXPECT_STREQ(e.fee_line, MZ("2011 opł. 300* 0.38=114.00"));
  EXPECT_STREQ(e.doc_date, "11.01.01");
  EXPECT_STREQ(e.entry_date, "11.03.15");
  EXPECT_EQ(+e.amount, 1140000.0);
  EXPECT_EQ(+e.term_days, 180);  // 1 January to 30 June of a common year
  EXPECT_EQ(+e.kind_code, 24);
  EXPECT_STREQ(e.host_code, "0001");
  EXPECT_NE(+e.stamp, 0);
  EXPECT_EQ(+e.stamp_copy, +e.stamp);
  const ledger_entry zero{};
  EXPECT_EQ(std::memcmp(e.zero0, zero.zero0, sizeof e.zero0), 0);
  EXPECT_EQ(std::memcmp(e.zero362, zero.zero362, sizeof e.zero362), 0);
  EXPECT_EQ(std::memcmp(e.zero389, zero.zero389, sizeof e.zero389), 0);
}

TEST_F(Ledger, TermDaysCountALeapYearAndTheDocumentDateIsTheFirstOfJanuary) {
  step("date 12.12.31");
  const ledger_access& ledger = open();
  store_fee(ledger, {"a"}, 1.0, {""});
  EXPECT_EQ(+entries()[0].term_days, 181);
  EXPECT_STREQ(entries()[0].doc_date, "12.01.01");
}

TEST_F(Ledger, PostingTheSameTitleAgainReplacesTheFirstEntryAndKeepsItsStamp) {
  step("ledger L.KON entry stamp=41 amount=3 title=other");
  step("ledger L.KON entry stamp=42 copy=9 amount=5 title=2011 Opłata za wodę");
  step("ledger L.KON entry stamp=43 amount=6 title=2011 Opłata za wodę");
  const ledger_access& ledger = open();
  const std::vector<ledger_entry> before = entries();
  step("trace 52204 52287 52288");
  const std::string calls = test::transcript_of(
      [&] { EXPECT_TRUE(store_fee(ledger, {MZ("2011 Opłata za wodę")}, 1260000.0, {"w"})); });
  EXPECT_EQ(calls,
            "  52204(table 36, -1, 5.00)\n"
            "  52287(table 36, record 1)\n"
            "  52204(table 36, +1, 126.00)\n");
  const std::vector<ledger_entry> after = entries();
  ASSERT_EQ(after.size(), 3u);
  EXPECT_EQ(+after[1].amount, 1260000.0);
  EXPECT_EQ(+after[1].stamp, 42);
  EXPECT_EQ(+after[1].stamp_copy, 42);  // the old copy is not kept
  EXPECT_EQ(std::memcmp(&after[0], &before[0], sizeof(ledger_entry)), 0);
  EXPECT_EQ(std::memcmp(&after[2], &before[2], sizeof(ledger_entry)), 0);
}

TEST_F(Ledger, AnEntryFoundByTitleKeepsAStampOfZero) {
  step("ledger L.KON entry stamp=0 copy=9 amount=5 title=T");
  const ledger_access& ledger = open();
  store_fee(ledger, {"T"}, 7.0, {""});
  EXPECT_EQ(+entries()[0].stamp, 0);
  EXPECT_EQ(+entries()[0].stamp_copy, 0);
  EXPECT_EQ(+entries()[0].amount, 7.0);
}

TEST_F(Ledger, OnlyATrulyFreeEntryIsReused) {
  step("ledger L.KON entry stamp=0 amount=5 title=unstamped but charged");
  step("ledger L.KON entry stamp=7 amount=0 title=stamped with nothing");
  step("ledger L.KON entry stamp=0 amount=0.0000000009 title=free");
  step("ledger L.KON entry stamp=0 amount=0 title=free too");
  const ledger_access& ledger = open();
  const std::vector<ledger_entry> before = entries();
  step("trace 52204");
  const std::string calls =
      test::transcript_of([&] { EXPECT_TRUE(store_fee(ledger, {"new"}, 2.0, {""})); });
  EXPECT_EQ(calls, "  52204(table 36, +1, 0.00)\n");  // no -1 for a free entry
  const std::vector<ledger_entry> after = entries();
  ASSERT_EQ(after.size(), 4u);
  EXPECT_STREQ(after[2].title, "new");
  EXPECT_NE(+after[2].stamp, 0);
  for (std::size_t i : {0u, 1u, 3u})
    EXPECT_EQ(std::memcmp(&after[i], &before[i], sizeof(ledger_entry)), 0) << i;
}

TEST_F(Ledger, ANewYearMakesANewEntryAndLeavesThePreviousOne) {
  step("ledger L.KON entry stamp=3 amount=6 title=2011 Opłata członkowska");
  step("year 2012");
  const ledger_access& ledger = open();
  store_fee(ledger, {MZ("2012 Opłata członkowska")}, 60000.0, {""});
  ASSERT_EQ(count_, 2);
  EXPECT_EQ(+entries()[0].amount, 60000.0);
  EXPECT_STREQ(entries()[1].title, MZ("2012 Opłata członkowska"));
}

TEST_F(Ledger, AFeeLineLongerThan32CharactersIsCut) {
  const ledger_access& ledger = open();
  store_fee(ledger, {"t"}, 1.0, {"0123456789012345678901234567890123456789"});
  EXPECT_STREQ(entries()[0].fee_line, "01234567890123456789012345678901");
}

TEST_F(Ledger, ARefusedWriteOrAppendPostsNothing) {
  step("ledger L.KON entry stamp=5 amount=3 title=T");
  step("fail 52287 at 1");
  step("fail 52288 at 1");
  const ledger_access& ledger = open();
  step("trace 52204");
  const std::string calls = test::transcript_of([&] {
    EXPECT_FALSE(store_fee(ledger, {"T"}, 9.0, {""}));    // replacement refused
    EXPECT_FALSE(store_fee(ledger, {"U"}, 4.0, {""}));    // append refused
    EXPECT_TRUE(store_fee(ledger, {"U"}, 4.0, {""}));    // appended now
  });
  // The totals take out and put back what the file still holds; a refused
  // append enters nothing.
  EXPECT_EQ(calls,
            "  52204(table 36, -1, 3.00)\n"
            "  (service 52287 fails at its call 1)\n"
            "  52204(table 36, +1, 3.00)\n"
            "  (service 52288 fails at its call 1)\n"
            "  52204(table 36, +1, 0.00)\n");
  EXPECT_EQ(+entries()[0].amount, 30000.0);
  ASSERT_EQ(count_, 2);
  // A fee of 0.00 refused is told from one stored, which its amount cannot tell.
  step("fail 52288 at 3");
  EXPECT_FALSE(store_fee(ledger, {"Z"}, 0.0, {""}));
  EXPECT_TRUE(store_fee(ledger, {"Z"}, 0.0, {""}));
  EXPECT_EQ(count_, 3);
}

TEST_F(Ledger, PostedAmountIsTheFirstEntryWithTheTitle) {
  step("ledger L.KON entry stamp=1 amount=3 title=A");
  step("ledger L.KON entry stamp=2 amount=4 title=B");
  step("ledger L.KON entry stamp=3 amount=5 title=B");
  const ledger_access& ledger = open();
  EXPECT_EQ(posted_amount(ledger, {"B"}), 40000.0);
  EXPECT_EQ(posted_amount(ledger, {"C"}), 0.0);
  step("fail 52286 from 1");
  EXPECT_EQ(posted_amount(ledger, {"A"}), 0.0);  // an unreadable ledger holds nothing
}

TEST(ZeroAmount, BoundsAreExcluded) {
  EXPECT_EQ(is_zero_amount(0.0), 1);
  EXPECT_EQ(is_zero_amount(0.0000099), 1);
  EXPECT_EQ(is_zero_amount(-0.0000099), 1);
  EXPECT_EQ(is_zero_amount(0.00001), 0);
  EXPECT_EQ(is_zero_amount(-0.00001), 0);
  EXPECT_EQ(is_zero_amount(std::numeric_limits<double>::quiet_NaN()), 0);
}

}  // namespace
}  // namespace q7
