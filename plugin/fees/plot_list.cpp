// The key handler of the plot table (the list of firms) and the dispatch of
// its four commands.
#include "abi/records.h"
#include "plugin/fees/commands.h"
#include "plugin/list_handlers.h"
#include "plugin/fees/plot_command.h"
#include "plugin/hostlink/module.h"
#include "plugin/hostlink/way_in.h"

namespace q7 {
namespace {

// Runs the command of the key; true when it completed what finishes the key.
bool run_command_of_key(plot_command& command) {
  command.plot_table = svc_52256_table_descriptor(plot_table_no);
  command.ledger_table = svc_52256_table_descriptor(ledger_table_no);
  // Without both descriptors no command can run.
  if (!command.plot_table || !command.ledger_table) return false;
  switch (command.call.key) {
    case key_ctrl_c:
      simulate_fee_generation(command);
      break;
    case key_ctrl_b:
      generate_annual_fees(command);
      break;
    case key_ctrl_a:
      record_previous_year_debts(command);
      break;
    case key_ctrl_w:
      return charge_entry_fees(command);
    default:
      break;
  }
  return false;
}

// Runs the command of the key, if it has one; true when the key is finished
// and must not be passed on.
bool run_plot_command(const key_call& call) {
  bool finished = false;
  from_host(call_kind::command, [&] {
    plot_command command{call};
    bool completed = false;
    // A command that had to be abandoned, or that the host unwound, closes
    // what it opened as its normal end does, from wherever it stopped; one
    // abandoned passes the key on like one that stopped.
    const bool ran = guarded_closing([&] { completed = run_command_of_key(command); },
                                     [&] { close_opened(command, command.how_closed); });
    finished = ran && completed;
  });
  return finished;
}

}  // namespace

int32_t Q7_STDCALL plot_list_handler(int32_t key, uint16_t a2, int32_t* record_count, char** rows,
                                     int32_t a5, table_descriptor* table, int32_t a7, FILE* file,
                                     int32_t a9, uint16_t a10, int32_t a11) {
  const key_call call{key, a2, record_count, rows, a5, table, a7, file, a9, a10, a11};
  // A key that arrives while a command runs, or from a second thread, runs
  // nothing of the plug-in's and is passed on at once.
  if (run_plot_command(call)) return 1;
  return call.pass_on(module.previous_plot_handler);
}

}  // namespace q7
