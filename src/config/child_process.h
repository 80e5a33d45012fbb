// Programs this one starts and waits for: the print program, the help launcher, and the print
// program's pager and printer queue. They run with an argument vector, never through a command
// interpreter, so no text the program passes them can run commands.
#ifndef QUARNELL_CONFIG_CHILD_PROCESS_H_
#define QUARNELL_CONFIG_CHILD_PROCESS_H_

#include <string>
#include <vector>

namespace quarnell {

// How a child starts. Empty paths leave its standard output and error this process's own.
struct ChildSetup {
  bool discard_output = false;  // standard output to /dev/null (before output_path)
  std::string output_path;      // standard output added to this file (made when missing)
  std::string error_path;       // standard error added to this file
  bool search_path = false;     // a program name without "/" is looked for on PATH
  // "NAME=value" entries the child gets where this process's environment does not set NAME.
  std::vector<std::string> environment_defaults;
};

struct ChildExit {
  int start_error = 0;  // errno when the program could not be started; the rest is then 0
  int status = 0;       // its exit status, 128 + the signal when a signal ended it
};

// Starts `program` with `arguments` after its name and waits for it to end. While it runs, this
// process ignores the keyboard's signals (SIGINT and SIGQUIT, from Ctrl+C and Ctrl+backslash), as a
// shell does for the program it waits for: with the terminal in the child's hands they are the
// child's keys (a pager's), and this process must not end under it. The child starts with them at
// their defaults, whatever this process does with them.
ChildExit RunChildProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const ChildSetup& setup = {});

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_CHILD_PROCESS_H_
