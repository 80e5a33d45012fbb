// qebdata: lays out installations and moves records of the rental files in and out as CSV.
#include <iostream>
#include <string>
#include <vector>

#include "tools/qebdata/data_tool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const quarnell::DataToolContext context{QEB_INSTALL_DIR, &std::cout, &std::cerr};
  return quarnell::RunDataTool(args, context);
}
