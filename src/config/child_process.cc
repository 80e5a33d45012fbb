#include "config/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>

extern char** environ;

namespace quarnell {

ChildExit RunChildProgram(const std::string& path, const std::vector<std::string>& arguments,
                          const ChildOutput& output) {
  std::vector<std::string> words = {path};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  constexpr int kAdding = O_WRONLY | O_CREAT | O_APPEND;
  if (output.discard_output) {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  } else if (!output.output_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, 1, output.output_path.c_str(), kAdding, 0600);
  }
  if (!output.error_path.empty()) {
    posix_spawn_file_actions_addopen(&actions, 2, output.error_path.c_str(), kAdding, 0600);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGQUIT);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);

  ChildExit exit;
  pid_t pid = 0;
  exit.start_error = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (exit.start_error != 0) return exit;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      exit.status = 127;
      return exit;
    }
  }
  exit.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  return exit;
}

}  // namespace quarnell
