// qebdata: lays out installations and moves records of the rental files in and out as CSV.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "tools/qebdata/data_tool.h"

int main(int argc, char** argv) {
  // The commands report their failures as exit statuses; whatever the libraries underneath still
  // throw (no memory, a stream that fails) ends here with a message rather than an abort.
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    const quarnell::DataToolContext context{QEB_INSTALL_DIR, &std::cout, &std::cerr};
    return quarnell::RunDataTool(args, context);
  } catch (const std::exception& e) {
    std::cerr << "qebdata: " << e.what() << "\n";
  } catch (...) {
    std::cerr << "qebdata: stopped by an unexpected failure\n";
  }
  return 1;
}
