// One statement run at a time per session directory: two runs that wrote the same spool file would
// mix their reports, and each would hand the other's pages to its print program. The guard is a
// lock on a side file beside the spool file ("qebprint.tmp-lck", as record files have theirs),
// which the system drops when its process ends, however it ends; the holder writes its process
// number into the file so that a run that finds the guard taken can say who holds it.
#ifndef QUARNELL_PRINT_SPOOL_GUARD_H_
#define QUARNELL_PRINT_SPOOL_GUARD_H_

#include <cstdint>
#include <string>

namespace quarnell {

class SpoolGuard {
 public:
  SpoolGuard() = default;
  ~SpoolGuard() { Release(); }
  SpoolGuard(const SpoolGuard&) = delete;
  SpoolGuard& operator=(const SpoolGuard&) = delete;

  // Takes the guard of the session directory whose lock file is `lock_path` (a host path),
  // waiting up to `wait_milliseconds` (in steps of the clock seam) while another process holds
  // it. Returns true when this object holds it (also when it held it already); false with the
  // reason in `problem` when another run still holds it after the wait ("another statement run
  // is using ...") or when the lock file cannot be opened. A guard held on another path is
  // released first.
  bool Claim(const std::string& lock_path, int32_t wait_milliseconds, std::string* problem);

  // Lets another run have the session directory; does nothing when not held.
  void Release();

  bool held() const { return fd_ >= 0; }
  const std::string& lock_path() const { return lock_path_; }

 private:
  int fd_ = -1;
  std::string lock_path_;
};

}  // namespace quarnell

#endif  // QUARNELL_PRINT_SPOOL_GUARD_H_
