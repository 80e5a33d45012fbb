#include "records/engine/side_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace quarnell::engine {
namespace {

// Byte 0 is the open lock; record locks sit above every byte the open lock could ever use, one
// byte per record position.
constexpr int64_t kRecordLockBase = int64_t{1} << 32;

}  // namespace

SideLock::~SideLock() {
  if (fd_ >= 0) close(fd_);
}

bool SideLock::Open(const std::string& database_path) {
  std::string path = database_path + "-lck";
  fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  return fd_ >= 0;
}

bool SideLock::Apply(short type, int64_t start, int64_t length) {
  if (fd_ < 0) return false;
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = start;
  lock.l_len = length;
  lock.l_pid = 0;  // required for open-description locks
  int rc;
  do {
    rc = fcntl(fd_, F_OFD_SETLK, &lock);
  } while (rc != 0 && errno == EINTR);
  return rc == 0;
}

bool SideLock::LockFileShared() { return Apply(F_RDLCK, 0, 1); }

bool SideLock::LockFileExclusive() { return Apply(F_WRLCK, 0, 1); }

bool SideLock::LockRecord(int64_t position) {
  return Apply(F_WRLCK, kRecordLockBase + position, 1);
}

void SideLock::UnlockRecord(int64_t position) { Apply(F_UNLCK, kRecordLockBase + position, 1); }

}  // namespace quarnell::engine
