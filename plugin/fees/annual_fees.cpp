// Ctrl-B in the list of firms: the yearly fees of the plot under the cursor,
// checked in form 1001, whose hook recomputes them as the rates are edited,
// and posted into the holder's ledger.
#include "abi/form_template.h"
#include "abi/mazovia.h"
#include "plugin/fees/commands.h"
#include "plugin/fees/fee_rules.h"
#include "plugin/fees/form_templates.h"
#include "plugin/fees/rates.h"
#include "plugin/hostlink/way_in.h"
#include "plugin/text/decimal_text.h"

namespace q7 {
namespace {

// Event hook of form 1001: marks the prepayments the plot bears when the
// form is set up (event -2) and recomputes the fees after each edit (event 0).
int32_t Q7_STDCALL fee_form_hook(int32_t, int32_t event) {
  // The hook is a way in of its own: the host's forms engine stands between
  // it and the command that showed the form. What is abandoned here leaves
  // the form as it is.
  from_host(call_kind::call, [&] {
    // A scratch sheet of the hook's own: the form data record the command
    // handed to the forms engine is never touched from here.
    fee_sheet scratch{};
    switch (static_cast<int16_t>(event & 0xFFFF)) {
      case forms::event_setup:
        svc_52040_exchange_form_data(&scratch, forms::form_to_record);
        if (letters_call_for(scratch.fee_letters, 'r')) svc_52034_set_item_state(water_fee_marker, forms::state_hidden, forms::bits_on);
        if (letters_call_for(scratch.fee_letters, 'e')) svc_52034_set_item_state(energy_fee_marker, forms::state_hidden, forms::bits_on);
        break;
      case forms::event_changed:
        svc_52040_exchange_form_data(&scratch, forms::form_to_record);
        compute_plot_fees(scratch);
        svc_52040_exchange_form_data(&scratch, forms::record_to_form);
        svc_52034_set_item_state(forms::all_items, forms::state_redraw, forms::bits_on);
        break;
      default:
        break;
    }
  });
  return 0;
}

}  // namespace

void generate_annual_fees(plot_command& command) {
  if (!take_plot_under_cursor(command)) return;
  const plot_record& plot = command.record_buffer();
  // An area the fee sheet cannot hold would give a wrong fee, negative even:
  // the plot is left out, and the bookkeeper told which and why.
  if (!area_in_range(plot)) {
    formatted_message({"uwaga"},
                      MZ("Działka nr \x02%d\x01 ma powierzchnię %d m2,\n"
                         "poza zakresem od 0 do 32767 m2.\nNie naliczono opłat."),
                      host_values::style_message, static_cast<int>(read_plot_number(plot.plot_no_text, sizeof plot.plot_no_text)),
                      static_cast<int>(plot.area_milli / 1000));
    return;
  }
  fee_sheet sheet{};
  read_rates(sheet);
  fill_fee_sheet(sheet, plot);
  compute_plot_fees(sheet);
  if (svc_52026_show_form(form_template_block.data(), annual_fees_form, &sheet, &fee_form_hook, host_values::unused) !=
      confirmed)
    return;
  // A form that hands back a rate it never accepts (not a number, or beyond
  // its limits) was not confirmed: such a rate would post a fee of no meaning.
  if (!within_form_limits(sheet.plot_rate) || !within_form_limits(sheet.water_rate) ||
      !within_form_limits(sheet.energy_rate) || !within_form_limits(sheet.membership_fee))
    return;

  // The confirmed rates become the defaults of the next run and of the simulation.
  save_rates(sheet);
  compute_plot_fees(sheet);
  if (!open_holder_ledger(command)) return;

  char title[256];
  posting_title(title, MZ("%d Opłata - użytkowanie"));
  post(command, title, sheet.usage_fee, sheet.usage_line);
  if (!is_zero_amount(sheet.energy_fee)) {
    posting_title(title, MZ("%d Opłata za energię"));
    post(command, title, sheet.energy_fee, sheet.energy_line);
  }
  if (!is_zero_amount(sheet.water_fee)) {
    posting_title(title, MZ("%d Opłata za wodę"));
    post(command, title, sheet.water_fee, sheet.water_line);
  }
  if (!is_zero_amount(sheet.heating_fee)) {
    posting_title(title, MZ("%d Opłata za CO"));
    post(command, title, sheet.heating_fee, sheet.heating_line);
  }
  posting_title(title, MZ("%d Opłata członkowska"));
  post(command, title, sheet.membership_fee, sheet.membership_line);

  close_opened(command);
  tell_posted_total(command, MZ("Wpisano opłatę w kwocie \x02%.2f\x01\n"), MZ("Nie naliczono opłat"));
}

}  // namespace q7
