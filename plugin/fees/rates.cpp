#include "plugin/fees/rates.h"

#include <cmath>
#include <cstring>

#include "abi/form_template.h"
#include "plugin/hostlink/services.h"

namespace q7 {
namespace {

// Defaults of "Stawki" in its own order: plot rate, water rate, membership
// fee, energy rate (0.38, 0.42, 6.00, 10.00).
constexpr double default_rates[4] = {3800.0, 4200.0, 60000.0, 100000.0};

}  // namespace

bool within_form_limits(double amount) {
  return std::isfinite(amount) && amount >= forms::amount_min && amount <= forms::amount_max;
}

void read_rates(fee_sheet& sheet) {
  // Starts from the defaults, so that a host filling fewer than four leaves no
  // rate undefined.
  double rates[4];
  std::memcpy(rates, default_rates, sizeof rates);
  const bool read = configuration(host_values::setting_read_doubles, settings_section, "Stawki", "%f,%f,%f,%f", &rates[0],
                                  &rates[1], &rates[2], &rates[3]) == 0;
  // A setting that holds something other than four rates the form would
  // accept counts as unreadable: a rate out of those limits could make a fee
  // infinite.
  const bool usable = read && within_form_limits(rates[0]) && within_form_limits(rates[1]) &&
                      within_form_limits(rates[2]) && within_form_limits(rates[3]);
  if (!usable) std::memcpy(rates, default_rates, sizeof rates);
  sheet.plot_rate = rates[0];
  sheet.water_rate = rates[1];
  sheet.membership_fee = rates[2];
  sheet.energy_rate = rates[3];
}

void save_rates(const fee_sheet& sheet) {
  configuration(host_values::setting_write_doubles, settings_section, "Stawki", "%f,%f,%f,%f", +sheet.plot_rate,
                +sheet.water_rate, +sheet.membership_fee, +sheet.energy_rate);
}

}  // namespace q7
