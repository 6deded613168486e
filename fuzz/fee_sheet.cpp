// The fees of one plot from untrusted bytes: a plot record's fee letters,
// plot number, area and holder, and the four rates, filled into a fee sheet
// and computed as the annual fee command does. The input's layout is in
// fee_input.h.
#include <cmath>
#include <cstring>
#include <string>

#include "abi/form_template.h"
#include "abi/records.h"
#include "fuzz/fee_input.h"
#include "fuzz/support.h"
#include "plugin/fees/fee_rules.h"

namespace {

bool terminated(const char* field, std::size_t size) { return std::memchr(field, 0, size) != nullptr; }

// A rate the annual fee form accepts (its amount fields' limits).
bool form_rate(double rate) {
  return rate >= q7::forms::amount_min && rate <= q7::forms::amount_max;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  q7::fuzz::limit_input_length(argc, argv, sizeof(q7::fuzz::fee_input));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  q7::fuzz::attach_plugin();
  q7::fuzz::reset_host_output();

  q7::fuzz::fee_input in{};
  std::memcpy(&in, data, std::min(size, sizeof in));
  q7::plot_record plot{};
  plot.area_milli = in.area_milli;
  std::memcpy(plot.plot_no_text, in.plot_no_text, sizeof plot.plot_no_text);
  std::memcpy(plot.holder_name, in.holder_name, sizeof plot.holder_name);
  std::memcpy(plot.fee_letters, in.fee_letters, sizeof plot.fee_letters);

  q7::fee_sheet sheet{};
  sheet.plot_rate = in.rates[0];
  sheet.water_rate = in.rates[1];
  sheet.energy_rate = in.rates[2];
  sheet.membership_fee = in.rates[3];
  q7::fill_fee_sheet(sheet, plot);
  q7::compute_plot_fees(sheet);

  Q7_FUZZ_CHECK(terminated(sheet.head.holder_name, sizeof sheet.head.holder_name), "holder");
  Q7_FUZZ_CHECK(terminated(sheet.fee_letters, sizeof sheet.fee_letters), "fee letters");
  const struct {
    const char* line;
    const char* name;
  } lines[] = {{sheet.membership_line, "membership"},
               {sheet.usage_line, "usage"},
               {sheet.energy_line, "energy"},
               {sheet.water_line, "water"},
               {sheet.heating_line, "heating"}};
  for (const auto& l : lines)
    Q7_FUZZ_CHECK(terminated(l.line, 33), std::string(l.name) + " fee line is longer than 32 characters");

  // Whatever the letters say, the heating fee is a number.
  Q7_FUZZ_CHECK(std::isfinite(sheet.heating_fee), "heating fee " + std::to_string(sheet.heating_fee));

  // With rates a form accepts, every fee and the total are numbers, and the
  // total is their sum (to the rounding of the order it is added in).
  bool rates_accepted = true;
  for (double rate : in.rates) rates_accepted = rates_accepted && form_rate(rate);
  if (rates_accepted) {
    const double fees[] = {sheet.usage_fee, sheet.energy_fee, sheet.water_fee, sheet.heating_fee,
                           sheet.membership_fee};
    double sum = 0.0, magnitude = 0.0;
    for (double fee : fees) {
      Q7_FUZZ_CHECK(std::isfinite(fee), "a fee is " + std::to_string(fee));
      sum += fee;
      magnitude += std::fabs(fee);
    }
    Q7_FUZZ_CHECK(std::isfinite(sheet.total), "total " + std::to_string(sheet.total));
    Q7_FUZZ_CHECK(std::fabs(sheet.total - sum) <= magnitude * 1e-14,
                  "total " + std::to_string(sheet.total) + ", sum of the fees " + std::to_string(sum));
  }
  return 0;
}
