// The host's answers taken from the fuzzer's bytes (fuzz_host_answers): each
// service the plug-in calls is interposed (torval::platform::interpose_export)
// by a function that reads one byte at each call and answers as the stand-in
// host usually does, or otherwise: within the service's contract (a refusal,
// a null stream, a cancelled form) or outside it (a count below zero or beyond
// the rows, a null where a pointer was promised, a text filling its field
// without a terminator, an unknown form or box result, a malformed date, a
// descriptor of another record size). When the bytes run out, or outside a
// command, every service answers as usual.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "abi/records.h"
#include "host/host.h"

namespace q7::fuzz {

// The fuzzer's bytes, read one at a time.
struct answer_bytes {
  const uint8_t* start = nullptr;
  const uint8_t* at = nullptr;
  const uint8_t* end = nullptr;
  bool empty() const { return at == end; }
  uint8_t next() { return at == end ? 0 : *at++; }
};

// What the answers of one command did, for the checks after it.
struct command_record {
  bool active = false;  // the answers come from the bytes (during a command)
  // An answer said other than what the host did (a write or an append
  // answered done that did not happen, a count beyond the ledger's entries):
  // the host's totals can then no longer agree with its files.
  const char* untrue = nullptr;
  std::set<FILE*> left_open;          // holders' ledgers 52302 did not close
  // Holders' ledgers opened (50516): their entries in the audit's kept totals.
  std::vector<const torval::audit_state::totals_by_file::value_type*> ledgers;
  bool posted_message = false;        // a message told a posted total
  double posted_total = 0;            // in currency units
  bool closing_message = false;       // the closing message of Ctrl-A or Ctrl-W
  int unread_reads = 0;               // reads 52286 answered done without reading

  // Forgets what the answers of the command before did; the ledgers opened
  // are the input's and stay.
  void start_command() {
    untrue = nullptr;
    left_open.clear();
    posted_message = closing_message = false;
    unread_reads = 0;
  }
};

answer_bytes& bytes();
command_record& record();

// Puts the answering functions in place of the host's services, before the
// plug-in binds them; makes the host's record buffers exactly a record long
// and the descriptors of other record sizes that 52256 may answer.
void install_answers();
// Puts the descriptors back as the host holds them after a command that got
// one with a pointer taken away.
void restore_descriptors();

// For the answering functions (service_answers.cpp):
// Which answer a call of the service gets: 0 the usual one, else one of
// `others` (from 1); a transcript, when written, tells which.
int choose(uint32_t service, int others);
// Notes the first answer that said other than what the host did.
void untrue(const char* what);
// The descriptor of table `number` with its record buffer or its column
// totals taken away until restore_descriptors.
void take_pointer(table_descriptor* descriptor, bool record_buffer);
// The descriptors of a table as a quarter shorter and as 64 bytes longer
// records have it, each with a buffer of that length.
table_descriptor* shorter_records(int32_t number);
table_descriptor* longer_records(int32_t number);
// The text fields of the record just read into the descriptor's buffer,
// filled to their ends, no terminator left in them.
void fill_texts(table_descriptor* descriptor);
// An amount no form accepts: not a number, infinite, or beyond the limits.
double outlandish_amount(uint8_t which);
// A confirmed form's record as an engine might have left it that hands back
// what it never accepts: every amount out of its limits, or every text
// filling its field.
void spoil_form(const void* block, int32_t form, void* record, bool texts);
// Puts the answering functions in place of the services.
void interpose_services();

}  // namespace q7::fuzz
