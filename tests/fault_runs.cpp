#include "tests/fault_runs.h"

#include <cstring>
#include <fstream>
#include <regex>
#include <set>

#include "abi/mazovia.h"
#include "abi/records.h"
#include "host/host.h"
#include "tests/support.h"

namespace q7::test::faults {
namespace {

namespace fs = std::filesystem;

const std::string data = std::string(Q7_SOURCE_DIR) + "/tests/sessions/data/";

}  // namespace

const std::vector<command> commands{
    {"annual fees",
     {"edit (4) Stawka opłaty działka: = 0.50", "answer ok"},
     "key 35 2",
     passes_key::always,
     false,
     {"2011 Opłata - użytkowanie", "2011 Opłata za energię", "2011 Opłata za wodę",
      "2011 Opłata za CO", "2011 Opłata członkowska"},
     {52287, 32500, 52290}},
    {"simulation", {"answer yes"}, "key 35 3", passes_key::always, true, {}, {52178, 52283}},
    {"previous-year debts",
     {"edit Woda zaliczka: = 20", "edit Prąd poprzedni rok: = 0", "answer ok"},
     "key 35 1",
     passes_key::always,
     false,
     {"2011 Woda poprzedni rok", "2011 Woda zaliczka", "2011 Prąd poprzedni rok",
      "2011 Prąd zaliczka"},
     {52154, 52288}},
    {"entry fees",
     {"edit Wpisowe: = 300", "answer ok"},
     "key 35 23",
     passes_key::unless_completed,
     false,
     {"2011 Wpisowe", "2011 Inwestycyjne"},
     {52026, 52302}},
    {"payments report",
     {"answer yes", "answer ok period 11.02.01 11.02.28", "answer yes"},
     "key 28 1",
     passes_key::never,
     false,
     {},
     {52407, 33197}},
};


// The files of a working folder by their path within it ("./plots.dat").
files read_files(const fs::path& folder) {
  files all;
  std::error_code error;
  for (const auto& item : fs::recursive_directory_iterator(folder, error)) {
    if (!item.is_regular_file()) continue;
    std::ifstream in(item.path(), std::ios::binary);
    all["./" + fs::relative(item.path(), folder, error).generic_string()] =
        std::string(std::istreambuf_iterator<char>(in), {});
  }
  return all;
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The data every run starts from: plots, cash documents, and the ledger of
// the plot under the cursor with earlier postings, a free entry, an entry
// without a stamp, and two entries of the same title.
const std::vector<std::string> data_steps{
    "fail clear",
    "ledgers clear",
    "year 2011",
    "date 11.03.15",
    "plots " + data + "plots.csv",
    "cash " + data + "cash.csv",
    "ledger 1 entry stamp=5 amount=10 paid=4 title=2010 Opłata - użytkowanie",
    "ledger 1 entry stamp=6 amount=114 title=2011 Opłata - użytkowanie",
    "ledger 1 entry stamp=0 amount=0 title=wolny",
    "ledger 1 entry stamp=0 amount=40 title=2011 Woda poprzedni rok",
    "ledger 1 entry stamp=8 amount=300 title=2011 Wpisowe",
    "ledger 1 entry stamp=9 amount=301 title=2011 Wpisowe",
    "cursor 0"};

void lay_out_data() {
  for (const std::string& s : data_steps) step(s);
}

std::string text_of(const ledger_entry& entry) {
  return std::string(entry.title, strnlen(entry.title, sizeof entry.title));
}

// Entries the command does not post stay byte for byte; it never removes one.
void check_ledgers(const files& before, const files& after, const command& c, std::string& faults) {
  std::set<std::string> titles;
  for (const std::string& t : c.titles) titles.insert(torval::to_mazovia(t));
  for (const auto& [name, now] : after) {
    if (name.find("ledgers/") == std::string::npos) continue;
    const auto old_file = before.find(name);
    const std::string old = old_file == before.end() ? "" : old_file->second;
    if (now.size() < old.size()) faults += name + " lost entries; ";
    for (std::size_t at = 0; at + sizeof(ledger_entry) <= now.size(); at += sizeof(ledger_entry)) {
      ledger_entry was{}, is{};
      std::memcpy(&is, now.data() + at, sizeof is);
      const bool existed = at + sizeof(ledger_entry) <= old.size();
      if (existed) std::memcpy(&was, old.data() + at, sizeof was);
      if (existed && std::memcmp(&was, &is, sizeof is) == 0) continue;
      const bool was_free = !existed || (was.stamp == 0 && was.amount > -0.00001 && was.amount < 0.00001);
      if (!titles.count(text_of(is)) || (!was_free && !titles.count(text_of(was))))
        faults += name + " entry " + std::to_string(at / sizeof(ledger_entry)) + " changed; ";
    }
  }
}

// The plot file changes only in the columns the simulation writes; no
// temporary file is left behind.
void check_plots(const files& before, const files& after, const command& c, std::string& faults) {
  for (const auto& [name, bytes] : after)
    if (name.ends_with(".tmp")) faults += name + " left behind; ";
  const std::string& old = before.at("./plots.dat");
  std::string now = after.at("./plots.dat");
  if (now.size() != old.size()) return void(faults += "plots.dat changed its size; ");
  if (c.writes_plot_columns)
    for (std::size_t at = 0; at < now.size(); at += sizeof(plot_record))
      std::memcpy(&now[at + offsetof(plot_record, kwota1)], &old[at + offsetof(plot_record, kwota1)], 8);
  if (now != old) faults += "plots.dat changed outside kwota1 and kwota2; ";
}

void check_transcript(const std::string& run, const command& c, std::string& faults, uint32_t missing,
                      bool host_ended) {
  std::smatch m;
  if (!std::regex_search(run, m, std::regex("audit: totals match the files; (nothing left open|LEFT OPEN); stored (-?[0-9.]+) in")))
    return void(faults += "totals differ from the files; ");
  // What is left open may only be what the missing service would have closed.
  std::string rest = run;
  std::smatch open;
  const std::regex left("audit: (the ledger|a pass|changes)[^\n]*left (open|unended)");
  for (; std::regex_search(rest, open, left); rest = open.suffix()) {
    const bool explained = (open[1] == "the ledger" && missing == 52302) ||
                           (open[1] == "a pass" && missing == 52283) ||
                           (open[1] == "changes" && (missing == 52298 || missing == 52283 || missing == 52302));
    if (!explained) faults += std::string(open[0]) + "; ";
  }
  if (run.find("that were never begun") != std::string::npos && missing != 52297) faults += "changes ended, never begun; ";
  std::regex_search(run, m, std::regex("stored (-?[0-9.]+) in [0-9]+ ledger entries"));
  const std::string stored = m[1];
  // Every message the commands show, word for word, with what it must agree
  // with: a message of any other wording fails the run.
  static const std::regex posted("^Wpisano (opłatę|zadłużenia) w kwocie ␂(-?[0-9.]+)␁$");
  static const std::regex nothing_posted("^(Nie naliczono opłat|Nie wpisano zadłużeń)$");
  static const std::regex simulated("^Symulowane całościowe zadłużenie wyniesie: ␂(-?[0-9.]+) \\((-?[0-9.]+)\\)((?:␁)?)$");
  static const std::regex sheet_unwritten("^Nie udało się zapisać pliku dla arkusza kalkulacyjnego:$");
  static const std::regex plot_totals("plot column totals (-?[0-9.]+) \\((-?[0-9.]+)\\)");
  static const std::regex fails("\\(service (52286|52287|52288) fails at its call");
  // A result that covers less than it would have, had the host read and
  // written every record, says so: a refused posting is counted, a dry run
  // or a report that stopped early says where.
  std::set<std::string> failed;
  for (auto it = std::sregex_iterator(run.begin(), run.end(), fails); it != std::sregex_iterator(); ++it)
    failed.insert((*it)[1]);
  const bool refused = failed.count("52287") || failed.count("52288");
  const std::string refused_line = "Nie zaksięgowano pozycji, których program nie zapisał: ␂1␁";
  bool completed = false;
  const std::string shown = "  message \"uwaga\" style 1:\n  | ";
  for (std::size_t at = run.find(shown); at != std::string::npos; at = run.find(shown, at + 1)) {
    std::vector<std::string> lines;  // the message's lines
    for (std::size_t from = at + shown.size() - 4; run.compare(from, 4, "  | ") == 0;) {
      const std::size_t end = run.find('\n', from);
      lines.push_back(run.substr(from + 4, end - from - 4));
      from = end + 1;
    }
    const std::string& line = lines[0];
    const std::string second = lines.size() > 1 ? lines[1] : "";
    std::smatch said, totals;
    if (std::regex_match(line, said, posted)) {
      completed = true;
      if (said[2] != stored) faults += "the message reports " + std::string(said[2]) + ", the host stored " + stored + "; ";
      if ((second == refused_line) != refused) faults += "the refused posting is not told, or told wrongly; ";
    } else if (std::regex_match(line, said, nothing_posted)) {
      completed = said[1] == "Nie wpisano zadłużeń";
      if (stored != "0.00") faults += "nothing reported, yet " + stored + " stored; ";
      if ((second == refused_line) != refused) faults += "the refused posting is not told, or told wrongly; ";
    } else if (std::regex_match(line, said, simulated)) {
      if (!std::regex_search(run, totals, plot_totals) || said[1] != totals[1] || said[2] != totals[2])
        faults += "the simulation reports other totals than the columns hold; ";
      const bool stopped = failed.count("52286") || failed.count("52287");
      const bool told = lines.size() > 1 && lines[1].starts_with("Symulacja przerwana");
      if (told != stopped || (said[3] == "") != (lines.size() == 1))
        faults += "the simulation's stop is not told, or told wrongly; ";
    } else if (line == "Raport jest ␂NIEPEŁNY␁.") {
      if (!failed.count("52286")) faults += "a complete report told incomplete; ";
    } else if (!std::regex_match(line, sheet_unwritten)) {
      faults += "a message of another wording: " + line + "; ";
    }
  }
  // A report whose scan stopped and that reached its view says it is incomplete.
  if (c.passing == passes_key::never && failed.count("52286") && run.find("report \"Raport\"") != std::string::npos &&
      run.find("Raport jest ␂NIEPEŁNY␁.") == std::string::npos)
    faults += "an incomplete report not told; ";

  if (host_ended) {
    // However the host ended the report, the cash desk heard of its end.
    if (c.passing == passes_key::never &&
        run.find("end of the cash-desk command (-5)", run.rfind("raises the host's exception")) == std::string::npos)
      faults += "33197 was not made after the host ended the report; ";
    return;
  }
  const bool passed = run.find("host's handler of table") != std::string::npos;
  switch (c.passing) {
    case passes_key::always:
      if (!passed) faults += "the key was not passed on; ";
      break;
    case passes_key::unless_completed:
      if (passed == completed) faults += "the key was passed on although completed, or not at all; ";
      if (completed && run.find("handler -> 1\n") == std::string::npos) faults += "did not answer 1; ";
      break;
    case passes_key::never: {
      if (passed) faults += "the key was passed on; ";
      const std::string end = "  end of the cash-desk command (-5)\n  handler -> 0\n";
      if (missing != 33197 && run.find(end) == std::string::npos) faults += "33197 was not the last call; ";
      break;
    }
  }
  if (run.find("handler -> ") == std::string::npos) faults += "the handler did not return; ";
}

// Runs the command once on the data laid out, with the faults given; the
// transcript of the run.
std::string run_command(const command& c, const std::vector<std::string>& faults) {
  step("transcript clear");
  for (const std::string& f : faults) step(f);
  return test::transcript_of([&] {
    for (const std::string& a : c.answers) step(a);
    step(c.key);
    step("audit");
    step("show calls");
  });
}

std::map<uint32_t, int> calls_in(const std::string& run) {
  std::map<uint32_t, int> calls;
  std::smatch m;
  std::string rest = run.substr(run.rfind("calls:"));
  for (std::regex one("([0-9]+)x([0-9]+)"); std::regex_search(rest, m, one); rest = m.suffix())
    calls[static_cast<uint32_t>(std::stoul(m[1]))] = std::stoi(m[2]);
  return calls;
}

}  // namespace q7::test::faults
