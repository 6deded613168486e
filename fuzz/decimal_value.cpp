// A decimal number from untrusted bytes, read as the heating number after
// the letter c is read, against the C library's strtod in the "C" locale:
// the same double to the bit, and the same end. strtod is shown the text up
// to the first byte that no heating number holds, so that it reads no word
// ("inf", "nan") and no hexadecimal number, and with its first comma made a
// point, as the plug-in's reader takes a decimal comma.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz/support.h"
#include "plugin/hostlink/x87.h"
#include "plugin/text/decimal_text.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Longer than the fee letters' 60 characters: mantissas of any length.
  q7::fuzz::limit_input_length(argc, argv, 128);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  // The plug-in's own control word, as every way in from the host sets it.
  q7::x87::load_control(q7::x87::own_control);

  const std::string text = std::string(reinterpret_cast<const char*>(data), size).c_str();  // to a zero byte
  const char* end;
  const double ours = q7::decimal_value(text.c_str(), &end);

  std::string shown = text.substr(0, text.find_first_not_of(" \t\n\v\f\r0123456789.,eE+-"));
  if (const std::size_t comma = shown.find(','); comma != std::string::npos) shown[comma] = '.';
  char* library_end;
  const double library = std::strtod(shown.c_str(), &library_end);

  const auto read = [](double value, long bytes) {
    char out[64];
    std::snprintf(out, sizeof out, "%a of %ld bytes", value, bytes);
    return std::string(out);
  };
  Q7_FUZZ_CHECK(std::memcmp(&ours, &library, sizeof ours) == 0 && end - text.c_str() == library_end - shown.c_str(),
                "\"" + text + "\" read as " + read(ours, end - text.c_str()) + ", by strtod as " +
                    read(library, library_end - shown.c_str()));
  return 0;
}
