#include "host/host.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

#include "host/file_store.h"

namespace torval {
namespace {

void say_lines(const std::string& text) {
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    say("  | " + text.substr(start, end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
}

}  // namespace

host_state& host() {
  static host_state state;
  return state;
}

// Each line is written out as it is said, so that whatever happens later
// the transcript so far is kept.
void say(const std::string& line) {
  if (host().quiet) return;
  host().transcript += line;
  host().transcript += '\n';
  if (FILE* stream = host().transcript_stream) {
    std::fwrite(line.data(), 1, line.size(), stream);
    std::fputc('\n', stream);
    std::fflush(stream);
  }
}



void say_text(const char* mazovia_text) {
  if (!host().quiet) say_lines(from_mazovia(mazovia_text));
}

void say_windows_text(const char* windows_text) {
  if (!host().quiet) say_lines(plugin_display_path(from_windows_1250(windows_text)));
}


bool behaves(const char* behaviour) { return host().behaviours.count(std::string_view(behaviour)) != 0; }

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
  auto& answers = host().answers;
  // At the terminal the person answers what no script answered.
  while (answers.empty() && host().ask) {
    std::string reply, why;
    if (!host().ask(std::string("  answer the ") + what +
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
    host().replied_steps.push_back("answer " + reply);
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

std::vector<std::string> split_words(const std::string& line) {
  // White space as the C locale has it; a string stream would do the same,
  // slowly, with its locale.
  const auto space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  std::vector<std::string> out;
  for (std::size_t i = 0; i < line.size();) {
    while (i < line.size() && space(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !space(line[i])) ++i;
    if (i > start) out.push_back(line.substr(start, i - start));
  }
  return out;
}

std::string answer_text(int code) {
  static const std::pair<int, const char*> names[] = {{0x5001, "OK"}, {0x5002, "Cancel"},
                                                      {0, "No"},      {box_abort, "Abort"},
                                                      {box_retry, "Retry"}, {box_ignore, "Ignore"}};
  for (const auto& [number, name] : names)
    if (code == number) return std::to_string(code) + " (" + name + ")";
  return std::to_string(code);
}

bool failing(uint32_t service) {
  const auto found = host().faults.find(service);
  if (found == host().faults.end()) return false;
  const int call = host().calls[service];
  const fault& f = found->second;
  const bool fails = f.from_then_on ? call >= f.call : call == f.call;
  if (fails) say([&] { return "  (service " + std::to_string(service) + " fails at its call " + std::to_string(call) + ")"; });
  return fails;
}

bool traced(uint32_t service) { return host().traced.count(service) != 0; }

std::string amount_text(double scaled) {
  const c_numbers in_c;
  char text[64];
  std::snprintf(text, sizeof text, "%.2f", scaled / q7::amount_scale);
  return text;
}

bool day_number(const char* date, long& days) {
  int yy, mm, dd;
  char dot1, dot2;
  if (std::sscanf(date, "%2d%c%2d%c%2d", &yy, &dot1, &mm, &dot2, &dd) != 5 || dot1 != '.' ||
      dot2 != '.' || mm < 1 || mm > 12 || dd < 1 || dd > 31)
    return false;
  // Two-digit years: 80 to 99 are of the last century.
  long y = (yy >= 80 ? 1900 : 2000) + yy - (mm <= 2);
  const long era = y / 400;
  const long year_of_era = y - era * 400;
  const long day_of_year = (153 * (mm + (mm > 2 ? -3 : 9)) + 2) / 5 + dd - 1;
  const long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  days = era * 146097 + day_of_era - 719468;
  return true;
}

bool calendar_date(const std::string& date) {
  long day;
  if (date.size() != 8 || date[2] != '.' || date[5] != '.' ||
      date.find_first_not_of("0123456789.") != std::string::npos || !day_number(date.c_str(), day))
    return false;
  const int yy = std::atoi(date.c_str()), mm = std::atoi(date.c_str() + 3), dd = std::atoi(date.c_str() + 6);
  const int year = (yy >= 80 ? 1900 : 2000) + yy;
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return dd <= days[mm - 1] + (mm == 2 && leap);
}

std::string plugin_display_path(const std::string& text) {
  const std::string& folder = host().plugin_folder;
  if (folder.empty()) return text;
  std::string out = text;
  for (std::size_t at; (at = out.find(folder)) != std::string::npos;)
    out.replace(at, folder.size(), "<plugin dir>");
  return out;
}

}  // namespace torval
