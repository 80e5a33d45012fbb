#include "screen/browse_cache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

#include "config/paths.h"
#include "config/session.h"

namespace quarnell {
namespace {

constexpr size_t kLongestLine = std::numeric_limits<int16_t>::max();

void PutInt(std::string& out, int64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

int32_t GetInt32(const char* bytes) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[i]);
  return static_cast<int32_t>(value);
}

int16_t GetInt16(const char* bytes) {
  return static_cast<int16_t>(static_cast<uint8_t>(bytes[0]) |
                              (static_cast<uint16_t>(static_cast<uint8_t>(bytes[1])) << 8));
}

std::string EncodeEntry(int32_t previous, int32_t value, std::string_view text) {
  text = text.substr(0, kLongestLine);
  std::string bytes;
  bytes.reserve(kBrowseEntryHeader + text.size());
  PutInt(bytes, previous, 4);
  PutInt(bytes, value, 4);
  PutInt(bytes, static_cast<int64_t>(text.size()), 2);
  bytes.append(text);
  return bytes;
}

// Writes all of `bytes` at 0-based `offset`; 0 or errno.
int WriteAll(int fd, int64_t offset, std::string_view bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = pwrite(fd, bytes.data() + done, bytes.size() - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return n < 0 ? errno : ENOSPC;
    done += static_cast<size_t>(n);
  }
  return 0;
}

bool ReadAll(int fd, int64_t offset, char* bytes, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = pread(fd, bytes + done, length - done, offset + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::string BrowseCacheFile() { return HostPath(Session().session_directory + kBrowseFileName); }

int PrepareBrowseList(std::span<const PreparedEntry> entries) {
  BrowseCache cache;
  if (int error = cache.Create(BrowseCacheFile()); error != 0) return error;
  int32_t previous = 0;
  for (const PreparedEntry& entry : entries) {
    int error = 0;
    previous = cache.Append(previous, entry.value, entry.text, &error);
    if (previous == 0) {
      cache.Remove();
      return error;
    }
  }
  return 0;
}

BrowseCache::~BrowseCache() {
  if (fd_ >= 0) close(fd_);
}

int BrowseCache::Create(const std::string& host_path) {
  path_ = host_path;
  if (unlink(path_.c_str()) != 0 && errno != ENOENT) return errno;
  fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  size_ = 0;
  return fd_ < 0 ? errno : 0;
}

int BrowseCache::OpenPrepared(const std::string& host_path) {
  path_ = host_path;
  fd_ = open(path_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  if (fd_ < 0) return errno;
  struct stat info;
  int error = 0;
  if (fstat(fd_, &info) != 0) {
    error = errno;
  } else if (!S_ISREG(info.st_mode)) {
    error = EINVAL;
  }
  if (error != 0) {
    close(fd_);
    fd_ = -1;
    return error;
  }
  size_ = info.st_size;
  return 0;
}

int32_t BrowseCache::Append(int32_t previous, int32_t value, std::string_view text, int* error) {
  const std::string bytes = EncodeEntry(previous, value, text);
  if (size_ + static_cast<int64_t>(bytes.size()) >= std::numeric_limits<int32_t>::max()) {
    *error = EFBIG;
    return 0;
  }
  *error = WriteAll(fd_, size_, bytes);
  if (*error != 0) return 0;
  const auto position = static_cast<int32_t>(size_ + 1);
  size_ += static_cast<int64_t>(bytes.size());
  return position;
}

std::optional<BrowseEntry> BrowseCache::Read(int32_t position) const {
  if (fd_ < 0 || position < 1 || position + kBrowseEntryHeader - 1 > size_) return std::nullopt;
  char header[kBrowseEntryHeader];
  if (!ReadAll(fd_, position - 1, header, sizeof header)) return std::nullopt;
  const int16_t length = GetInt16(header + 8);
  if (length < 0 || position - 1 + kBrowseEntryHeader + length > size_) return std::nullopt;
  BrowseEntry entry;
  entry.position = position;
  entry.previous = GetInt32(header);
  entry.value = GetInt32(header + 4);
  entry.text.resize(static_cast<size_t>(length));
  if (!ReadAll(fd_, position - 1 + kBrowseEntryHeader, entry.text.data(), entry.text.size())) {
    return std::nullopt;
  }
  return entry;
}

void BrowseCache::Remove() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
  unlink(path_.c_str());
}

}  // namespace quarnell
