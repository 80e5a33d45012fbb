// quarnell: the statement program. See app/batch.h for the command line.
#include <iostream>
#include <string>
#include <vector>

#include "app/batch.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return quarnell::RunQuarnell(args, std::cout, std::cerr);
}
