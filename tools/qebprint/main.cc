// qebprint: the print program the statement program starts after each run.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/qebprint/pdf_renderer.h"
#include "tools/qebprint/print_program.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv, argv + argc);
  int status = quarnell::RunPrintProgram(args, stdout, stderr);
  quarnell::PdfPageSink::ReleaseFontCaches();
  return status;
}
