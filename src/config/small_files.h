// The installation's small files (settings files, the message file, the parameter table): read
// without ever waiting on something that is not a regular file and without taking more memory
// than the caller allows; replaced whole, so that no reader ever sees one cut.
#ifndef QUARNELL_CONFIG_SMALL_FILES_H_
#define QUARNELL_CONFIG_SMALL_FILES_H_

#include <sys/types.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace quarnell {

enum class FileState {
  kRead,        // bytes holds the file's first bytes
  kMissing,     // no such file (or a missing directory on the way)
  kNotRegular,  // a directory, a FIFO, a device: not read
  kUnreadable,  // it could not be opened or read; error holds errno
};

struct SmallFile {
  FileState state = FileState::kMissing;
  std::string bytes;
  int error = 0;
};

// Reads at most `limit` bytes of the file at `host_path`. The open never waits: a FIFO or a device
// in the file's place is reported as not regular without a byte read from it. A caller that must
// know whether the file is longer than what it keeps asks for one byte more.
SmallFile ReadSmallFile(const std::string& host_path, size_t limit);

// What went wrong with a file that is not kRead: "no such file", "not a regular file" or the
// system's text of the error.
std::string FileProblem(const SmallFile& file);

// A file written aside, under a temporary name beside its final place, and moved there only when
// complete, so that a reader of the final name sees the old file whole or the new one whole. The
// temporary file is created afresh (never an existing file, never through a link) and stays
// locked for as long as this object holds it, which tells RemoveAbandonedFiles that its writer is
// alive. One that is not moved into place is removed.
class AsideFile {
 public:
  AsideFile() = default;
  ~AsideFile() { Discard(); }
  AsideFile(const AsideFile&) = delete;
  AsideFile& operator=(const AsideFile&) = delete;

  // Creates a file named `pattern` with its final "XXXXXX" made unique, with permissions `mode`.
  // Returns 0, or the errno of the step that failed (and then holds nothing).
  int Create(std::string pattern, mode_t mode);

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  bool held() const { return fd_ >= 0; }

  // Flushes what was written to the disk. Returns 0 or errno.
  int Sync();

  // Renames the file over `final_path` (a link there is replaced, not followed) and makes the
  // rename itself last. Returns 0, or errno with the file still held.
  int MoveTo(const std::string& final_path);

  // Gives the file the name `final_path` when no file has it, without ever replacing one: EEXIST
  // when the name is taken. Returns 0, or errno with the file still held.
  int MoveToNewName(const std::string& final_path);

  // Removes the file; does nothing when none is held.
  void Discard();

 private:
  void Release();  // forgets the file without removing it

  int fd_ = -1;
  std::string path_;
};

// The permissions a new file of this program gets (0666 less the umask).
mode_t NewFileMode();

// Makes the renames in the directory of `host_path` survive a crash, as the renamed files do.
void SyncDirectoryOf(const std::string& host_path);

// Replaces the file at `host_path` with `bytes`: they go to a new temporary file beside it
// (`host_path` + ".XXXXXX"), are flushed to disk and the temporary file is renamed over the old
// one, so a reader sees the old content or the new, never a part. The permissions of the old file
// are kept (a new file gets the usual ones). The temporary file is locked for as long as it has
// its name, which tells RemoveAbandonedTemporaries that its writer is alive. Returns 0, or the
// errno of the step that failed, and then the old file is untouched and no temporary file is left.
int ReplaceFile(const std::string& host_path, std::string_view bytes);

// Removes the temporary files of ReplaceFile for `host_path` that a killed program left behind:
// those last written before `cutoff` (this program's start) and locked by no live process. A
// file another program is writing right now is never touched.
void RemoveAbandonedTemporaries(const std::string& host_path,
                                std::chrono::system_clock::time_point cutoff);

// The same for the temporary files in `directory` whose names `is_temporary` recognises, for
// writers that name theirs otherwise. Returns how many it removed.
int RemoveAbandonedFiles(const std::string& directory,
                         const std::function<bool(std::string_view name)>& is_temporary,
                         std::chrono::system_clock::time_point cutoff);

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_SMALL_FILES_H_
