#include "host/neighbours.h"

#include <string>

#include "abi/host_services.h"
#include "host/calling_in.h"
#include "host/host_platform.h"
#include "host/plan.h"
#include "host/transcript.h"

namespace torval {
namespace {

// Key handlers called with 32-bit slots for the two 16-bit values, so that a
// session can put anything in their upper halves.
using wide_key_handler = int32_t(Q7_STDCALL*)(int32_t, uint32_t, int32_t*, char**, int32_t,
                                              q7::table_descriptor*, int32_t, FILE*, int32_t, uint32_t,
                                              int32_t);

// The other module's key handler: it tells of the key and passes it on to
// the handler it found in the slot, as a chained handler does.
int32_t Q7_STDCALL other_module_handler(int32_t key, uint32_t a2, int32_t* record_count, char** rows,
                                        int32_t a5, q7::table_descriptor* descriptor, int32_t a7, FILE* file,
                                        int32_t a9, uint32_t a10, int32_t a11) {
  check_entered_word("the other module's key handler");
  table* t = table_of(descriptor);
  const int32_t number = t ? t->number : 0;
  say("  other module's handler of table " + std::to_string(number) + ": key " + std::to_string(key) +
      ", passed on");
  const auto saved = reinterpret_cast<wide_key_handler>(neighbours().other_module_saved[number]);
  return saved ? saved(key, a2, record_count, rows, a5, descriptor, a7, file, a9, a10, a11) : 0;
}

}  // namespace

host_neighbours& neighbours() {
  static host_neighbours state;
  return state;
}

bool is_other_module_handler(q7::key_handler handler) {
  return reinterpret_cast<void*>(handler) == reinterpret_cast<void*>(&other_module_handler);
}

void chain_other_module(table& t) {
  neighbours().other_module_saved[t.number] = t.descriptor.handler;
  t.descriptor.handler = reinterpret_cast<q7::key_handler>(&other_module_handler);
}

void unchain_other_module(table& t) {
  t.descriptor.handler = neighbours().other_module_saved[t.number];
  neighbours().other_module_saved.erase(t.number);
}

bool press_table_key(table& t, int32_t key, const uint32_t (&v)[6], int32_t& result) {
  const auto handler = reinterpret_cast<wide_key_handler>(t.descriptor.handler);
  // A host that hands a key handler no descriptor, or no record count.
  q7::table_descriptor* descriptor = behaves("key-without-table") ? nullptr : &t.descriptor;
  int32_t* count = behaves("key-without-count") ? nullptr : &t.record_count;
  // The list window's caller catches the host's exception around the
  // handler, as a host's message loop does, and the list goes on.
  result = 0;
  const bool caught = call_plugin([&] {
    result = handler(key, v[0], count, t.rows.data(), static_cast<int32_t>(v[1]), descriptor,
                     static_cast<int32_t>(v[2]), t.file, static_cast<int32_t>(v[3]), v[4],
                     static_cast<int32_t>(v[5]));
  });
  if (caught) say("  the host caught its exception around the key handler; the list goes on");
  return !caught;
}

void press_keys_in_form() {
  auto& keys = plan().keys_in_form;
  while (!keys.empty()) {
    const auto [number, key] = keys.front();
    keys.pop_front();
    table* t = find_table(number);
    if (!t || !t->descriptor.handler) continue;
    say("  key " + std::to_string(key) + " pressed in the list of table " + std::to_string(number) +
        " while the form is open");
    int32_t result;
    if (press_table_key(*t, key, {0, 5, 7, 9, 0, 11}, result)) say("  handler -> " + std::to_string(result));
  }
}

// Every host service is exported through an entry of a few instructions
// that tells torval_service_entered of the call, keeping every register and
// the arguments as they came (whatever the service's calling convention),
// and then goes on to the service itself.
#define TORVAL_NAME(name) Q7_STRINGIFY(__USER_LABEL_PREFIX__) name
#define TORVAL_SERVICE_ENTRY(number, convention, result, parameters)            \
  extern "C" [[gnu::naked]] void torval_entry_##number() Q7_SYMBOL("torval_" #number); \
  extern "C" [[gnu::naked]] void torval_entry_##number() {                       \
    __asm__("pushl %ebp\n\t"                                                      \
            "movl %esp, %ebp\n\t"                                                 \
            "pushl %eax\n\t"                                                      \
            "pushl %ecx\n\t"                                                      \
            "pushl %edx\n\t"                                                      \
            "andl $-16, %esp\n\t"                                                 \
            "subl $12, %esp\n\t"                                                  \
            "pushl $" #number "\n\t"                                              \
            "call " TORVAL_NAME("torval_service_entered") "\n\t"                  \
            "leal -12(%ebp), %esp\n\t"                                            \
            "popl %edx\n\t"                                                       \
            "popl %ecx\n\t"                                                       \
            "popl %eax\n\t"                                                       \
            "popl %ebp\n\t"                                                       \
            "jmp " TORVAL_NAME("torval_service_" #number));                       \
  }
Q7_HOST_SERVICES(TORVAL_SERVICE_ENTRY)
#undef TORVAL_SERVICE_ENTRY

namespace {

// Whether a plan of the session names this call of the service.
int call_of(int planned) { return planned; }
int call_of(const planned_call& planned) { return planned.call; }
template <class Plan>
bool planned_at_call(const Plan& plan, uint32_t service, int call) {
  const auto found = plan.find(service);
  return found != plan.end() && call_of(found->second) == call;
}

}  // namespace

// Where every service passes first: its call is counted (for the fault plan
// and "show calls"); another thread of the host, or the host's message loop
// on this one, makes its call when the plan says so, while this one waits
// here; the service ends its thread, or raises the host's exception, at the
// planned call, before it has changed anything.
extern "C" void Q7_CDECL torval_service_entered(uint32_t service) Q7_SYMBOL("torval_service_entered");
extern "C" void Q7_CDECL torval_service_entered(uint32_t service) {
  check_entered_word("service", service);
  const char here = 0;
  measure_unwinding(&here);
  script_plan& p = plan();
  const int call = ++p.calls[service];
  if (planned_at_call(p.thread_calls, service, call)) call_from_other_thread(p.thread_calls[service].words);
  if (planned_at_call(p.loop_calls, service, call)) call_meanwhile(p.loop_calls[service].words);
  // Nothing of this frame that owns memory is alive when the thread ends or the exception leaves it.
  if (planned_at_call(p.thread_ends, service, call)) {
    say("  (service " + std::to_string(service) + " ends its thread at its call " + std::to_string(call) + ")");
    if (!platform::end_this_thread()) say("  (the session's own thread goes on)");
  }
  if (!planned_at_call(p.raises, service, call)) return;
  const auto ending = p.raise_endings.find(service);
  const platform::host_ending how = ending == p.raise_endings.end() ? platform::host_ending::unwinding : ending->second;
  say("  (service " + std::to_string(service) + " raises the host's exception at its call " + std::to_string(call) +
      (how == platform::host_ending::exit_unwind ? ", to unwind as the thread's end does)"
       : how == platform::host_ending::jump      ? ", to be ended by a jump)"
                                                 : ")"));
  if (!platform::raise_host_exception(how)) say("  (no handler of the host's would catch it: nothing raised)");
}

namespace {

// Makes the call the words name, as the host does: a key in a table's list
// (key TABLE KEY), or entry 30008 or 30001; what the transcript tells of it.
std::string make_call(const std::vector<std::string>& call) {
  plugin_module& p = neighbours().plugin;
  if (call[0] == "key") {
    table* t = find_table(std::stoi(call[1]));
    int32_t result = 0;
    const std::string told = "key " + call[2] + " in table " + call[1];
    if (!t || !t->descriptor.handler) return told + ": no key handler";
    if (!press_table_key(*t, std::stoi(call[2]), {0, 5, 7, 9, 0, 11}, result))
      return told + ": ended by the host's exception";
    return told + " -> " + std::to_string(result);
  }
  int32_t result = 0;
  bool caught;
  if (call[0] == "30008") {
    caught = call_plugin([&] { result = p.activate_or_report(std::stoi(call[1])); });
  } else {
    static char context;
    char description[128] = {};
    caught = call_plugin([&] {
      result = call[1] == "start" ? p.start_stop(&context, description) : p.start_stop(nullptr, nullptr);
    });
  }
  return call[0] + (caught ? ": ended by the host's exception" : " -> " + std::to_string(result));
}

}  // namespace

void call_from_other_thread(const std::vector<std::string>& call) {
  struct job {
    const std::vector<std::string>& call;
    std::string told;
  } j{call, ""};
  const bool returned =
      platform::run_on_other_thread([](void* p) { static_cast<job*>(p)->told = make_call(static_cast<job*>(p)->call); }, &j);
  if (!returned) {
    std::string what;
    for (const std::string& w : call) what += (what.empty() ? "" : " ") + w;
    j.told = what + ": the thread ended inside the plug-in";
  }
  say("  another thread: " + j.told);
}

void call_meanwhile(const std::vector<std::string>& call) { say("  meanwhile the message loop: " + make_call(call)); }

}  // namespace torval
