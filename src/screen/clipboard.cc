#include "screen/clipboard.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

#include "text/cp850.h"

extern char** environ;

namespace quarnell {
namespace {

constexpr int kPasteTimeoutMilliseconds = 2000;

struct ClipboardState {
  std::string own;  // code page 850
  bool program_only = false;
};

ClipboardState& State() {
  static ClipboardState state;
  return state;
}

struct DesktopTool {
  std::vector<std::string> copy;
  std::vector<std::string> paste;
};

bool OnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    std::filesystem::path candidate = std::filesystem::path(rest.substr(0, colon)) / name;
    if (access(candidate.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

std::optional<DesktopTool> FindDesktopTool() {
  if (State().program_only) return std::nullopt;
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  if (wayland != nullptr && *wayland != '\0' && OnPath("wl-copy") && OnPath("wl-paste")) {
    return DesktopTool{{"wl-copy"}, {"wl-paste", "--no-newline"}};
  }
  const char* display = std::getenv("DISPLAY");
  if (display != nullptr && *display != '\0' && OnPath("xclip")) {
    return DesktopTool{{"xclip", "-selection", "clipboard", "-in"},
                       {"xclip", "-selection", "clipboard", "-out"}};
  }
  return std::nullopt;
}

// Starts `argv` with one end of a pipe as its standard input (`to_child`) or output, the other
// streams on /dev/null so that nothing reaches the screen. Returns the child and our end of the
// pipe, or nullopt when it cannot be started.
std::optional<std::pair<pid_t, int>> Start(const std::vector<std::string>& argv, bool to_child) {
  int pipe_fds[2];
  if (pipe2(pipe_fds, O_CLOEXEC) != 0) return std::nullopt;
  const int child_end = to_child ? pipe_fds[0] : pipe_fds[1];
  const int our_end = to_child ? pipe_fds[1] : pipe_fds[0];
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd = 0; fd <= 2; ++fd) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", O_RDWR, 0);
  }
  posix_spawn_file_actions_adddup2(&actions, child_end, to_child ? 0 : 1);
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(child_end);
  if (error != 0) {
    close(our_end);
    return std::nullopt;
  }
  return std::make_pair(pid, our_end);
}

bool Finish(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void CopyToDesktop(const DesktopTool& tool, const std::string& utf8) {
  auto started = Start(tool.copy, true);
  if (!started) return;
  auto [pid, fd] = *started;
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);  // a tool that quits early must not end the program
  for (size_t done = 0; done < utf8.size();) {
    const ssize_t n = write(fd, utf8.data() + done, utf8.size() - done);
    if (n <= 0 && errno != EINTR) break;
    if (n > 0) done += static_cast<size_t>(n);
  }
  sigaction(SIGPIPE, &previous, nullptr);
  close(fd);
  Finish(pid);
}

std::optional<std::string> PasteFromDesktop(const DesktopTool& tool) {
  auto started = Start(tool.paste, false);
  if (!started) return std::nullopt;
  auto [pid, fd] = *started;
  std::string utf8;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kPasteTimeoutMilliseconds);
  bool complete = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{fd, POLLIN, 0};
    if (left.count() <= 0 || poll(&waiting, 1, static_cast<int>(left.count())) == 0) break;
    char buffer[4096];
    const ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      complete = n == 0;
      break;
    }
    utf8.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  if (!complete) kill(pid, SIGKILL);
  if (!Finish(pid) || !complete) return std::nullopt;
  return utf8;
}

// UTF-8 to code page 850, "?" for each character the code page lacks or that is not UTF-8.
std::string ToCp850(std::string_view utf8) {
  std::string text;
  while (!utf8.empty()) {
    size_t bad = 0;
    if (std::optional<std::string> all = Utf8ToCp850(utf8, &bad)) return text + *all;
    text += Utf8ToCp850(utf8.substr(0, bad)).value_or("");
    text += '?';
    size_t skip = 1;
    while (bad + skip < utf8.size() && (static_cast<uint8_t>(utf8[bad + skip]) & 0xC0) == 0x80) {
      ++skip;
    }
    utf8.remove_prefix(bad + skip);
  }
  return text;
}

}  // namespace

std::string ClipboardText() {
  if (std::optional<DesktopTool> tool = FindDesktopTool()) {
    if (std::optional<std::string> utf8 = PasteFromDesktop(*tool)) return ToCp850(*utf8);
  }
  return State().own;
}

void SetClipboardText(std::string_view text) {
  State().own = std::string(text);
  if (std::optional<DesktopTool> tool = FindDesktopTool()) CopyToDesktop(*tool, Cp850ToUtf8(text));
}

void UseProgramClipboardOnly(bool only) { State().program_only = only; }

}  // namespace quarnell
