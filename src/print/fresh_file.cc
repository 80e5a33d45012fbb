#include "print/fresh_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>

#include "config/paths.h"
#include "config/small_files.h"

namespace quarnell {
namespace {

constexpr std::string_view kRandomPart = "XXXXXX";

std::string Reason(int error_number) { return std::strerror(error_number); }

bool IsAlphanumeric(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// ".<prefix>...<.XXXXXX>" as Create names a temporary file for a final name beginning with prefix.
bool IsTemporaryName(std::string_view name, std::string_view prefix) {
  const size_t suffix = kRandomPart.size() + 1;
  if (name.size() < 1 + prefix.size() + suffix || name[0] != '.' ||
      name.substr(1, prefix.size()) != prefix || name[name.size() - suffix] != '.') {
    return false;
  }
  for (char c : name.substr(name.size() - kRandomPart.size())) {
    if (!IsAlphanumeric(c)) return false;
  }
  return true;
}

// The directory is writable again before it goes, so that a read-only file inside cannot keep it.
void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::permissions(path, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path, ignored);
}

// Removes the staging directory `path` when it was last changed before `started` and no live
// writer holds its lock.
bool RemoveIfAbandonedDirectory(const std::string& path,
                                std::chrono::system_clock::time_point started) {
  const int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat info;
  const auto changed = [&info] {
    const auto since_epoch =
        std::chrono::seconds(info.st_mtim.tv_sec) + std::chrono::nanoseconds(info.st_mtim.tv_nsec);
    return std::chrono::system_clock::time_point(
        std::chrono::duration_cast<std::chrono::system_clock::duration>(since_epoch));
  };
  const bool abandoned =
      fstat(fd, &info) == 0 && changed() < started && flock(fd, LOCK_EX | LOCK_NB) == 0;
  if (abandoned) RemoveTree(path);
  close(fd);
  return abandoned;
}

}  // namespace

FreshFile::~FreshFile() { Discard(); }

bool FreshFile::Create(const std::string& final_path, std::string* error) {
  Discard();
  const std::string directory = HostDirectoryOf(final_path);
  std::string pattern =
      directory + "/." + HostFileName(final_path) + "." + std::string(kRandomPart);
  // Made private by its creation; what it becomes is an ordinary document.
  if (const int failure = aside_.Create(pattern, NewFileMode()); failure != 0) {
    return Failed("cannot create a file in " + directory, failure, error);
  }
  const int stream_fd = fcntl(aside_.fd(), F_DUPFD_CLOEXEC, 0);
  file_ = stream_fd < 0 ? nullptr : fdopen(stream_fd, "wb");
  if (file_ == nullptr) {
    const int error_number = errno;
    if (stream_fd >= 0) close(stream_fd);
    Discard();
    return Failed("cannot set up " + pattern, error_number, error);
  }
  return true;
}

bool FreshFile::Close(std::string* error) {
  if (file_ == nullptr) return true;
  bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0 && aside_.Sync() == 0;
  int error_number = errno;
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    error_number = errno;
  }
  file_ = nullptr;
  return ok || Failed("cannot write " + aside_.path(), error_number, error);
}

bool FreshFile::Replace(const std::string& final_path, std::string* error) {
  if (!Close(error)) return false;
  if (const int failure = aside_.MoveTo(final_path); failure != 0) {
    return Failed("cannot write " + final_path, failure, error);
  }
  return true;
}

bool FreshFile::PlaceAsNew(const std::string& final_path, std::string* placed, std::string* error) {
  if (!Close(error)) return false;
  size_t dot = final_path.rfind('.');
  if (dot != std::string::npos && final_path.find('/', dot) != std::string::npos) {
    dot = std::string::npos;  // a dot in a directory name is no extension
  }
  std::string stem = dot == std::string::npos ? final_path : final_path.substr(0, dot);
  std::string extension = dot == std::string::npos ? "" : final_path.substr(dot);
  for (int attempt = 1; attempt < 1000; ++attempt) {
    std::string candidate =
        attempt == 1 ? final_path : stem + "-" + std::to_string(attempt) + extension;
    const int failure = aside_.MoveToNewName(candidate);
    if (failure == EEXIST) continue;
    if (failure != 0) return Failed("cannot write " + candidate, failure, error);
    *placed = candidate;
    return true;
  }
  return Failed("too many files named " + final_path, EEXIST, error);
}

void FreshFile::Discard() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  aside_.Discard();
}

