// The plug-in's three dialog forms, described once as the form template
// block that the host's forms engine lays them out from (show form, 52026).
#pragma once

#include <cstdint>
#include <span>

namespace q7 {

// Form numbers within the block.
inline constexpr int32_t annual_fees_form = 1001;          // "Generuj opłaty roczne"
inline constexpr int32_t previous_year_debts_form = 1003;  // "Zadłużenie z poprzedniego roku"
inline constexpr int32_t entry_fees_form = 1004;           // "Wpisowe"

// Field numbers of the two "Brak opłaty" markers of the annual fees form,
// beside the energy and conservation fee and beside the water fee.
inline constexpr int32_t energy_fee_marker = 0x410C;
inline constexpr int32_t water_fee_marker = 0x410D;

// The constant form template block, from its u32 head; handed to show form
// with every form.
extern const std::span<const uint8_t> form_template_block;

}  // namespace q7
