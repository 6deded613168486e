// Binding of host services on their first call: thunks, resolver, error box
// and fallbacks, against the stand-in host.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "abi/host_services.h"
#include "plugin/hostlink/binding.h"
#include "plugin/hostlink/services.h"
#include "plugin/hostlink/module.h"
#include "plugin/platform/platform.h"
#include "tests/support.h"

// The thunk tables as the generated assembly lays them out.
extern "C" q7::thunk_entry q7_service_thunks[] Q7_SYMBOL("q7_service_thunks");
extern "C" const uint32_t q7_service_thunks_count Q7_SYMBOL("q7_service_thunks_count");
extern "C" q7::thunk_entry q7_test_thunks[] Q7_SYMBOL("q7_test_thunks");
extern "C" const uint32_t q7_test_thunks_count Q7_SYMBOL("q7_test_thunks_count");

// Thunks of tests/test_services.list.
extern "C" {
int32_t Q7_CDECL test_svc_20499(int32_t, int32_t) Q7_SYMBOL("test_svc_20499");
int32_t Q7_STDCALL test_svc_30908(const char*, const char*) Q7_SYMBOL("test_svc_30908");
int16_t Q7_CDECL test_svc_52029(const char*, const char*, int32_t, ...) Q7_SYMBOL("test_svc_52029");
int32_t Q7_STDCALL test_svc_51594() Q7_SYMBOL("test_svc_51594");
q7::table_descriptor* Q7_STDCALL test_svc_52256(int32_t) Q7_SYMBOL("test_svc_52256");
int32_t Q7_STDCALL test_svc_20001(uint32_t*) Q7_SYMBOL("test_svc_20001");
int32_t Q7_CDECL q7_call_with_registers(void* function, const uint32_t registers[8], void* argument)
    Q7_SYMBOL("q7_call_with_registers");
int32_t Q7_CDECL q7_bytes_removed(void* function, int32_t a, int32_t b, int32_t* result)
    Q7_SYMBOL("q7_bytes_removed");
extern char q7_probe_return[] Q7_SYMBOL("q7_probe_return");
}