bool FreshFile::Failed(const std::string& what, int error_number, std::string* error) {
  error_number_ = error_number;
  *error = what + ": " + Reason(error_number);
  return false;
}

StagingDirectory::~StagingDirectory() { Discard(); }

bool StagingDirectory::Create(const std::string& parent, std::string_view name,
                              std::string* problem) {
  Discard();
  std::error_code error;
  std::filesystem::create_directories(parent, error);
  if (error) {
    *problem = "cannot create the directory " + parent + ": " + error.message();
    return false;
  }
  std::string pattern = parent + "/." + std::string(name) + "." + std::string(kRandomPart);
  if (mkdtemp(pattern.data()) == nullptr) {
    *problem = "cannot create a directory in " + parent + ": " + Reason(errno);
    return false;
  }
  path_ = pattern;
  // A lock on the directory itself tells a later start that its writer is alive.
  lock_fd_ = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (lock_fd_ < 0 || flock(lock_fd_, LOCK_EX) != 0) {
    *problem = "cannot set up " + path_ + ": " + Reason(errno);
    Discard();
    return false;
  }
  return true;
}

bool StagingDirectory::MoveFilesOut(const std::vector<std::string>& names, std::string* problem) {
  const std::string parent = HostDirectoryOf(path_);
  // One flush of the file system instead of one per file: a split writes thousands of them.
  if (syncfs(lock_fd_) != 0) {
    *problem = "cannot write " + path_ + ": " + Reason(errno);
    return false;
  }
  for (const std::string& name : names) {
    if (std::rename(File(name).c_str(), (parent + "/" + name).c_str()) != 0) {
      *problem = "cannot write " + parent + "/" + name + ": " + Reason(errno);
      return false;
    }
  }
  SyncDirectoryOf(parent + "/.");
  Discard();
  return true;
}

bool StagingDirectory::PlaceAsNew(const std::string& final_path, std::string* placed,
                                  std::string* problem) {
  if (syncfs(lock_fd_) != 0) {
    *problem = "cannot write " + path_ + ": " + Reason(errno);
    return false;
  }
  for (int attempt = 1; attempt < 1000; ++attempt) {
    std::string candidate = attempt == 1 ? final_path : final_path + "-" + std::to_string(attempt);
    if (renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
      *placed = candidate;
      Release();
      SyncDirectoryOf(candidate);
      return true;
    }
    if (errno == EEXIST) continue;
    if (errno != EINVAL && errno != ENOSYS) {
      *problem = "cannot create " + candidate + ": " + Reason(errno);
      return false;
    }
    // A file system that cannot refuse to replace: claim the name with an empty directory of
    // our own, which a rename may then replace.
    if (mkdir(candidate.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      *problem = "cannot create " + candidate + ": " + Reason(errno);
      return false;
    }
    if (std::rename(path_.c_str(), candidate.c_str()) != 0) {
      *problem = "cannot create " + candidate + ": " + Reason(errno);
      rmdir(candidate.c_str());
      return false;
    }
    *placed = candidate;
    Release();
    SyncDirectoryOf(candidate);
    return true;
  }
  *problem = "too many directories named " + final_path;
  return false;
}

void StagingDirectory::Discard() {
  if (!path_.empty()) RemoveTree(path_);
  Release();
}

void StagingDirectory::Release() {
  if (lock_fd_ >= 0) close(lock_fd_);
  lock_fd_ = -1;
  path_.clear();
}

int RemoveLeftoverDirectories(const std::string& parent, std::string_view name_prefix,
                              std::chrono::system_clock::time_point started) {
  std::unique_ptr<DIR, int (*)(DIR*)> listing(opendir(parent.c_str()), &closedir);
  if (listing == nullptr) return 0;
  std::vector<std::string> candidates;
  while (const dirent* entry = readdir(listing.get())) {
    if (IsTemporaryName(entry->d_name, name_prefix)) candidates.push_back(entry->d_name);
  }
  int removed = 0;
  for (const std::string& name : candidates) {
    if (RemoveIfAbandonedDirectory(parent + "/" + name, started)) ++removed;
  }
  return removed;
}

int RemoveLeftoverFiles(const std::string& directory, std::string_view name_prefix,
                        std::chrono::system_clock::time_point started) {
  return RemoveAbandonedFiles(
      directory.empty() ? "." : directory,
      [&](std::string_view name) { return IsTemporaryName(name, name_prefix); }, started);
}

}  // namespace quarnell
