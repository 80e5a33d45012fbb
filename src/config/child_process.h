// Programs this one starts and waits for: the print program and the help launcher. They run with
// an argument vector, never through a command interpreter, so no text the program passes them can
// run commands.
#ifndef QUARNELL_CONFIG_CHILD_PROCESS_H_
#define QUARNELL_CONFIG_CHILD_PROCESS_H_

#include <string>
#include <vector>

namespace quarnell {

// Where a child's standard output and error go; empty paths leave them this process's own.
struct ChildOutput {
  bool discard_output = false;  // standard output to /dev/null (before output_path)
  std::string output_path;      // standard output added to this file (made when missing)
  std::string error_path;       // standard error added to this file
};

struct ChildExit {
  int start_error = 0;  // errno when the program could not be started; the rest is then 0
  int status = 0;       // its exit status, 128 + the signal when a signal ended it
};

// Starts the program at the host path `path` with `arguments` after its name, this process's
// environment and `output`, and waits for it to end. The child starts with the keyboard's signals
// (SIGINT and SIGQUIT, from Ctrl+C and Ctrl+backslash) at their defaults, whatever this process
// does with them: while a child has the terminal this process ignores them (the console does, as
// a shell does for the program it waits for), and the child must not inherit that.
ChildExit RunChildProgram(const std::string& path, const std::vector<std::string>& arguments,
                          const ChildOutput& output = {});

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_CHILD_PROCESS_H_
