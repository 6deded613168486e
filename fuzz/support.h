// What every fuzz program shares: the plug-in code attached to the stand-in
// host once, with the files they share kept in memory and a scratch folder
// for anything else the host writes, and the report of a broken property,
// which stops the program so that the fuzzer keeps the input that broke it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace q7::fuzz {

// Adds a flag of the fuzzer ("-name=value") to its arguments unless they
// name it. Called from LLVMFuzzerInitialize.
void default_flag(int* argc, char*** argv, const std::string& flag);

// For a program whose input has a fixed length: adds -max_len=BYTES to the
// fuzzer's arguments unless they name one, so that no input is longer than
// what the program reads (a mutation past it would run the same input
// again). Called from LLVMFuzzerInitialize.
void limit_input_length(int* argc, char*** argv, std::size_t bytes);

// Runs one session step in the stand-in host.
void step(const std::string& line);

// Attaches the plug-in code linked into the program to the stand-in host, as
// the session step "load" does, the first time it is called; the host's
// session starts in the scratch folder. The host writes no transcript
// (Q7_FUZZ_TRANSCRIPT=1 makes it write one, to look at an input run again).
void attach_plugin();

// The scratch folder of this run of the program (made on first use, removed
// at exit); the repository and the fuzzer's own folders are never written.
const std::string& scratch_folder();

// Enters the scratch folder for its lifetime and then returns to the folder
// the program was in, where the fuzzer keeps its corpus and findings.
class in_scratch_folder {
 public:
  in_scratch_folder();
  ~in_scratch_folder();
  in_scratch_folder(const in_scratch_folder&) = delete;
  in_scratch_folder& operator=(const in_scratch_folder&) = delete;

 private:
  int previous_;
};

// The whole content of a file the host and the plug-in share ("" when there
// is none), valid until the next call for the same name: the buffer serves
// again, so that reading a file after every input costs no allocation.
const std::string& file_bytes(std::string_view name);

// Queues the host's answer to the next box, dialog or form, as the step
// "answer" does; the period dialog's answer also carries its two dates.
void queue_answer(int code, const std::string& period_start = {}, const std::string& period_end = {});

// Forgets what the host wrote into its transcript and the answers left over,
// and closes the files a command left open for appending lines.
void reset_host_output();

[[noreturn]] void broken(const char* file, int line, const char* property, const std::string& detail);
// The report's text is made in a call of its own: its texts take no room in
// the frame of the checking function, which the address sanitizer would mark
// and clear at every input.
template <class Detail>
[[noreturn, gnu::noinline, gnu::cold]] void broken_with(const char* file, int line, const char* property, Detail detail) {
  broken(file, line, property, detail());
}

}  // namespace q7::fuzz

// Stops the program with a report when a property of the code under test does not hold.
#define Q7_FUZZ_CHECK(property, detail)                                                                 \
  do {                                                                                                  \
    if (!(property)) ::q7::fuzz::broken_with(__FILE__, __LINE__, #property, [&] { return std::string(detail); }); \
  } while (0)
