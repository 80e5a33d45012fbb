#include "config/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <array>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace quarnell {
namespace {

constexpr std::array<int, 2> kKeyboardSignals = {SIGINT, SIGQUIT};

// Pointers into `words` with the closing null, as exec wants them.
std::vector<char*> PointersTo(std::vector<std::string>& words) {
  std::vector<char*> pointers;
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  return pointers;
}

// The redirections of `setup`, for posix_spawn.
class FileActions {
 public:
  explicit FileActions(const ChildSetup& setup) {
    posix_spawn_file_actions_init(&actions_);
    constexpr int kAdding = O_WRONLY | O_CREAT | O_APPEND;
    if (setup.discard_output) {
      posix_spawn_file_actions_addopen(&actions_, 1, "/dev/null", O_WRONLY, 0);
    } else if (!setup.output_path.empty()) {
      posix_spawn_file_actions_addopen(&actions_, 1, setup.output_path.c_str(), kAdding, 0600);
    }
    if (!setup.error_path.empty()) {
      posix_spawn_file_actions_addopen(&actions_, 2, setup.error_path.c_str(), kAdding, 0600);
    }
  }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// The child's attributes: the keyboard's signals back at their defaults.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    posix_spawnattr_init(&attributes_);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int signal : kKeyboardSignals) sigaddset(&defaults, signal);
    posix_spawnattr_setsigdefault(&attributes_, &defaults);
    posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGDEF);
  }
  ~SpawnAttributes() { posix_spawnattr_destroy(&attributes_); }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  const posix_spawnattr_t* get() const { return &attributes_; }

 private:
  posix_spawnattr_t attributes_;
};

// Ignores the keyboard's signals for as long as it lives, then puts back what was there.
class KeyboardSignalsIgnored {
 public:
  KeyboardSignalsIgnored() {
    struct sigaction ignore {};
    sigemptyset(&ignore.sa_mask);
    ignore.sa_handler = SIG_IGN;
    for (size_t i = 0; i < kKeyboardSignals.size(); ++i) {
      sigaction(kKeyboardSignals[i], &ignore, &previous_[i]);
    }
  }
  ~KeyboardSignalsIgnored() {
    for (size_t i = 0; i < kKeyboardSignals.size(); ++i) {
      sigaction(kKeyboardSignals[i], &previous_[i], nullptr);
    }
  }
  KeyboardSignalsIgnored(const KeyboardSignalsIgnored&) = delete;
  KeyboardSignalsIgnored& operator=(const KeyboardSignalsIgnored&) = delete;

 private:
  std::array<struct sigaction, kKeyboardSignals.size()> previous_{};
};

int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 127;
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

}  // namespace

ChildExit RunChildProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const ChildSetup& setup) {
  std::vector<std::string> words = {program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv = PointersTo(words);
  std::vector<std::string> environment_words;
  for (char** entry = environ; *entry != nullptr; ++entry) environment_words.push_back(*entry);
  for (const std::string& entry : setup.environment_defaults) {
    if (getenv(entry.substr(0, entry.find('=')).c_str()) == nullptr) {
      environment_words.push_back(entry);
    }
  }
  std::vector<char*> environment = PointersTo(environment_words);

  const FileActions actions(setup);
  const SpawnAttributes attributes;
  const KeyboardSignalsIgnored ignored;
  ChildExit exit;
  pid_t pid = 0;
  exit.start_error = setup.search_path
                         ? posix_spawnp(&pid, program.c_str(), actions.get(), attributes.get(),
                                        argv.data(), environment.data())
                         : posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(),
                                       argv.data(), environment.data());
  if (exit.start_error == 0) exit.status = WaitFor(pid);
  return exit;
}

}  // namespace quarnell
