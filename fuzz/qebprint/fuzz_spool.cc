// Feeds arbitrary bytes to the spool reader and lays them out into text pages, as qebprint does
// with a damaged spool file, reading every directive as a mark; and checks that any text line and
// any owner mark the writer produces reads back as it was written.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "print/spool_marks.h"
#include "print/spool_writer.h"
#include "tools/qebprint/page_layout.h"
#include "tools/qebprint/print_program.h"
#include "tools/qebprint/spool_reader.h"
#include "tools/qebprint/text_renderer.h"

namespace {

void RoundTrip(const uint8_t* data, size_t size) {
  if (size < 4) return;
  int32_t column = (data[0] | data[1] << 8) % (quarnell::kMaxSpoolColumn + 1);
  int32_t advance = (data[2] | data[3] << 8) % (quarnell::kMaxSpoolAdvance + 1);
  std::string text = quarnell::SpoolText(
      std::string_view(reinterpret_cast<const char*>(data) + 4, std::min<size_t>(size - 4, 200)));
  std::string line =
      quarnell::SpoolNumberField(column) + "," + text + "," + quarnell::SpoolNumberField(advance);
  quarnell::SpoolInstruction instruction;
  if (!quarnell::ParseSpoolLine(line, &instruction) ||
      instruction.kind != quarnell::SpoolLineKind::kText || instruction.column != column ||
      instruction.advance != advance || instruction.text != text) {
    std::abort();
  }
}

// An owner's mark with the input as its name reads back with that name, blanks at its end aside.
void OwnerRoundTrip(const uint8_t* data, size_t size) {
  quarnell::OwnerMark owner{
      "0042", "ES12345678Z",
      std::string(reinterpret_cast<const char*>(data), std::min<size_t>(size, 60)), -1};
  quarnell::RunMark run;
  quarnell::OwnerMark read;
  std::string name = quarnell::SpoolText(owner.name);
  name.erase(name.find_last_not_of(' ') + 1);
  if (quarnell::ParseMark(quarnell::OwnerDirective(owner), &run, &read) !=
          quarnell::MarkKind::kOwner ||
      read.code != owner.code || read.name != name) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* sink_file = std::fopen("/dev/null", "w");
  std::string bytes(reinterpret_cast<const char*>(data), size);
  std::istringstream in(bytes);
  quarnell::SpoolReader reader(in);
  quarnell::TextPageSink sink(sink_file, quarnell::TextPageSink::Style::kTerminal);
  quarnell::PageLayout layout(sink);
  quarnell::SpoolInstruction instruction;
  while (reader.Next(&instruction)) {
    if (instruction.kind == quarnell::SpoolLineKind::kDevice) {
      quarnell::ParseDevice(instruction.text);
    }
    if (instruction.kind == quarnell::SpoolLineKind::kDirective) {
      quarnell::RunMark run;
      quarnell::OwnerMark owner;
      quarnell::ParseMark(instruction.text, &run, &owner);
    }
    layout.Apply(instruction);
  }
  layout.Finish();
  if (reader.malformed_lines() > reader.lines_read()) std::abort();

  RoundTrip(data, size);
  OwnerRoundTrip(data, size);
  return 0;
}
