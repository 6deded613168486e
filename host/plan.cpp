#include "host/plan.h"

#include <climits>
#include <cstdlib>
#include <string_view>

#include "host/texts.h"
#include "host/transcript.h"
#include "host/world.h"

namespace torval {

script_plan& plan() {
  static script_plan state;
  return state;
}

bool failing(uint32_t service) {
  script_plan& p = plan();
  const auto found = p.faults.find(service);
  if (found == p.faults.end()) return false;
  const int call = p.calls[service];
  const fault& f = found->second;
  const bool fails = f.from_then_on ? call >= f.call : call == f.call;
  if (fails) say([&] { return "  (service " + std::to_string(service) + " fails at its call " + std::to_string(call) + ")"; });
  return fails;
}

bool behaves(const char* behaviour) { return plan().behaviours.count(std::string_view(behaviour)) != 0; }

bool answer_of(const std::vector<std::string>& w, answer& a, std::string& why) {
  static const std::pair<const char*, int> names[] = {
      {"yes", 0x5001}, {"ok", 0x5001}, {"f12", 0x5001}, {"no", 0}, {"cancel", 0x5002},
      {"abort", box_abort}, {"retry", box_retry}, {"ignore", box_ignore}};
  a = answer{};
  if (w.empty()) return why = "no answer", false;
  bool named = false;
  for (const auto& [name, code] : names)
    if (w[0] == name) a.code = code, named = true;
  if (!named) {
    char* end = nullptr;
    const long long code = std::strtoll(w[0].c_str(), &end, 0);
    if (w[0].empty() || *end || code < INT16_MIN || code > UINT16_MAX)
      return why = "\"" + w[0] + "\" is not an answer (ok, yes, no, cancel, abort, retry, ignore or a number)", false;
    a.code = static_cast<int>(code);
  }
  if (w.size() == 3 && w[1] == "value") {
    char* end = nullptr;
    const long long value = std::strtoll(w[2].c_str(), &end, 0);
    if (w[2].empty() || *end || value < INT16_MIN || value > INT16_MAX)
      return why = "\"" + w[2] + "\" is not a value of 16 bits", false;
    a.sets_value = true;
    a.value = static_cast<int>(value);
  } else if (w.size() == 4 && w[1] == "period") {
    for (const std::string& date : {w[2], w[3]})
      if (!calendar_date(date))
        return why = "\"" + date + "\" is not a date YY.MM.DD", false;
    a.period_start = w[2];
    a.period_end = w[3];
  } else if (w.size() != 1) {
    return why = "after the answer only \"value V\" or \"period START END\" may follow", false;
  }
  return true;
}

answer next_answer(int default_code, const char* what) {
  auto& answers = plan().answers;
  transcript_state& person = transcript();
  // At the terminal the person answers what no script answered.
  while (answers.empty() && person.ask) {
    std::string reply, why;
    if (!person.ask(std::string("  answer the ") + what +
                        " (ok, yes, no, cancel, abort, retry, ignore, a number; Enter: " +
                        std::to_string(default_code) + "): ",
                    reply))
      break;
    std::vector<std::string> w = split_words(reply);
    if (w.empty()) {
      reply = std::to_string(default_code);
      w = {reply};
    }
    answer a;
    if (!answer_of(w, a, why)) {
      say("  " + why);
      continue;
    }
    person.replied_steps.push_back("answer " + reply);
    return a;
  }
  if (answers.empty()) {
    say([&] {
      return std::string("  (no answer scripted for the ") + what + ": " + std::to_string(default_code) + ")";
    });
    answer a;
    a.code = default_code;
    return a;
  }
  const answer a = answers.front();
  answers.pop_front();
  return a;
}

std::string answer_text(int code) {
  static const std::pair<int, const char*> names[] = {{0x5001, "OK"}, {0x5002, "Cancel"},
                                                      {0, "No"},      {box_abort, "Abort"},
                                                      {box_retry, "Retry"}, {box_ignore, "Ignore"}};
  for (const auto& [number, name] : names)
    if (code == number) return std::to_string(code) + " (" + name + ")";
  return std::to_string(code);
}

}  // namespace torval
