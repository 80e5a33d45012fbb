#include "app/run_driver.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "app/letterhead.h"
#include "app/parameter_table.h"
#include "app/rental_files.h"
#include "config/error_stop.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/translate.h"

extern char** environ;

namespace quarnell {

void StartUpWithoutScreen() {
  StartConfiguration();
  const std::string& root = Session().root_directory;
  if (!root.empty()) {
    const std::string host_root = HostPath(root);
    if (chdir(host_root.c_str()) != 0) {
      ErrorStop("cannot make the root directory " + host_root +
                " the current directory: " + std::strerror(errno));
    }
  }
  SetModuleName(kModuleName);
  // The letterhead first: a run it refuses has written nothing.
  LoadLetterhead();
  OpenRentalFiles();
  LoadParameterTable();
}

std::string PrintProgramPath() { return HostPath(Session().program_directory + "QEBPRINT"); }

int RunPrintProgram() {
  std::string path = PrintProgramPath();
  std::vector<char*> argv = {path.data(), nullptr};
  pid_t pid = 0;
  const int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) {
    ErrorStop("cannot start the print program " + path + ": " + std::strerror(error));
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) ErrorStop("lost the print program " + path + ": " + std::strerror(errno));
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace quarnell