namespace q7 {
namespace {

using test::step;
using test::transcript_of;

template <class Function>
void* address(Function f) {
  return reinterpret_cast<void*>(f);
}

thunk_entry& test_entry(uintptr_t number) {
  for (uint32_t i = 0; i < q7_test_thunks_count; ++i)
    if (q7_test_thunks[i].service == number) return q7_test_thunks[i];
  throw std::logic_error("no such test thunk");
}

// Calls a thunk expecting the call to be abandoned; true when it was.
template <class Call>
bool abandoned(Call call) {
  return !guarded(call);
}

// A notification hook that records what it is told and decides nothing, and
// a library that has every function.
std::vector<unsigned> notifications;
void* answer_at_start;  // what the hook hands back at the start of processing
void* Q7_STDCALL recording_hook(unsigned notification, q7_delay_load_info*) {
  notifications.push_back(notification);
  return notification == dli_start_processing ? answer_at_start : nullptr;
}
char library_module;
int Q7_STDCALL library_box(void*, const char*, const char*, unsigned) { return 1; }
int Q7_STDCALL hook_box(void*, const char*, const char*, unsigned) { return 2; }  // the host's own
void* load_library(const char*) { return &library_module; }
void* find_in_library(void*, const q7_delay_load_info&) { return address(&library_box); }
void release_library(void*) {}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// Every slot as the module holds it when loaded: leading to its binder.
std::vector<void*> slots_of(const thunk_entry* entries, uint32_t count) {
  std::vector<void*> slots;
  for (uint32_t i = 0; i < count; ++i) slots.push_back(entries[i].slot);
  return slots;
}
const std::vector<void*> unbound_service_slots = slots_of(q7_service_thunks, q7_service_thunks_count);
const std::vector<void*> unbound_test_slots = slots_of(q7_test_thunks, q7_test_thunks_count);

// Bound slots and the ignore-all flag last for the module's life: each test
// starts from a module as loaded, and a host with every service and no
// answers left, whether ctest runs it in a process of its own or a person
// runs them all in one.
class Binding : public ::testing::Test {
 protected:
  void SetUp() override {
    test::attach_plugin_code();
    for (uint32_t i = 0; i < q7_service_thunks_count; ++i) q7_service_thunks[i].slot = unbound_service_slots[i];
    for (uint32_t i = 0; i < q7_test_thunks_count; ++i) q7_test_thunks[i].slot = unbound_test_slots[i];
    module.ignore_missing_services = 0;
    step("withdraw clear");
    step("fail clear");
    test::forget_host_lookups();
  }
};

TEST_F(Binding, AServiceTheHostHasIsLookedUpOnceAndThenCalledStraight) {
  thunk_entry& entry = test_entry(51594);
  const void* binder = entry.slot;
  EXPECT_EQ(test_svc_51594(), 112);
  const void* bound = entry.slot;
  EXPECT_NE(bound, binder);
  EXPECT_EQ(test_svc_51594(), 112);
  EXPECT_EQ(test_svc_51594(), 112);
  EXPECT_EQ(entry.slot, bound);
  const int lookups = test::host_lookups(51594);
  if (lookups >= 0) {
    EXPECT_EQ(lookups, 1);
  }
  EXPECT_EQ(bound, platform::find_export(module.host_module, reinterpret_cast<const char*>(51594)));
}

TEST_F(Binding, TheThunkIsTransparentOnItsFirstAndLaterCalls) {
  const uint32_t registers[8] = {0x11111111, 0x22222222, 0x33333333, 0x44444444,
                                 0x55555555, 0x66666666, 0x77777777, 0x08D5};
  for (int call = 0; call < 2; ++call) {
    SCOPED_TRACE(call == 0 ? "binding call" : "bound call");
    uint32_t seen[9] = {};
    EXPECT_EQ(q7_call_with_registers(address(&test_svc_20001), registers, seen), 0x600D);
    for (int r = 0; r < 7; ++r) EXPECT_EQ(seen[r], registers[r]) << "register " << r;
    EXPECT_EQ(seen[7] & 0x0DD5, registers[7]) << "flags";
    EXPECT_EQ(seen[8], reinterpret_cast<uintptr_t>(q7_probe_return)) << "return address";
  }
}

TEST_F(Binding, TheErrorBoxTextIsExactAndCarriesNoMarkup) {
  step("answer abort");
  const std::string shown = transcript_of([] { EXPECT_EQ(binding_error_box(20499, "MODUL"), 0); });
  EXPECT_EQ(shown,
            "  Windows box \"POWAŻNY BŁĄD WTYCZKI\" style 0x2012:\n"
            "  | W module  MODUL \n"
            "  | brak wpisu  20499 \n"
            "  | Wywołano z wtyczki  Ogrody działkowe. Ctrl-B/C w spisie firm. Ctrl-A w kasie. .\n"
            "  | \n"
            "  | Błąd ten można zignorować lecz dalsza praca\n"
            "  | programu w tych warunkach może być niebezpieczna.\n"
            "  | \n"
            "  | Konieczna jest aktualizacja programu!\n"
            "  -> 3 (Abort)\n");
  EXPECT_FALSE(ignoring_missing_services());
}

TEST_F(Binding, RetryShowsTheSameBoxAgainWithoutANewLookup) {
  step("answer retry");
  step("answer retry");
  step("answer abort");
  const std::string shown =
      transcript_of([] { EXPECT_TRUE(abandoned([] { test_svc_20499(1, 2); })); });
  EXPECT_EQ(count(shown, "Windows box"), 3);
  const int lookups = test::host_lookups(20499);
  if (lookups >= 0) {
    EXPECT_EQ(lookups, 1);
  }
}

TEST_F(Binding, AbortEmptiesTheSlotAndEveryLaterCallFailsWithoutABox) {
  step("answer abort");
  EXPECT_TRUE(abandoned([] { test_svc_20499(1, 2); }));
  const std::string later = transcript_of([] {
    EXPECT_TRUE(abandoned([] { test_svc_20499(1, 2); }));
    EXPECT_TRUE(abandoned([] { test_svc_20499(3, 4); }));
  });
  EXPECT_EQ(later, "");
  EXPECT_NE(test_entry(20499).slot, nullptr);  // never a jump to null
}

TEST_F(Binding, IgnoreGivesFallbacksOfTheRightSizeAndSilencesLaterBoxes) {
  step("answer ignore");
  int32_t result = -1;
  // A service whose caller removes the arguments: nothing removed, 0 answered.
  const std::string first = transcript_of(
      [&] { EXPECT_EQ(q7_bytes_removed(address(&test_svc_20499), 7, 8, &result), 0); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(count(first, "Windows box"), 1);
  EXPECT_TRUE(ignoring_missing_services());
  // 30908 removes its two arguments; after Ignore no box is shown.
  step("withdraw 30908");
  result = -1;
  const std::string second = transcript_of(
      [&] { EXPECT_EQ(q7_bytes_removed(address(&test_svc_30908), 7, 8, &result), 8); });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(second, "");
}

TEST_F(Binding, NoFallbackFitsAndAFallbackOfAnotherSizeIsNotBound) {
  step("answer ignore");
  step("withdraw 52029");
  step("withdraw 52256");
  EXPECT_TRUE(abandoned([] { test_svc_52029("a", "b", 1); }));  // 29: no fallback
  EXPECT_TRUE(abandoned([] { test_svc_52256(35); }));           // 56 bytes would not fit 4
  EXPECT_TRUE(abandoned([] { test_svc_52256(35); }));
  EXPECT_EQ(fallback_index(test_entry(52256).slot), -1);
}

TEST_F(Binding, AMissingConverterIsNotUsedByTheBoxThatReportsIt) {
  step("withdraw 52158");
  step("answer abort");  // the box for 52158, shown while converting the box for 20499
  step("answer abort");  // the box for 20499
  const std::string shown =
      transcript_of([] { EXPECT_TRUE(abandoned([] { test_svc_20499(1, 2); })); });
  EXPECT_EQ(count(shown, "Windows box \"POWAŻNY BŁĄD WTYCZKI\""), 2);
  const std::size_t box_52158 = shown.find("brak wpisu  52158 ");
  const std::size_t box_20499 = shown.find("brak wpisu  20499 ");
  ASSERT_NE(box_52158, std::string::npos);
  ASSERT_NE(box_20499, std::string::npos);
  EXPECT_LT(box_52158, box_20499);
  EXPECT_NE(shown.find("Wywołano z wtyczki  Ogrody działkowe."), std::string::npos);
}

TEST_F(Binding, FallbackRuleForNumbers) {
  auto rule = [](uintptr_t number) {
    void* slot = reinterpret_cast<void*>(1);
    apply_fallback_rule(number, &slot);
    return fallback_index(slot) >= 0 ? fallback_index(slot) : (slot ? -2 : -1);
  };
  EXPECT_EQ(rule(20499), 0);
  EXPECT_EQ(rule(30908), 2);
  EXPECT_EQ(rule(30204), 1);
  EXPECT_EQ(rule(50516), 4);
  EXPECT_EQ(rule(50800), 0);
  EXPECT_EQ(rule(20056), 14);
  EXPECT_EQ(rule(20060), -1);
  EXPECT_EQ(rule(52158), -1);
  EXPECT_EQ(rule(52029), -1);
}

TEST_F(Binding, FallbackRuleForNames) {
  auto rule = [](const char* name) {
    void* slot = reinterpret_cast<void*>(1);
    apply_fallback_rule(reinterpret_cast<uintptr_t>(name), &slot);
    return fallback_index(slot) >= 0 ? fallback_index(slot) : (slot ? -2 : -1);
  };
  EXPECT_EQ(rule("_Function@12"), 3);
  EXPECT_EQ(rule("Function"), 0);
  EXPECT_EQ(rule("Function@x4"), 0);
  EXPECT_EQ(rule("Function@"), 0);
  EXPECT_EQ(rule("A@8@64"), -1);
  EXPECT_EQ(rule("A@64@8"), 2);
  EXPECT_EQ(rule("A@59"), 14);
  EXPECT_EQ(rule("A@99999999999999999999999"), -1);
}

TEST_F(Binding, AMissingNameIsReportedByNameAndBoundToItsFallback) {
  step("answer ignore");
  void* slot = nullptr;
  const std::string shown = transcript_of(
      [&] { resolve_service(reinterpret_cast<uintptr_t>("_Function@12"), &slot); });
  EXPECT_EQ(fallback_index(slot), 3);
  EXPECT_NE(shown.find("brak wpisu  _Function@12 "), std::string::npos);
}

TEST_F(Binding, AVeryLongNameIsCutRatherThanOverrunningTheMessage) {
  step("answer abort");
  const std::string name(5000, 'N');
  const std::string shown = transcript_of(
      [&] { EXPECT_EQ(binding_error_box(reinterpret_cast<uintptr_t>(name.c_str()), nullptr), 0); });
  EXPECT_NE(shown.find("brak wpisu  " + std::string(256, 'N') + " \n"), std::string::npos);
}

TEST_F(Binding, TheDelayLoadHookIsToldEveryStepOfALateBindingInOrder) {
  const delay_load_hook host_hook = __pfnDliNotifyHook2;
  __pfnDliNotifyHook2 = &recording_hook;
  notifications.clear();
  void* module_slot = nullptr;
  void* function_slot = nullptr;
  q7_delay_load_info info{};
  info.size = sizeof info;
  info.function_slot = &function_slot;
  info.dll_name = "user32.dll";
  info.import_by_name = 1;
  info.proc_name = "MessageBoxA";
  const platform::late_library library{&load_library, &find_in_library, &release_library};
  answer_at_start = nullptr;
  void* const bound = platform::bind_late_function(info, &module_slot, library);
  EXPECT_EQ(notifications, (std::vector<unsigned>{dli_start_processing, dli_note_pre_load_library,
                                                  dli_note_pre_get_proc_address, dli_note_end_processing}));
  EXPECT_EQ(bound, address(&library_box));
  EXPECT_EQ(function_slot, bound);
  EXPECT_EQ(module_slot, &library_module);

  // A function the hook hands back at the start serves that call only: the
  // slot is left as it was, and the hook is asked again at the next call.
  answer_at_start = address(&hook_box);
  notifications.clear();
  function_slot = nullptr;
  for (int call = 0; call < 2; ++call)
    EXPECT_EQ(platform::bind_late_function(info, &module_slot, library), answer_at_start);
  EXPECT_EQ(function_slot, nullptr);
  EXPECT_EQ(notifications, (std::vector<unsigned>{dli_start_processing, dli_note_end_processing,
                                                  dli_start_processing, dli_note_end_processing}));
  answer_at_start = nullptr;
  __pfnDliNotifyHook2 = host_hook;
}

}  // namespace
}  // namespace q7
