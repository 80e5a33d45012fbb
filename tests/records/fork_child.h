// A child process for tests where two processes must really use the same files at once. The
// child runs a function and ends with its result as exit code; parent and child pass single
// characters over two socket pairs to take turns. A side that writes after the other has ended
// (a child that finished its work before the parent's last word) is not killed by SIGPIPE: the
// character is simply lost.
#ifndef QUARNELL_TESTS_RECORDS_FORK_CHILD_H_
#define QUARNELL_TESTS_RECORDS_FORK_CHILD_H_

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace quarnell::testing {

class ForkChild {
 public:
  // Starts the child at once. `body` gets this object to talk to the parent.
  explicit ForkChild(const std::function<int(ForkChild&)>& body) {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, to_child_) != 0 ||
        socketpair(AF_UNIX, SOCK_STREAM, 0, to_parent_) != 0) {
      return;
    }
    std::fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
      in_child_ = true;
      CloseEnd(to_child_[1]);
      CloseEnd(to_parent_[0]);
      int code = body(*this);
      _exit(code);
    }
    // Each side keeps only its own ends, so that a side that ends is seen as gone.
    CloseEnd(to_child_[0]);
    CloseEnd(to_parent_[1]);
  }
  ~ForkChild() {
    if (pid_ > 0 && !waited_) Wait();
    for (int fd : {to_child_[0], to_child_[1], to_parent_[0], to_parent_[1]}) {
      if (fd >= 0) close(fd);
    }
  }
  ForkChild(const ForkChild&) = delete;
  ForkChild& operator=(const ForkChild&) = delete;

  bool started() const { return pid_ > 0; }

  // Sends one character to the other side.
  void Send(char c) { (void)!send(in_child_ ? to_parent_[1] : to_child_[1], &c, 1, MSG_NOSIGNAL); }
  // Waits for one character from the other side; 0 when the other side is gone.
  char Receive() {
    char c = 0;
    return read(in_child_ ? to_child_[0] : to_parent_[0], &c, 1) == 1 ? c : 0;
  }
  // In the child: true when the parent has sent something (which is consumed).
  bool Poll() {
    int fd = to_child_[0];
    int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    char c = 0;
    bool got = read(fd, &c, 1) == 1;
    fcntl(fd, F_SETFL, flags);
    return got;
  }

  // In the parent, at the end of a test: lets the child past the Receive it waits in, then gives
  // its exit code as Wait does.
  int Finish() {
    Send('x');
    return Wait();
  }

  // The child's exit code, -1 when it did not exit normally.
  int Wait() {
    int status = 0;
    waited_ = true;
    if (waitpid(pid_, &status, 0) != pid_) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  static void CloseEnd(int& fd) {
    close(fd);
    fd = -1;
  }

  int to_child_[2] = {-1, -1};
  int to_parent_[2] = {-1, -1};
  pid_t pid_ = -1;
  bool in_child_ = false;
  bool waited_ = false;
};

}  // namespace quarnell::testing

#endif  // QUARNELL_TESTS_RECORDS_FORK_CHILD_H_
