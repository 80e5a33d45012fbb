#include "print/spool_guard.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "config/paths.h"
#include "text/clock.h"

namespace quarnell {
namespace {

constexpr int32_t kPollMilliseconds = 100;

// Opens the lock file, creating it when missing. Another user's lock file that this user may not
// write still serves for the lock, only without the process number.
int OpenLockFile(const std::string& path, std::string* problem) {
  const int flags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | flags, 0666);
  int error = errno;
  if (fd < 0 && error == EACCES) {
    fd = open(path.c_str(), O_RDONLY | flags);
    // No lock file yet, in a directory this user may not write: the permission is the reason.
    if (fd < 0 && errno != ENOENT) error = errno;
  }
  if (fd < 0) {
    *problem = "cannot open " + path + ", the lock of the spool file: " + std::strerror(error) +
               "; the session directory " + (HostDirectoryOf(path) + "/") +
               " must exist and be writable by this user (check QEBTMP)";
    return -1;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    *problem = "cannot use " + path + " as the lock of the session directory: not a regular file";
    return -1;
  }
  return fd;
}

// The process number the holder wrote, empty when there is none to read.
std::string HolderOf(int fd) {
  char buffer[24];
  ssize_t n = pread(fd, buffer, sizeof buffer, 0);
  std::string holder;
  for (ssize_t i = 0; i < n && buffer[i] >= '0' && buffer[i] <= '9'; ++i) holder += buffer[i];
  return holder;
}

void WriteHolder(int fd) {
  const std::string pid = std::to_string(getpid()) + "\n";
  if (ftruncate(fd, 0) == 0) {
    [[maybe_unused]] ssize_t ignored = pwrite(fd, pid.data(), pid.size(), 0);
  }
}

}  // namespace

bool SpoolGuard::Claim(const std::string& lock_path, int32_t wait_milliseconds,
                       std::string* problem) {
  if (held() && lock_path == lock_path_) return true;
  Release();
  int fd = OpenLockFile(lock_path, problem);
  if (fd < 0) return false;
  for (int32_t waited = 0;; waited += kPollMilliseconds) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) {
      *problem = "cannot lock " + lock_path + ": " + std::strerror(errno);
      close(fd);
      return false;
    }
    if (waited >= wait_milliseconds) {
      const std::string holder = HolderOf(fd);
      *problem = "another statement run is using " + (HostDirectoryOf(lock_path) + "/") +
                 (holder.empty() ? "" : " (process " + holder + ")") +
                 "; try again when it has ended, or give this run a session directory of its "
                 "own (QEBTMP)";
      close(fd);
      return false;
    }
    CurrentClock().SleepMilliseconds(kPollMilliseconds);
  }
  WriteHolder(fd);
  fd_ = fd;
  lock_path_ = lock_path;
  return true;
}

void SpoolGuard::Release() {
  if (fd_ >= 0) close(fd_);  // closing the last descriptor drops the lock
  fd_ = -1;
  lock_path_.clear();
}

}  // namespace quarnell
