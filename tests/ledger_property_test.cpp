// Random postings over random ledgers keep every rule of a posting: the
// first entry of an equal title is replaced and keeps its stamp, only a
// truly free entry is reused, otherwise the ledger grows by one, no other
// entry changes, and the totals the host keeps through 52204 stay equal to
// its file.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "host/host.h"
#include "plugin/fees/ledger.h"
#include "tests/support.h"

namespace q7 {
namespace {

using test::step;

const char* const titles[] = {"2010 Opłata za wodę", "2011 Opłata za wodę", "2011 Wpisowe",
                              "2012 Wpisowe", "2011 Opłata za CO"};

std::vector<ledger_entry> read_ledger(const char* name) {
  std::vector<ledger_entry> entries;
  FILE* file = std::fopen(name, "rb");
  if (!file) return entries;
  for (ledger_entry e; std::fread(&e, sizeof e, 1, file) == 1;) entries.push_back(e);
  std::fclose(file);
  return entries;
}

bool free_entry(const ledger_entry& e) { return e.stamp == 0 && e.amount > -0.00001 && e.amount < 0.00001; }

bool same_bytes(const ledger_entry& a, const ledger_entry& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(LedgerProperties, RandomPostingsKeepEveryRule) {
  test::attach_plugin_code();
  test::enter_fresh_folder("ledger_properties");
  step("date 12.04.02");
  std::mt19937 random(20111);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  const double amounts[] = {0.0, 0.000004, -0.000004, 0.00001, 1.0, 1260000.0, -50000.0};
  int postings = 0;

  for (int ledger_no = 0; ledger_no < 60; ++ledger_no) {
    // A random ledger: stamped and unstamped entries, zero and tiny amounts,
    // titles that repeat.
    std::vector<ledger_entry> start(static_cast<std::size_t>(pick(7)));
    for (ledger_entry& e : start) {
      e = {};
      std::snprintf(e.title, sizeof e.title, "%s", torval::to_mazovia(titles[pick(5)]).c_str());
      e.amount = amounts[pick(7)];
      e.stamp = pick(3) == 0 ? 0 : 100 + pick(50);
      e.stamp_copy = pick(2) ? e.stamp : 7;
    }
    const std::string name = "L" + std::to_string(ledger_no) + ".KON";
    if (FILE* file = std::fopen(name.c_str(), "wb")) {
      for (const ledger_entry& e : start) std::fwrite(&e, sizeof e, 1, file);
      std::fclose(file);
    }

    step("fail clear");
    int32_t count = 0;
    table_descriptor* table = svc_52256_table_descriptor(ledger_table_no);
    FILE* file = svc_50516_open_ledger(53, name.c_str(), table, &count);
    ASSERT_NE(file, nullptr);
    const ledger_access ledger{table, static_cast<ledger_entry*>(table->record_buffer), &count, file};

    for (int p = pick(6); p >= 0; --p, ++postings) {
      const std::vector<ledger_entry> before = read_ledger(name.c_str());
      const std::string title = torval::to_mazovia(titles[pick(5)]);
      const double amount = amounts[pick(7)];
      EXPECT_TRUE(store_fee(ledger, {title.c_str()}, amount, {"line"}));
      const std::vector<ledger_entry> after = read_ledger(name.c_str());
      ASSERT_EQ(count, static_cast<int32_t>(after.size()));

      // Where the posting must land, by the rules.
      std::size_t target = before.size();
      bool replaced = false;
      for (std::size_t i = 0; i < before.size() && !replaced; ++i)
        if (title == before[i].title) target = i, replaced = true;
      if (!replaced) {
        for (std::size_t i = 0; i < before.size(); ++i)
          if (free_entry(before[i])) {
            target = i;
            break;
          }
      }
      SCOPED_TRACE("ledger " + name + ", posting of \"" + title + "\" lands at " + std::to_string(target));

      ASSERT_EQ(after.size(), before.size() + (target == before.size() ? 1 : 0));
      for (std::size_t i = 0; i < before.size(); ++i) {
        if (i != target) {
          EXPECT_TRUE(same_bytes(before[i], after[i])) << "entry " << i << " changed";
        }
      }
      const ledger_entry& posted = after[target];
      EXPECT_EQ(title, posted.title);
      EXPECT_EQ(+posted.amount, amount);
      EXPECT_EQ(+posted.stamp_copy, +posted.stamp);
      if (replaced) {
        EXPECT_EQ(+posted.stamp, +before[target].stamp);
      } else {
        EXPECT_NE(+posted.stamp, 0);
      }
    }
    svc_52302_close_ledger(1, 0, &file, 0);
    const std::string audit = test::transcript_of([] { step("audit"); });
    EXPECT_NE(audit.find("totals match the files"), std::string::npos) << audit;
  }
  EXPECT_GT(postings, 150);
}

}  // namespace
}  // namespace q7
