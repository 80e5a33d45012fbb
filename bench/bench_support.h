// What the benchmark programs share: starting a built program as a child process (its wall and
// processor time, exit status, standard error and peak resident size), the processor time of a
// PostgreSQL server on this machine, and reading their options.
#ifndef QUARNELL_BENCH_BENCH_SUPPORT_H_
#define QUARNELL_BENCH_BENCH_SUPPORT_H_

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace quarnell::bench {

struct ChildRun {
  int status = -1;
  double seconds = 0;      // wall clock
  double cpu_seconds = 0;  // user and system time of the child
  // From the system when the child ends. A spawned child shares the benchmark's memory until it
  // starts the program, so this is at least the benchmark's own peak: keep the benchmark small.
  long peak_kib = 0;
  std::string err;
};

[[noreturn]] inline void Fail(const char* program, const std::string& what) {
  std::fprintf(stderr, "%s: %s\n", program, what.c_str());
  std::exit(1);
}

// Runs `args` (the program's path first) with standard output to /dev/null and standard error
// to `err_path`, and waits for it.
inline ChildRun Spawn(const std::vector<std::string>& args, const std::string& err_path) {
  std::vector<std::string> copy = args;
  std::vector<char*> argv;
  for (std::string& arg : copy) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  ChildRun run;
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    Fail("bench", "cannot start " + args[0]);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  posix_spawn_file_actions_destroy(&actions);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.peak_kib = usage.ru_maxrss;
  run.cpu_seconds = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
                    (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::ifstream in(err_path);
  run.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return run;
}

// Processor time of the processes of a PostgreSQL server that runs on this machine, from /proc:
// those running now and those that have ended (the server's main process collects them, and the
// system adds their time to its own account of its children). On a server most of a read's work
// is the server's, so the benchmarks add this to their own processor time.
class ServerClock {
 public:
  // `backend`: the process that serves one of the benchmark's connections (PQbackendPID).
  explicit ServerClock(int backend) : postmaster_(static_cast<int>(Field(backend, 4))) {}

  double Seconds() const {
    static const double tick = static_cast<double>(sysconf(_SC_CLK_TCK));
    // Fields 16 and 17: the time of the children already collected.
    int64_t ticks = Field(postmaster_, 16) + Field(postmaster_, 17);
    for (int child : Children()) ticks += Field(child, 14) + Field(child, 15);
    return static_cast<double>(ticks) / tick;
  }

  size_t Processes() const { return Children().size(); }

  // Waits (up to 2 s) until the server has no more than `processes` processes, so that those that
  // served a program which has ended are collected and their time counted.
  void Settle(size_t processes) const {
    for (int i = 0; i < 200 && Processes() > processes; ++i) usleep(10000);
  }

 private:
  std::vector<int> Children() const {
    const std::string id = std::to_string(postmaster_);
    std::ifstream in("/proc/" + id + "/task/" + id + "/children");
    std::vector<int> children;
    for (int child = 0; in >> child;) children.push_back(child);
    return children;
  }

  // Field `number` (1-based, as proc(5) counts) of /proc/PID/stat; 0 when the process is gone.
  static int64_t Field(int pid, int number) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    std::getline(in, line);
    const size_t name_end = line.rfind(')');
    if (name_end == std::string::npos) return 0;
    std::istringstream fields(line.substr(name_end + 1));
    std::string field;
    for (int i = 3; i <= number; ++i) fields >> field;
    return std::atoll(field.c_str());
  }

  int postmaster_;
};

// "500,2000" as numbers.
inline std::vector<int> ParseNumberList(const std::string& text) {
  std::vector<int> numbers;
  std::stringstream list(text);
  for (std::string item; std::getline(list, item, ',');) numbers.push_back(std::atoi(item.c_str()));
  return numbers;
}

}  // namespace quarnell::bench

#endif  // QUARNELL_BENCH_BENCH_SUPPORT_H_
