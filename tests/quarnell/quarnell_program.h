// Runs the built statement program as scripts do: its arguments, this process's environment, its
// standard output and error caught in files of a scratch directory.
#ifndef QUARNELL_TESTS_QUARNELL_QUARNELL_PROGRAM_H_
#define QUARNELL_TESTS_QUARNELL_QUARNELL_PROGRAM_H_

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "support/temp_dir.h"

extern char** environ;

namespace quarnell::testing {

struct Outcome {
  int exit = -1;
  std::string out;
  std::string err;
};

// build/bin/quarnell started at once; Wait() gives its outcome. Processes that run together
// need a `tag` each, which names their output files.
class QuarnellProcess {
 public:
  QuarnellProcess(const TempDir& scratch, const std::vector<std::string>& args,
                  const std::string& tag = "")
      : out_path_(scratch.file("stdout" + tag)), err_path_(scratch.file("stderr" + tag)) {
    std::string program = std::string(QEB_BIN_DIR) + "/quarnell";
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = 0;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  ~QuarnellProcess() { Wait(); }
  QuarnellProcess(const QuarnellProcess&) = delete;
  QuarnellProcess& operator=(const QuarnellProcess&) = delete;

  pid_t pid() const { return pid_; }

  // What the program has written on standard error so far.
  std::string ErrorSoFar() const { return TempDir::ReadFile(err_path_); }

  // A program that hangs is a failure of its own: stopped after a minute, it ends with 137.
  Outcome Wait() {
    if (pid_ > 0) {
      int status = 0;
      for (int waited = 0; waitpid(pid_, &status, WNOHANG) == 0; ++waited) {
        if (waited == 600) kill(pid_, SIGKILL);
        usleep(100000);
      }
      outcome_.exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      pid_ = 0;
      outcome_.out = TempDir::ReadFile(out_path_);
      outcome_.err = TempDir::ReadFile(err_path_);
    }
    return outcome_;
  }

 private:
  std::string out_path_;
  std::string err_path_;
  pid_t pid_ = 0;
  Outcome outcome_;
};

// Runs build/bin/quarnell with `args` to its end.
inline Outcome RunQuarnellProgram(const TempDir& scratch, const std::vector<std::string>& args) {
  return QuarnellProcess(scratch, args).Wait();
}

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_QUARNELL_QUARNELL_PROGRAM_H_
