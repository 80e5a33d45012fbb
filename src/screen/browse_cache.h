// The cache file of a pick list, "Browse.tmp" in the session directory: the lines of the list as
// they are read, so that moving back never reads the record file again. Its layout is fixed (a
// caller may prepare a list in it): entries one after another from position 1 (positions count
// from 1), each
//
//   4 bytes  position of the previous entry, signed little-endian; 0 for the first
//   4 bytes  the record's physical position in its file, or the value a prepared entry gives
//   2 bytes  n, the length of the line, signed little-endian
//   n bytes  the line
#ifndef QUARNELL_SCREEN_BROWSE_CACHE_H_
#define QUARNELL_SCREEN_BROWSE_CACHE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace quarnell {

inline constexpr char kBrowseFileName[] = "Browse.tmp";
inline constexpr int32_t kBrowseEntryHeader = 10;

struct BrowseEntry {
  int32_t position = 0;  // where the entry starts; 0 for no entry
  int32_t previous = 0;
  int32_t value = 0;  // the record position, or a prepared entry's value
  std::string text;

  int32_t Next() const { return position + kBrowseEntryHeader + static_cast<int32_t>(text.size()); }
};

// An entry to prepare: the value Browse gives back for it and its line.
struct PreparedEntry {
  int32_t value = 0;
  std::string text;
};

// The host path of the cache file of this session.
std::string BrowseCacheFile();

// Writes `entries` as a new cache file for a prepared list (file number 0), replacing any other.
// Returns 0 or the errno of the failure.
int PrepareBrowseList(std::span<const PreparedEntry> entries);

class BrowseCache {
 public:
  BrowseCache() = default;
  ~BrowseCache();  // closes the file; it stays on disk until Remove
  BrowseCache(const BrowseCache&) = delete;
  BrowseCache& operator=(const BrowseCache&) = delete;

  // A new empty file at `host_path`. Whatever is at that name (the file of an interrupted program,
  // a link) is removed first, never written through or appended to. 0 or errno.
  int Create(const std::string& host_path);
  // The file a caller prepared. 0 or errno (ENOENT when there is none).
  int OpenPrepared(const std::string& host_path);

  // Appends an entry and returns its position; 0 when it cannot be written (`error` then holds
  // the errno). A line longer than 32767 characters is cut there.
  int32_t Append(int32_t previous, int32_t value, std::string_view text, int* error);

  // The entry that starts at `position`; nullopt when none does or it runs past the end of the
  // file (a prepared file cut short).
  std::optional<BrowseEntry> Read(int32_t position) const;

  // Closes the file and deletes it.
  void Remove();

  bool is_open() const { return fd_ >= 0; }

 private:
  std::string path_;
  int fd_ = -1;
  int64_t size_ = 0;
};

}  // namespace quarnell

#endif  // QUARNELL_SCREEN_BROWSE_CACHE_H_
