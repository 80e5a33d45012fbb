// Dotted codes and their packed form on arbitrary text: nothing may crash, packed codes hold whole
// digit pairs, and dotted texts hold only digits and points.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "text/dates.h"
#include "text/folding.h"
#include "text/masks.h"

namespace {

// Reports the broken invariant's line before stopping, so that a finding explains itself.
void Check(bool condition, int line = __builtin_LINE()) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken at %s:%d\n", __FILE__, line);
  std::abort();
}

bool DigitsAndPoints(const std::string& text) {
  for (const char c : text) {
    if ((c < '0' || c > '9') && c != '.') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const std::string packed_input = input.ConsumeRandomLengthString(16);
  const std::string text = input.ConsumeRemainingBytesAsString();

  quarnell::ValidateDottedCode(text);
  const std::string packed = quarnell::DottedToPacked(text);
  for (const char c : packed) {
    const auto byte = static_cast<unsigned char>(c);
    Check(byte >= 128 && byte <= 227);
  }
  const std::string dotted = quarnell::PackedToDotted(packed);
  Check(DigitsAndPoints(dotted));
  Check(DigitsAndPoints(quarnell::PackedToDotted(packed_input)));
  quarnell::ReorderName(text);
  quarnell::FoldText(text);
  return 0;
}
