// What the session script plans for the calls to come: the answers to the
// next boxes, dialogs and forms, the edits and keys of the next form, and
// where the host departs from a plain run: services that fail, raise the
// host's exception or end their thread at a given call, calls another
// thread or the message loop makes while a service waits, and behaviours of
// other hosts. Every service's calls are counted here, since the plans name
// a call by its number; "fail clear" starts the plan and the counts anew.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "host/host_platform.h"

namespace torval {

// Answers of the Windows message box (MessageBoxA).
inline constexpr int box_abort = 3;
inline constexpr int box_retry = 4;
inline constexpr int box_ignore = 5;

// One scripted answer to the next box, dialog or form.
struct answer {
  int code;
  bool sets_value = false;  // the dialog also stores a value through its data pointer
  int value = 0;
  std::string period_start, period_end;  // the period dialog's two dates
};

// An edit queued for the next form shown: the input field by its item
// number, or by the text of the label just before it.
struct form_edit {
  std::string item;     // the item number as written; empty: found by label
  std::string label;    // UTF-8, tildes left out, as the label is shown
  std::string value;    // UTF-8, as typed
};

// A service made to answer its failure value at its k-th call, or from it on.
struct fault {
  int call = 1;
  bool from_then_on = false;
};

// A call another thread, or the message loop, makes at a service's k-th
// call: the words of the call ("key TABLE KEY", "30008 MODE", "30001 start").
struct planned_call {
  int call = 1;
  std::vector<std::string> words;
};

struct script_plan {
  std::deque<answer> answers;
  int windows_box_answer = 0;  // when set, the Windows box answers so every time
  std::deque<form_edit> form_edits;
  std::deque<std::pair<int32_t, int32_t>> keys_in_form;  // (table, key) pressed while the next form is open
  std::set<std::string, std::less<>> behaviours;  // where this host differs from the usual one
  std::map<uint32_t, int> calls;                  // calls of each service so far
  std::map<uint32_t, fault> faults;
  std::map<uint32_t, int> raises;                              // at the k-th call
  std::map<uint32_t, platform::host_ending> raise_endings;     // those not unwound as usual
  std::map<uint32_t, int> thread_ends;                         // at the k-th call
  std::map<uint32_t, planned_call> thread_calls, loop_calls;   // another thread's; the message loop's
};
script_plan& plan();

// True when the plan says that this call of the service (counted as it
// entered, torval_service_entered) fails; the transcript says so.
bool failing(uint32_t service);
// Whether the session made the host behave so (the step "behave").
bool behaves(const char* behaviour);
// The next scripted answer; at the terminal, the person's; else the given
// default, which the transcript tells.
answer next_answer(int default_code, const char* what);
// An answer from the words of a step after "answer": a name or a number,
// then "value V" or "period START END"; false with the reason when it is none.
bool answer_of(const std::vector<std::string>& words, answer& a, std::string& why);
// An answer as the transcript shows it: its number and, for a button of the
// host, its name ("20481 (OK)").
std::string answer_text(int code);

}  // namespace torval
