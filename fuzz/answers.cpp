#include "fuzz/answers.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "abi/form_template_reader.h"
#include "abi/machine.h"
#include "abi/records.h"
#include "host/host.h"
#include "host/host_platform.h"

namespace q7::fuzz {

answer_bytes& bytes() {
  static answer_bytes b;
  return b;
}

command_record& record() {
  static command_record r;
  return r;
}

// Which answer a call gets: 0 the usual one, else one of the service's
// others. A byte below 0x80 gives the usual answer, and so does every call
// once the bytes have run out.
int choose(uint32_t service, int others) {
  if (!record().active || bytes().empty()) return 0;
  const uint8_t b = bytes().next();
  const int other = b < 0x80 ? 0 : 1 + (b - 0x80) % others;
  torval::say([&] {
    return "  (byte " + std::to_string(bytes().at - 1 - bytes().start) + ": " + std::to_string(service) +
           (other ? " answers otherwise: " + std::to_string(other) : std::string(" answers as usual")) + ")";
  });
  return other;
}

void untrue(const char* what) {
  if (!record().untrue) record().untrue = what;
}

namespace {

constexpr int32_t changed_size_table = 1000;  // 1000 + n: table n's records a quarter shorter
constexpr int32_t grown_size_table = 2000;    // 2000 + n: table n's records 64 bytes longer

// A table's record buffer exactly one record long, so that the sanitizer
// sees every byte written or read past it.
void exact_record_buffer(torval::table& t) {
  t.record_buffer.assign(static_cast<std::size_t>(t.descriptor.record_size), 0);
  t.record_buffer.shrink_to_fit();
  t.descriptor.record_buffer = t.record_buffer.data();
}

// A descriptor whose pointers were taken away for one command.
struct taken_pointers {
  q7::table_descriptor* descriptor;
  void* record_buffer;
  double* column_totals;
};
std::vector<taken_pointers>& taken() {
  static std::vector<taken_pointers> list;
  return list;
}

}  // namespace

// The descriptor of table `number` as another record size has it, showing
// the list window where the table's own does.
static q7::table_descriptor* resized(int32_t number, int32_t offset) {
  torval::table* real = torval::find_table(number);
  torval::table* other = torval::find_table(offset + number);
  if (!real || !other) return nullptr;
  other->descriptor.first_held = real->descriptor.first_held;
  other->descriptor.top_record = real->descriptor.top_record;
  other->descriptor.cursor_line = real->descriptor.cursor_line;
  return &other->descriptor;
}

q7::table_descriptor* shorter_records(int32_t number) { return resized(number, changed_size_table); }
q7::table_descriptor* longer_records(int32_t number) { return resized(number, grown_size_table); }

// The record just read with every text field filled to its end, with no
// terminator left in it.
void fill_texts(q7::table_descriptor* descriptor) {
  torval::table* t = torval::table_of(descriptor);
  if (!t) return;
  char* r = t->record_buffer.data();
  const std::size_t size = t->record_buffer.size();
  const auto fill = [&](std::size_t offset, std::size_t width, char c) {
    if (offset < size) std::memset(r + offset, c, std::min(width, size - offset));
  };
#define Q7_FILL(record, field, c) fill(offsetof(record, field), sizeof record::field, c)
  switch (t->number) {
    case q7::plot_table_no:
      Q7_FILL(plot_record, plot_no_text, '9');
      Q7_FILL(plot_record, holder_name, 'N');
      Q7_FILL(plot_record, fee_letters, 'r');
      break;
    case q7::ledger_table_no:
      Q7_FILL(ledger_entry, title, 'T');
      Q7_FILL(ledger_entry, fee_line, 'L');
      Q7_FILL(ledger_entry, doc_date, '1');
      Q7_FILL(ledger_entry, entry_date, '2');
      break;
    case q7::cash_table_no:
      Q7_FILL(cash_record, cash_date, '1');
      Q7_FILL(cash_record, line_texts, 'w');
      Q7_FILL(cash_record, payer_name, 'P');
      Q7_FILL(cash_record, cash_plot_no, '7');
      break;
    default:
      break;
  }
#undef Q7_FILL
}

double outlandish_amount(uint8_t which) {
  constexpr double amounts[] = {std::numeric_limits<double>::quiet_NaN(),
                                std::numeric_limits<double>::infinity(), -1e300, 1e14};
  return amounts[which % std::size(amounts)];
}

// A confirmed form whose engine handed back what it never accepts: every
// amount field out of its limits, or every text filling its field.
void spoil_form(const void* block, int32_t number, void* record, bool texts) {
  uint32_t total;
  std::memcpy(&total, block, sizeof total);
  const std::span<const uint8_t> whole(static_cast<const uint8_t*>(block), forms::block_head_size + total);
  const double amount = outlandish_amount(bytes().next());
  forms::walk_form(whole, static_cast<uint16_t>(number), [&](std::size_t, const forms::item_view& item) {
    char* at = static_cast<char*>(record) + item.record_offset;
    if (item.kind != forms::kind_input) return;
    if (!texts && item.format == forms::format_amount) std::memcpy(at, &amount, sizeof amount);
    if (texts && (item.format == forms::format_text || item.format == forms::format_text_lines))
      std::memset(at, 'x', item.record_size);
  });
}

void take_pointer(q7::table_descriptor* d, bool record_buffer) {
  taken().push_back({d, d->record_buffer, d->column_totals});
  (record_buffer ? d->record_buffer : reinterpret_cast<void*&>(d->column_totals)) = nullptr;
}

void install_answers() {
  interpose_services();
  for (const int32_t number : {q7::plot_table_no, q7::cash_table_no, q7::ledger_table_no}) {
    torval::table* real = torval::find_table(number);
    const int16_t size = real->descriptor.record_size;
    exact_record_buffer(*real);
    exact_record_buffer(torval::add_table(changed_size_table + number, static_cast<int16_t>(size - size / 4)));
    exact_record_buffer(torval::add_table(grown_size_table + number, static_cast<int16_t>(size + 64)));
  }
}

void restore_descriptors() {
  for (auto it = taken().rbegin(); it != taken().rend(); ++it) {
    it->descriptor->record_buffer = it->record_buffer;
    it->descriptor->column_totals = it->column_totals;
  }
  taken().clear();
}

}  // namespace q7::fuzz
