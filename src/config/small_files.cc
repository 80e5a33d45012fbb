#include "config/small_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "config/paths.h"

namespace quarnell {
namespace {

constexpr size_t kTemporarySuffixLength = 6;  // the XXXXXX of mkstemp

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// The permissions the replaced file keeps: those of the old file, or what a new file would get.
mode_t ModeFor(const std::string& host_path) {
  struct stat info;
  if (stat(host_path.c_str(), &info) == 0) return info.st_mode & 07777;
  return NewFileMode();
}

bool IsTemporaryName(std::string_view entry, std::string_view base) {
  if (entry.size() != base.size() + 1 + kTemporarySuffixLength) return false;
  if (!entry.starts_with(base) || entry[base.size()] != '.') return false;
  for (char c : entry.substr(base.size() + 1)) {
    const bool alphanumeric =
        (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!alphanumeric) return false;
  }
  return true;
}

bool Before(const timespec& time, std::chrono::system_clock::time_point cutoff) {
  const auto since_epoch =
      std::chrono::seconds(time.tv_sec) + std::chrono::nanoseconds(time.tv_nsec);
  return std::chrono::system_clock::time_point(
             std::chrono::duration_cast<std::chrono::system_clock::duration>(since_epoch)) < cutoff;
}

// Removes `path` when it is a regular file written before `cutoff` whose writer is gone: its lock
// can be taken (locks die with their process), and the name still names the file locked.
bool RemoveIfAbandoned(const std::string& path, std::chrono::system_clock::time_point cutoff) {
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC));
  if (file.get() < 0) return false;
  struct stat held;
  if (fstat(file.get(), &held) != 0 || !S_ISREG(held.st_mode)) return false;
  if (!Before(held.st_mtim, cutoff)) return false;
  if (flock(file.get(), LOCK_EX | LOCK_NB) != 0) return false;  // a live writer holds it
  struct stat named;
  if (lstat(path.c_str(), &named) != 0 || named.st_ino != held.st_ino ||
      named.st_dev != held.st_dev) {
    return false;
  }
  return unlink(path.c_str()) == 0;
}

}  // namespace

SmallFile ReadSmallFile(const std::string& host_path, size_t limit) {
  SmallFile result;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer forever.
  FileDescriptor file(open(host_path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0) {
    result.state =
        errno == ENOENT || errno == ENOTDIR ? FileState::kMissing : FileState::kUnreadable;
    result.error = errno;
    return result;
  }
  struct stat info;
  if (fstat(file.get(), &info) != 0) {
    result.state = FileState::kUnreadable;
    result.error = errno;
    return result;
  }
  if (!S_ISREG(info.st_mode)) {
    result.state = FileState::kNotRegular;
    return result;
  }
  char buffer[4096];
  while (result.bytes.size() < limit) {
    const size_t wanted = std::min(sizeof buffer, limit - result.bytes.size());
    const ssize_t n = read(file.get(), buffer, wanted);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      result.state = FileState::kUnreadable;
      result.error = errno;
      result.bytes.clear();
      return result;
    }
    result.bytes.append(buffer, static_cast<size_t>(n));
  }
  result.state = FileState::kRead;
  return result;
}

std::string FileProblem(const SmallFile& file) {
  switch (file.state) {
    case FileState::kRead:
      return {};
    case FileState::kMissing:
      return "no such file";
    case FileState::kNotRegular:
      return "not a regular file";
    case FileState::kUnreadable:
      break;
  }
  return std::strerror(file.error);
}

void SyncDirectoryOf(const std::string& host_path) {
  const int fd = open(HostDirectoryOf(host_path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

mode_t NewFileMode() {
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

int AsideFile::Create(std::string pattern, mode_t mode) {
  Discard();
  // mkostemp creates exclusively: it never opens an existing file nor follows a link.
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return errno;
  fd_ = fd;
  path_ = std::move(pattern);
  if (flock(fd_, LOCK_EX) != 0 || fchmod(fd_, mode) != 0) {
    const int error = errno;
    Discard();
    return error;
  }
  return 0;
}

int AsideFile::Sync() { return fsync(fd_) == 0 ? 0 : errno; }

int AsideFile::MoveTo(const std::string& final_path) {
  if (rename(path_.c_str(), final_path.c_str()) != 0) return errno;
  // The data is on disk already (Sync); the lock goes with the close, once the temporary name
  // is gone.
  Release();
  SyncDirectoryOf(final_path);
  return 0;
}

int AsideFile::MoveToNewName(const std::string& final_path) {
  // link() never replaces an existing name, so two writers in the same second cannot overwrite
  // each other's file.
  if (link(path_.c_str(), final_path.c_str()) == 0) {
    unlink(path_.c_str());
  } else {
    if (errno == EEXIST) return EEXIST;
    // A file system without hard links: check, then rename.
    struct stat info;
    if (lstat(final_path.c_str(), &info) == 0) return EEXIST;
    if (rename(path_.c_str(), final_path.c_str()) != 0) return errno;
  }
  Release();
  SyncDirectoryOf(final_path);
  return 0;
}

void AsideFile::Discard() {
  if (!path_.empty()) unlink(path_.c_str());
  Release();
}

void AsideFile::Release() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  path_.clear();
}

int ReplaceFile(const std::string& host_path, std::string_view bytes) {
  AsideFile file;
  if (const int error = file.Create(host_path + "." + std::string(kTemporarySuffixLength, 'X'),
                                    ModeFor(host_path));
      error != 0) {
    return error;
  }
  if (!WriteAll(file.fd(), bytes)) return errno;
  if (const int error = file.Sync(); error != 0) return error;
  return file.MoveTo(host_path);
}

void RemoveAbandonedTemporaries(const std::string& host_path,
                                std::chrono::system_clock::time_point cutoff) {
  const std::string base = HostFileName(host_path);
  RemoveAbandonedFiles(
      HostDirectoryOf(host_path),
      [&](std::string_view name) { return IsTemporaryName(name, base); }, cutoff);
}

int RemoveAbandonedFiles(const std::string& directory,
                         const std::function<bool(std::string_view name)>& is_temporary,
                         std::chrono::system_clock::time_point cutoff) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(directory.c_str()), &closedir);
  if (listing == nullptr) return 0;
  int removed = 0;
  while (const dirent* entry = readdir(listing.get())) {
    if (is_temporary(entry->d_name) && RemoveIfAbandoned(directory + "/" + entry->d_name, cutoff)) {
      ++removed;
    }
  }
  return removed;
}

}  // namespace quarnell
