// The ways in from the host and what they keep in force. A guard is jumped
// to only while its frame is alive: a host may end a call into the plug-in
// from outside without unwinding it (a jump of its own) and put its chain of
// frame handlers back as it was; the guards and the running command of that
// call are gone with its frames. The host's x87 word is the host's outside
// the plug-in's own arithmetic, and a chain the host broke or reused is
// never trusted beyond what it shows.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <thread>

#include "plugin/hostlink/guard.h"
#include "plugin/hostlink/services.h"
#include "plugin/hostlink/way_in.h"
#include "tests/support.h"

namespace q7 {
namespace {

void* host_resume[5];  // where the host's own jump resumes
int ends_seen;         // calls the host ended in this test

class WayIn : public ::testing::Test {
 protected:
  void SetUp() override { ends_seen = 0; }
};

// The host ends the call: no unwinding, no frame handler told.
[[noreturn]] void end_from_outside() {
#ifdef Q7_ASAN
  __asan_handle_no_return();
#endif
  __builtin_longjmp(host_resume, 1);
}

// The host puts back the head its chain had before the call.
void put_back_chain_head(const q7_frame_record* head) {
  q7_frame_record before{const_cast<q7_frame_record*>(head), nullptr};
  platform::unregister_frame(&before);
}

// Frames of the calls the host ends lie this much deeper than anything the
// test calls after them, so that their memory is left as it was.
#define DEEPER_THAN_WHAT_FOLLOWS         \
  char room[4096];                       \
  __asm__ volatile("" : : "r"(room) : "memory")

[[gnu::noinline]] void call_back_with_guard() {
  DEEPER_THAN_WHAT_FOLLOWS;
  guarded([] { end_from_outside(); });
}

// The record of the innermost way in, at the chain's head inside its body.
q7_frame_record* way_in_record() { return const_cast<q7_frame_record*>(platform::frame_chain_head()); }
q7_frame_record* ended_record;

[[gnu::noinline]] void call_back_ended(call_kind kind) {
  DEEPER_THAN_WHAT_FOLLOWS;
  EXPECT_TRUE(from_host(kind, [kind] {
    ended_record = way_in_record();
    if (kind == call_kind::command) {
      EXPECT_FALSE(from_host(call_kind::command, [] {}));  // one command at a time
    }
    guarded([] { end_from_outside(); });
  }));
}

// Whether a call of the kind is admitted now, on this thread or another.
bool admitted(call_kind kind = call_kind::command) { return from_host(kind, [] {}); }
bool admitted_in_another_thread() {
  bool admitted = false;
  std::thread([&admitted] { admitted = from_host(call_kind::call, [] {}); }).join();
  return admitted;
}

// Sets guards one inside another, levels of them, recording the most in
// force in a body that ran and the level whose guard answered false.
int deepest_in_force;
int level_stopped;
void nested_guards(int levels) {
  if (!guarded([levels] {
        if (in_force_now.guard_depth > deepest_in_force) deepest_in_force = in_force_now.guard_depth;
        if (levels > 1) nested_guards(levels - 1);
      }))
    level_stopped = levels;
}

// Abandons from deeper than any frame of the ended call: the stack pointer
// alone would take a guard left there for alive.
[[gnu::noinline]] void abandon_deep() {
  DEEPER_THAN_WHAT_FOLLOWS;
  abandon_command();
}

// Runs call as a host does that ends it from outside, then the rest.
// A jump into a guard whose frame is gone would run the ended call again and
// end here a second time: that stops the test at once.
template <class Call, class Rest>
void after_ended_call(Call call, Rest rest) {
  const q7_frame_record* head = platform::frame_chain_head();
  if (__builtin_setjmp(host_resume) == 0) call();
  if (++ends_seen > 1) {
    std::fprintf(stderr, "an abandonment jumped into a guard whose frame is gone\n");
    std::abort();
  }
  put_back_chain_head(head);
  rest();
}

// The host tells a record's handler that its frame is unwound.
void unwind(q7_frame_record* record) {
  q7_exception_head unwinding{0xE0484F53, exception_unwinding};
  record->handler(&unwinding, record, nullptr, nullptr);
}

TEST_F(WayIn, AGuardBelowTheStackPointerIsPassedOver) {
  const bool ran = guarded([] { after_ended_call(call_back_with_guard, [] { abandon_command(); }); });
  EXPECT_FALSE(ran);
  EXPECT_EQ(in_force_now.guard_depth, 0);
}

TEST_F(WayIn, AGuardUnderAChainHeadThatIsGoneIsPassedOverFromDeeper) {
  const bool ran = guarded([] { after_ended_call([] { call_back_ended(call_kind::call); }, abandon_deep); });
  EXPECT_FALSE(ran);
  EXPECT_EQ(in_force_now.guard_depth, 0);
}

TEST_F(WayIn, ACommandEndedByTheHostNoLongerRunsAndItsGuardsAreDropped) {
  after_ended_call([] { call_back_ended(call_kind::command); }, [] {});
  EXPECT_EQ(in_force_now.guard_depth, 2);  // left behind, and dropped by the next way in
  EXPECT_TRUE(from_host(call_kind::command, [] { EXPECT_EQ(in_force_now.guard_depth, 1); }));
  EXPECT_EQ(in_force_now.guard_depth, 0);
}

TEST_F(WayIn, ACommandEndedWithACallBackInsideIsForgottenWithIt) {
  after_ended_call([] { from_host(call_kind::command, [] { call_back_ended(call_kind::call); }); }, [] {});
  EXPECT_TRUE(admitted());
  EXPECT_EQ(in_force_now.guard_depth, 0);
}

TEST_F(WayIn, AReturnedCommandLeavesThePlugInToTheNextCommandAndToAnyThread) {
  EXPECT_TRUE(from_host(call_kind::command, [] { EXPECT_FALSE(admitted_in_another_thread()); }));
  EXPECT_TRUE(admitted_in_another_thread());
  EXPECT_TRUE(admitted());
}

TEST_F(WayIn, AKeyDuringACallThatIsNoCommandRunsItsCommand) {
  EXPECT_TRUE(from_host(call_kind::call, [] { EXPECT_TRUE(admitted(call_kind::command)); }));
}

// Ways in nested as deep as a host may nest them: the calls in progress hold
// sixteen, and one more is refused, not written past them.
int nested_admitted;
void nest_ways_in(int levels) {
  if (levels > 0 && from_host(call_kind::call, [levels] { nest_ways_in(levels - 1); })) ++nested_admitted;
}
TEST_F(WayIn, AWayInDeeperThanTheCallsInProgressHoldIsRefused) {
  nested_admitted = 0;
  nest_ways_in(20);
  EXPECT_EQ(nested_admitted, 16);
  EXPECT_TRUE(admitted());
}

// The host's own record, on its stack where an ended call's record was.
int Q7_CDECL host_handler(q7_exception_head*, q7_frame_record*, void*, void*) { return continue_search; }
[[gnu::noinline]] void with_host_record_at(q7_frame_record* where, void (*then)()) {
  const auto below = reinterpret_cast<uintptr_t>(__builtin_frame_address(0)) - reinterpret_cast<uintptr_t>(where);
  auto* block = static_cast<char*>(__builtin_alloca(below + 4096));
  ASSERT_LE(block, reinterpret_cast<char*>(where));
  q7_frame_record* record = new (where) q7_frame_record{nullptr, &host_handler};
  platform::register_frame(record);
  then();
  platform::unregister_frame(record);
}

TEST_F(WayIn, AHostRecordWhereAnEndedCommandsRecordWasDoesNotKeepItRunning) {
  after_ended_call([] { call_back_ended(call_kind::command); }, [] {});
  with_host_record_at(ended_record, [] { EXPECT_TRUE(admitted()); });
}

// A link of the chain outside the thread's stack: what lies beyond it is not
// known, and the calls recorded there still run.
TEST_F(WayIn, ACommandBeyondABrokenLinkOfTheChainStillRuns) {
  EXPECT_TRUE(from_host(call_kind::command, [] {
    const q7_frame_record* const head = platform::frame_chain_head();
    auto* off_stack = new q7_frame_record{frame_chain_end, &host_handler};
    q7_frame_record on_stack{off_stack, &host_handler};
    put_back_chain_head(&on_stack);
    EXPECT_FALSE(admitted());
    EXPECT_TRUE(admitted(call_kind::call));
    put_back_chain_head(head);
    delete off_stack;
  }));
}

// The handler of a record that the host kept after it ended the call
// without unwinding it: the call in progress now is another one.
TEST_F(WayIn, AnEndedCallsStaleRecordTakesNothingOfTheCallInProgress) {
  after_ended_call([] { call_back_ended(call_kind::call); }, [] {});
  EXPECT_TRUE(from_host(call_kind::command, [] {
    unwind(ended_record);
    EXPECT_FALSE(admitted());
    EXPECT_FALSE(admitted_in_another_thread());
  }));
}

// A tenth as the x87 unit forms it under the word in force.
double one_tenth() {
  volatile double one = 1, ten = 10;
  return one / ten;
}
// Extended precision, rounding toward zero, every exception masked: the
// quotient rounds down where the plug-in's word rounds to nearest.
constexpr uint16_t truncating_host_word = 0x0E7F;

TEST_F(WayIn, ThePlugInComputesWithItsOwnWordUnderAnyHostWord) {
  const double nearest = one_tenth();
  x87::load_control(truncating_host_word);
  ASSERT_NE(one_tenth(), nearest);
  double inside = 0;
  uint16_t word_of_host_call = 0;
  from_host(call_kind::call, [&] {
    inside = one_tenth();
    calling_out([&] { word_of_host_call = x87::control(); });
  });
  const uint16_t after = x87::control();
  x87::load_control(x87::own_control);
  EXPECT_EQ(inside, nearest);
  EXPECT_EQ(word_of_host_call, truncating_host_word);
  EXPECT_EQ(after, truncating_host_word);
}

// The host unwinds a command while its own word is loaded (its exception
// raised inside a host service): the closing steps compute with the
// plug-in's word, then the host has its word back and the plug-in is free
// for any thread; a step registered in a host call the host ended earlier
// never runs.
TEST_F(WayIn, AnUnwoundCommandClosesWithItsOwnWordAndGivesEverythingBack) {
  const double nearest = one_tenth();
  int closed_outside = 0, closed_inside = 0;
  double computed_closing = 0;
  uint16_t word_after = 0;
  x87::load_control(truncating_host_word);
  from_host(call_kind::command, [&] {
    q7_frame_record* const record = way_in_record();
    guarded_closing(
        [&] {
          const in_force before = saved_in_force();
          calling_back([&] {
            after_ended_call([&] { from_host(call_kind::call, [&] {
                                     guarded_closing([] { end_from_outside(); }, [&] { ++closed_inside; });
                                   }); },
                             [] {});
          });
          EXPECT_EQ(saved_in_force().guard_depth, before.guard_depth);
          EXPECT_EQ(saved_in_force().closings, before.closings);
          calling_out([&] {
            unwind(record);
            word_after = x87::control();
          });
          EXPECT_TRUE(admitted_in_another_thread());
        },
        [&] {
          ++closed_outside;
          computed_closing = one_tenth();
        });
  });
  x87::load_control(x87::own_control);
  EXPECT_EQ(closed_outside, 1);
  EXPECT_EQ(closed_inside, 0);
  EXPECT_EQ(computed_closing, nearest);
  EXPECT_EQ(word_after, truncating_host_word);
}

// A closing step that stops (a host call it makes is abandoned) while the
// host unwinds the command leaves the steps outside it to run.
TEST_F(WayIn, AClosingStepThatStopsLeavesTheOuterStepsToRun) {
  int outer_closed = 0;
  from_host(call_kind::command, [&] {
    q7_frame_record* const record = way_in_record();
    guarded_closing([&] { guarded_closing([&] { unwind(record); }, [] { abandon_command(); }); },
                    [&] { ++outer_closed; });
  });
  EXPECT_EQ(outer_closed, 1);
  EXPECT_TRUE(admitted());
}

#ifndef _WIN32
// A host service that calls the plug-in back (the host's message loop in a
// question box delivers Ctrl-C, whose own question the host ends by a jump,
// unwinding nothing): after it, what was in force before it is in force
// again, not the guards and closing steps of the command the host jumped
// out of. Natively, where the stand-in host calls this very code back.
TEST_F(WayIn, AHostCallThatCallsBackLeavesWhatWasInForceHoweverTheCallBackEnded) {
  test::step("load");
  test::enter_fresh_folder("way_in_call_back");
  test::step("plots " + std::string(Q7_SOURCE_DIR) + "/tests/sessions/data/plots.csv");
  for (const char* s : {"config Sudma Pytaj 1", "start", "activate", "fail clear", "meanwhile 52028 at 1 key plots ctrl-c",
                        "raise 52028 at 2 jump"})
    test::step(s);
  in_force before{}, after{};
  EXPECT_TRUE(from_host(call_kind::call, [&] {
    before = saved_in_force();
    question_box({"uwaga"}, {"?"}, host_values::style_question_yes_no);
    after = saved_in_force();
  }));
  test::step("fail clear");
  EXPECT_EQ(after.guard_depth, before.guard_depth);
  EXPECT_EQ(after.closings, before.closings);
  EXPECT_TRUE(admitted());
}
#endif

TEST_F(WayIn, OneGuardMoreThanTheStackHoldsStopsTheCommandAsAnAbandonmentDoes) {
  deepest_in_force = level_stopped = 0;
  nested_guards(guard_capacity + 1);
  EXPECT_EQ(deepest_in_force, guard_capacity);
  EXPECT_EQ(level_stopped, 2);  // the innermost guard set: the one beyond it was never set
  EXPECT_EQ(in_force_now.guard_depth, 0);
}

}  // namespace
}  // namespace q7
