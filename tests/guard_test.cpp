// A guard is jumped to only while its frame is alive. A host may end a call
// into the plug-in from outside without unwinding it (a jump of its own) and
// put its chain of frame handlers back as it was: the guards and the running
// command of that call are gone with its frames, and an abandonment after it
// resumes at the next live guard out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "plugin/hostlink/boundary.h"
#include "plugin/hostlink/guard.h"

namespace q7 {
namespace {

void* host_resume[5];  // where the host's own jump resumes
int ends_seen;         // calls the host ended in this test

class Guards : public ::testing::Test {
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

// Its guard lies deeper than anything the test calls after it.
[[gnu::noinline]] void call_back_with_guard() {
  char room[4096];
  __asm__ volatile("" : : "r"(room) : "memory");
  guarded([] { end_from_outside(); });
}

[[gnu::noinline]] void call_back_at_boundary(boundary::kind kind) {
  const boundary from_host(kind);
  EXPECT_TRUE(from_host.admitted());
  if (kind == boundary::kind::command) {
    const boundary key_meanwhile(boundary::kind::command);
    EXPECT_FALSE(key_meanwhile.admitted());  // one command at a time
  }
  guarded([] { end_from_outside(); });
}

// A command whose call-back the host ends, with the command, from outside.
[[gnu::noinline]] void command_with_call_back() {
  const boundary command(boundary::kind::command);
  EXPECT_TRUE(command.admitted());
  call_back_at_boundary(boundary::kind::call);
}

// Whether a call from a second thread is admitted now.
bool admitted_in_another_thread() {
  bool admitted = false;
  std::thread([&admitted] {
    const boundary from_host;
    admitted = from_host.admitted();
  }).join();
  return admitted;
}

// Sets guards one inside another, levels of them, recording the most in
// force in a body that ran and the level whose guard answered false.
int deepest_in_force;
int level_stopped;
void nested_guards(int levels) {
  if (!guarded([levels] {
        if (guards.depth > deepest_in_force) deepest_in_force = guards.depth;
        if (levels > 1) nested_guards(levels - 1);
      }))
    level_stopped = levels;
}

// Abandons from deeper than any frame of the ended call: the stack pointer
// alone would take a guard left there for alive.
[[gnu::noinline]] void abandon_deep() {
  char room[4096];
  __asm__ volatile("" : : "r"(room) : "memory");
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

TEST_F(Guards, AGuardBelowTheStackPointerIsPassedOver) {
  const bool ran = guarded([] { after_ended_call(call_back_with_guard, [] { abandon_command(); }); });
  EXPECT_FALSE(ran);
  EXPECT_EQ(guards.depth, 0);
}

TEST_F(Guards, AGuardUnderAChainHeadThatIsGoneIsPassedOverFromDeeper) {
  const bool ran = guarded([] {
    after_ended_call([] { call_back_at_boundary(boundary::kind::call); }, abandon_deep);
  });
  EXPECT_FALSE(ran);
  EXPECT_EQ(guards.depth, 0);
}

TEST_F(Guards, ACommandEndedByTheHostNoLongerRunsAndItsGuardsAreDropped) {
  after_ended_call([] { call_back_at_boundary(boundary::kind::command); }, [] {});
  EXPECT_EQ(guards.depth, 1);  // left behind, and dropped by the next way in
  const boundary next_command(boundary::kind::command);
  EXPECT_TRUE(next_command.admitted());
  EXPECT_EQ(guards.depth, 0);
}

TEST_F(Guards, ACommandEndedWithACallBackInsideIsForgottenWithIt) {
  after_ended_call(command_with_call_back, [] {});
  const boundary next_command(boundary::kind::command);
  EXPECT_TRUE(next_command.admitted());
  EXPECT_EQ(guards.depth, 0);
}

TEST_F(Guards, AReturnedCommandLeavesThePlugInToTheNextCommandAndToAnyThread) {
  {
    const boundary command(boundary::kind::command);
    ASSERT_TRUE(command.admitted());
    EXPECT_FALSE(admitted_in_another_thread());
  }
  EXPECT_TRUE(admitted_in_another_thread());
  const boundary next_command(boundary::kind::command);
  EXPECT_TRUE(next_command.admitted());
}

int closed_outside, closed_inside;

// A call-back with a closing step of its own, which the host ends from outside.
[[gnu::noinline]] void call_back_with_closing_step() {
  const boundary from_host;
  guarded_closing([] { end_from_outside(); }, [] { ++closed_inside; });
}

// A host call through which the host calls the plug-in back and ends that
// call from outside leaves the guards and closing steps as they were before
// it; when the host then unwinds the command, only the command's own step
// runs, never one of the ended call's.
TEST_F(Guards, AHostCallThatCallsBackLeavesTheGuardsAndClosingStepsAsTheyWere) {
  closed_outside = closed_inside = 0;
  boundary command(boundary::kind::command);
  ASSERT_TRUE(command.admitted());
  guarded_closing(
      [&] {
        const int depth = guards.depth;
        const closing_step* const steps = closings;
        calling_back([] { after_ended_call(call_back_with_closing_step, [] {}); });
        EXPECT_EQ(guards.depth, depth);
        EXPECT_EQ(closings, steps);
        q7_exception_head unwinding{0xE0484F53, exception_unwinding};
        boundary::frame_handler(&unwinding, reinterpret_cast<q7_frame_record*>(&command), nullptr, nullptr);
      },
      [] { ++closed_outside; });
  EXPECT_EQ(closed_outside, 1);
  EXPECT_EQ(closed_inside, 0);
}

TEST_F(Guards, OneGuardMoreThanTheStackHoldsStopsTheCommandAsAnAbandonmentDoes) {
  deepest_in_force = level_stopped = 0;
  nested_guards(guard_stack::capacity + 1);
  EXPECT_EQ(deepest_in_force, guard_stack::capacity);
  EXPECT_EQ(level_stopped, 2);  // the innermost guard set: the one beyond it was never set
  EXPECT_EQ(guards.depth, 0);
}

}  // namespace
}  // namespace q7
