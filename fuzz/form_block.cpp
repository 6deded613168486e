// A form template block from untrusted bytes, read by the stand-in host's
// forms engine. A block it cannot read to the end of a form must be refused
// with a reason, never walked past.
//
// The input is the block itself, from its u32 head on. Each form number the
// plug-in shows is tried, and the number of the block's first form (once).
#include <algorithm>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "abi/form_template_reader.h"
#include "fuzz/support.h"
#include "host/forms.h"
#include "host/host.h"
#include "plugin/fees/form_templates.h"

namespace forms = q7::forms;

namespace {

std::string where(uint16_t number, const forms::walk_result& read) {
  return "form " + std::to_string(number) + ": " + (read.error ? read.error : "read") + " at byte " +
         std::to_string(read.error_at);
}

// Walks the form in a block of exactly the given bytes; every item read lies
// within the form's body, in order and back to back.
forms::walk_result walk(std::span<const uint8_t> block, uint16_t number) {
  std::size_t next = 0, body_end = 0;
  bool ordered = true;
  const auto read = forms::walk_form(block, number, [&](std::size_t index, const forms::item_view& item) {
    if (index == 0) {
      next = item.offset;
      body_end = item.offset + forms::detail::block_reader(block).u16(item.offset - forms::form_head_size);
    }
    ordered = ordered && item.offset == next && item.length > 0 && item.offset + item.length <= body_end &&
              item.offset + item.length <= block.size();
    next = item.offset + item.length;
  });
  Q7_FUZZ_CHECK(ordered, where(number, read) + ": an item lies outside its form or out of order");
  if (read) {
    Q7_FUZZ_CHECK(next == body_end, where(number, read) + ": the items do not fill the body");
  } else {
    Q7_FUZZ_CHECK(read.error[0] != 0, where(number, read));
    Q7_FUZZ_CHECK(read.error_at <= block.size(), where(number, read) + ": error past the block");
  }
  return read;
}

// Shows the form through the host's forms engine with a record of exactly
// the bytes the form binds; it must show what walking the block found.
void show(const std::vector<uint8_t>& block, uint16_t number, const forms::walk_result& read) {
  q7::fuzz::reset_host_output();
  const std::unique_ptr<uint8_t[]> record(new uint8_t[read ? std::max<std::size_t>(read.bound_bytes, 1) : 1]());
  const uint16_t answer = torval::show_form(block.data(), number, record.get(), nullptr);
  const std::string& transcript = torval::transcript().text;
  if (!read) {
    Q7_FUZZ_CHECK(answer == 0, where(number, read) + ": shown all the same");
    Q7_FUZZ_CHECK(torval::form_refusal() == read.error,
                  where(number, read) + ": refused without its reason, or with another: " +
                      torval::form_refusal());
  } else {
    Q7_FUZZ_CHECK(answer == q7::cancelled, where(number, read) + ": not closed as cancelled:\n" + transcript);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  q7::fuzz::attach_plugin();

  // A block of exactly the input's bytes: a read past its end is an overflow.
  const std::vector<uint8_t> block(data, data + size);
  uint16_t numbers[4] = {q7::annual_fees_form, q7::previous_year_debts_form, q7::entry_fees_form};
  std::size_t count = 3;
  const std::size_t first_number = forms::block_head_size + forms::form_head_size + forms::at_field;
  const uint16_t first =
      size >= first_number + 2 ? static_cast<uint16_t>(data[first_number] | data[first_number + 1] << 8) : 0;
  if (std::find(numbers, numbers + count, first) == numbers + count) numbers[count++] = first;

  for (const uint16_t number : std::span(numbers, count)) {
    const forms::walk_result read = walk(block, number);
    // The host has only the block's start and takes its length from the
    // head: it is handed exactly the bytes the head says the block has.
    if (size >= forms::block_head_size) {
      uint32_t total;
      std::memcpy(&total, data, sizeof total);
      if (total <= size - forms::block_head_size)
        show({data, data + forms::block_head_size + total}, number, read);
    }
  }
  return 0;
}
