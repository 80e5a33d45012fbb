// The locks of one open record file: byte-range locks on a small side file next to the database
// ("<path>-lck"). They belong to the open file description, so two opens of the same file in one
// process exclude each other like two processes do, and the system drops them when the process
// ends, however it ends.
#ifndef QUARNELL_RECORDS_ENGINE_SIDE_LOCK_H_
#define QUARNELL_RECORDS_ENGINE_SIDE_LOCK_H_

#include <cstdint>
#include <string>

namespace quarnell::engine {

class SideLock {
 public:
  SideLock() = default;
  ~SideLock();
  SideLock(const SideLock&) = delete;
  SideLock& operator=(const SideLock&) = delete;

  // Opens (creating when missing) the side file of the database at `database_path`.
  // False when it can be neither opened nor created.
  bool Open(const std::string& database_path);

  // The open lock: shared for ordinary opens, exclusive for an exclusive open or a Create.
  // Without waiting; false when another open description holds a conflicting lock.
  bool LockFileShared();
  bool LockFileExclusive();

  // One record's lock, without waiting; false when another description holds it.
  bool LockRecord(int64_t position);
  void UnlockRecord(int64_t position);

 private:
  bool Apply(short type, int64_t start, int64_t length);

  int fd_ = -1;
};

}  // namespace quarnell::engine

#endif  // QUARNELL_RECORDS_ENGINE_SIDE_LOCK_H_
