// The native test build's threads: the chain of frame records each keeps
// (fs:[0] on Windows), the host's exceptions raised and caught through it as
// Windows' structured exception handling would, the host's other threads,
// and what the plug-in learns of a thread: its number, its stack, whether
// it has ended.
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <csetjmp>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

#include "abi/native_module.h"
#include "host/calling_in.h"
#include "host/host_platform.h"
#include "host/plan.h"

namespace torval::platform {

namespace {

// A catching call's record in the native chain, with where it resumes.
struct catching_frame {
  q7_frame_record record;
  jmp_buf resume;
};
thread_local int catching_calls = 0;

int Q7_CDECL catching_handler(q7_exception_head*, q7_frame_record*, void*, void*) { return q7::continue_search; }

}  // namespace

bool call_catching(void (*function)(void*), void* argument) {
  catching_frame frame{};
  frame.record.handler = &catching_handler;
  if (setjmp(frame.resume) != 0) {
    *torval_native_frame_chain() = frame.record.previous;
    --catching_calls;
    return true;
  }
  q7_frame_record** head = torval_native_frame_chain();
  frame.record.previous = *head;
  *head = &frame.record;
  ++catching_calls;
  function(argument);
  --catching_calls;
  *head = frame.record.previous;
  return false;
}

namespace {

// The records whose handler an unwinding is calling now, the innermost last.
thread_local std::vector<q7_frame_record*> handlers_unwinding;

}  // namespace

// As Windows raises: each handler inside the innermost catching call is
// offered the exception, then unwound (told so, and its record taken off the
// chain), and the catching call resumes. A record whose handler an earlier
// unwinding is calling (the exception was raised inside it) is passed over,
// as Windows passes over it in a collided unwind.
bool raise_host_exception(host_ending how) {
  if (catching_calls == 0) return false;
  q7_frame_record** head = torval_native_frame_chain();
  q7_exception_head exception{0xE0484F53, 0};
  q7_frame_record* target = *head;
  for (; target->handler != &catching_handler; target = target->previous)
    if (how != host_ending::jump) target->handler(&exception, target, nullptr, nullptr);
  if (how == host_ending::jump) {
    std::erase_if(handlers_unwinding, [target](q7_frame_record* r) { return r < target; });
    std::longjmp(reinterpret_cast<catching_frame*>(target)->resume, 1);
  }
  exception.flags = q7::exception_unwinding | (how == host_ending::exit_unwind ? q7::exception_exit_unwind : 0);
  torval::unwinding_from(__builtin_frame_address(0));
  auto& unwinding = handlers_unwinding;
  while (*head != target) {
    q7_frame_record* inside = *head;
    if (std::find(unwinding.begin(), unwinding.end(), inside) == unwinding.end()) {
      unwinding.push_back(inside);
      inside->handler(&exception, inside, nullptr, nullptr);
      unwinding.pop_back();
    }
    *head = inside->previous;
  }
  // The unwindings this one cut short lie inside the catching call.
  std::erase_if(unwinding, [target](q7_frame_record* r) { return r < target; });
  torval::unwinding_from(nullptr);
  std::longjmp(reinterpret_cast<catching_frame*>(target)->resume, 1);
}

namespace {

const pid_t session_thread = gettid();

// A call on another thread: whether it returned, or its thread ended inside it.
struct other_thread_run {
  void (*function)(void*);
  void* argument;
  std::mutex lock;
  std::condition_variable over_signal;
  bool over = false, returned = false;
};
thread_local std::shared_ptr<other_thread_run> this_run;
std::set<uint32_t> ended_threads;
std::mutex ended_lock;

void finish(other_thread_run& run, bool returned) {
  std::lock_guard<std::mutex> hold(run.lock);
  run.over = true;
  run.returned = returned;
  run.over_signal.notify_all();
}

}  // namespace

bool run_on_other_thread(void (*function)(void*), void* argument) {
  auto run = std::make_shared<other_thread_run>();
  run->function = function;
  run->argument = argument;
  std::thread([run] {
    this_run = run;
    run->function(run->argument);
    finish(*run, true);
  }).detach();
  std::unique_lock<std::mutex> hold(run->lock);
  run->over_signal.wait(hold, [&] { return run->over; });
  return run->returned;
}

// The thread stops here for good: its stack, with whatever was inside, is
// never used again, and the plug-in's seam says that it ended.
bool end_this_thread() {
  if (gettid() == session_thread || !this_run) return false;
  {
    std::lock_guard<std::mutex> hold(ended_lock);
    ended_threads.insert(static_cast<uint32_t>(gettid()));
  }
  finish(*this_run, false);
  for (;;) pause();
}

bool thread_has_ended(uint32_t thread) {
  std::lock_guard<std::mutex> hold(ended_lock);
  return ended_threads.count(thread) != 0;
}

}  // namespace torval::platform

extern "C" {

q7_frame_record** torval_native_frame_chain() {
  static thread_local q7_frame_record* head = q7::frame_chain_end;
  return &head;
}

uint32_t torval_native_GetCurrentThreadId() { return static_cast<uint32_t>(gettid()); }

int torval_native_thread_ended(uint32_t thread) { return torval::platform::thread_has_ended(thread); }

void torval_native_thread_stack(uintptr_t* low, uintptr_t* high) {
  thread_local uintptr_t stack_low = 0, stack_high = 0;
  if (!stack_high) {
    pthread_attr_t attributes;
    void* address = nullptr;
    std::size_t size = 0;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      pthread_attr_getstack(&attributes, &address, &size);
      pthread_attr_destroy(&attributes);
    }
    stack_low = reinterpret_cast<uintptr_t>(address);
    stack_high = stack_low + size;
  }
  *low = stack_low;
  *high = stack_high;
}

uint32_t torval_native_stack_room(const void* frame) {
  // A session may leave the plug-in as little room as a stack overflow the host caught leaves.
  if (torval::behaves("short-stack")) return 4096;
  uintptr_t low, high;
  torval_native_thread_stack(&low, &high);
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(frame) - low);
}

}
