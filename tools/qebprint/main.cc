// qebprint: the print program the statement program starts after each run.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "tools/qebprint/pdf_renderer.h"
#include "tools/qebprint/print_program.h"

int main(int argc, char** argv) {
  int status = quarnell::kPrintFailed;
  // Nothing may end the program without a word: what the code below does not handle itself is
  // reported here as a failure.
  try {
    std::vector<std::string> args(argv, argv + argc);
    status = quarnell::RunPrintProgram(args, stdout, stderr);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "qebprint: %s\n", failure.what());
  } catch (...) {
    std::fprintf(stderr, "qebprint: an unexpected failure\n");
  }
  quarnell::PdfPageSink::ReleaseFontCaches();
  return status;
}
