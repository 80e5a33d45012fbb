// quarnell: the statement program. See app/batch.h for the command line.
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "app/batch.h"

int main(int argc, char** argv) {
  // Nothing may end the program without a word: what the code below does not handle itself is
  // reported here as a failure of the system.
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    return quarnell::RunQuarnell(args, std::cout, std::cerr);
  } catch (const std::exception& failure) {
    std::cerr << "quarnell: " << failure.what() << std::endl;
  } catch (...) {
    std::cerr << "quarnell: an unexpected failure" << std::endl;
  }
  return quarnell::kExitFailure;
}
