// The steps that plan what the host does in the calls to come: the answers
// to its boxes, dialogs and forms, the edits and keys of the next form, and
// where it departs from a plain run (services withdrawn, failing, raising
// the host's exception or ending their thread; calls from another thread or
// the message loop; the behaviours of other hosts).
#include <string>

#include "host/audit.h"
#include "host/host_platform.h"
#include "host/plan.h"
#include "host/steps.h"
#include "host/world.h"

namespace torval::steps {
namespace {

// The K of "SERVICE at K" and the like.
int call_number(const step_call& s) {
  if (s.number(2) < 1) throw refused{"calls are counted from 1"};
  return static_cast<int>(s.number(2));
}

uint32_t service(const step_call& s) { return static_cast<uint32_t>(s.number(0)); }

}  // namespace

void withdraw_service(const step_call& s) { platform::withdraw_export(service(s)); }

void restore_services(const step_call&) { platform::restore_exports(); }

void set_windows_box(const step_call& s) {
  const std::string& how = s.args[0];
  plan().windows_box_answer = how == "abort"    ? box_abort
                              : how == "retry"  ? box_retry
                              : how == "ignore" ? box_ignore
                                                : 0;
}

void behave(const step_call& s) {
  if (s.args[0] == "usual") plan().behaviours.clear();
  else plan().behaviours.insert(s.args[0]);
}

void plan_answer(const step_call& s) {
  answer a;
  std::string why;
  if (!answer_of(s.args, a, why)) throw refused{why};
  plan().answers.push_back(a);
}

void plan_edit(const step_call& s) {
  form_edit e;
  if (const std::size_t equals = s.rest.find(" = "); equals != std::string::npos) {
    e.label = s.rest.substr(0, equals);
    e.value = s.rest.substr(equals + 3);
  } else {
    const std::size_t space = s.rest.find(' ');
    if (space == std::string::npos) throw refused{"no value: edit ITEM VALUE or edit LABEL = VALUE"};
    e.item = s.rest.substr(0, space);
    e.value = s.rest.substr(space + 1);
  }
  plan().form_edits.push_back(e);
}

void plan_key_in_form(const step_call& s) {
  int32_t key = 0;
  key_code(s.args[1], key);
  plan().keys_in_form.emplace_back(existing_table(table_number(s.args[0])).number, key);
}

void plan_fault(const step_call& s) {
  const fault f{call_number(s), s.args[1] == "from"};
  plan().faults[service(s)] = f;
}

void plan_raise(const step_call& s) {
  const int call = call_number(s);
  const std::string how = s.args.size() > 3 ? s.args[3] : "";
  if (!how.empty() && how != "exit-unwind" && how != "jump") throw refused{"after K only exit-unwind or jump"};
  script_plan& p = plan();
  p.raises[service(s)] = call;
  p.raise_endings.erase(service(s));
  if (!how.empty())
    p.raise_endings[service(s)] = how == "jump" ? platform::host_ending::jump : platform::host_ending::exit_unwind;
}

void plan_thread_end(const step_call& s) {
  const int call = call_number(s);
  plan().thread_ends[service(s)] = call;
}

// The calls are checked before anything is planned.
void plan_call_from_thread(const step_call& s) {
  const planned_call call{call_number(s), thread_call({s.args.begin() + 3, s.args.end()})};
  plan().thread_calls[service(s)] = call;
}

void plan_call_meanwhile(const step_call& s) {
  const planned_call call{call_number(s), thread_call({s.args.begin() + 3, s.args.end()})};
  plan().loop_calls[service(s)] = call;
}

// The plan, the call counts and the audit start anew.
void clear_plan(const step_call&) {
  plan() = {};
  audit() = {};
}

}  // namespace torval::steps
