// Files the programs hand to others (the spool file, the rendered reports) are written under a
// hidden temporary name beside their final place and moved there only when complete. A reader of
// the final name sees the old file whole or the new one whole, never half of one; a link planted
// under either name is replaced, never written through. A temporary file stays locked while its
// writer lives, so that a later start of the program can tell the leftovers of a killed writer
// from the work of a live one.
#ifndef QUARNELL_PRINT_FRESH_FILE_H_
#define QUARNELL_PRINT_FRESH_FILE_H_

#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "config/small_files.h"

namespace quarnell {

class FreshFile {
 public:
  FreshFile() = default;
  ~FreshFile();  // Discards a file that was not placed.
  FreshFile(const FreshFile&) = delete;
  FreshFile& operator=(const FreshFile&) = delete;

  // Creates "<directory of final_path>/.<name of final_path>.XXXXXX" (a new file, never an
  // existing one), with the permissions of an ordinary new file, open for writing. False with the
  // reason in `error` when it cannot be created.
  bool Create(const std::string& final_path, std::string* error);

  // The stream to write to, nullptr once closed; and the temporary path.
  std::FILE* file() const { return file_; }
  const std::string& path() const { return aside_.path(); }

  // Flushes to the disk and closes the stream; the file stays locked until it is placed or
  // discarded. False with the reason when anything written was lost. Closing twice does nothing.
  bool Close(std::string* error);

  // Closes and renames the file to `final_path`, replacing what is there.
  bool Replace(const std::string& final_path, std::string* error);

  // Closes and gives the file the name `final_path`, or when that name is taken "-2", "-3" ...
  // before its extension: an existing file is never replaced. `placed` gets the name used.
  bool PlaceAsNew(const std::string& final_path, std::string* placed, std::string* error);

  // Closes and removes the file; does nothing when none is held.
  void Discard();

  // The system's error number of the last failure, for callers that word their own message.
  int error_number() const { return error_number_; }

 private:
  bool Failed(const std::string& what, int error_number, std::string* error);

  AsideFile aside_;  // keeps the file and its lock after the stream is closed
  std::FILE* file_ = nullptr;
  int error_number_ = 0;
};

// Removes the temporary files FreshFile left in `directory` for final names beginning with
// `name_prefix` (".<name_prefix>...XXXXXX") that a killed writer left behind: regular files last
// written before `started` (the calling program's start) and locked by no live writer. Returns how
// many it removed; a directory that cannot be read removes nothing.
int RemoveLeftoverFiles(const std::string& directory, std::string_view name_prefix,
                        std::chrono::system_clock::time_point started);

// A set of files written aside in the same way: a new hidden directory "<parent>/.<name>.XXXXXX",
// locked while its writer lives, whose files reach their final place only once all of them are
// complete. Discarded with everything in it unless placed.
class StagingDirectory {
 public:
  StagingDirectory() = default;
  ~StagingDirectory();
  StagingDirectory(const StagingDirectory&) = delete;
  StagingDirectory& operator=(const StagingDirectory&) = delete;

  // Creates `parent` (with its missing parents) when missing, then the hidden directory in it for
  // the final name `name`. False with the reason in `problem` when either cannot be made.
  bool Create(const std::string& parent, std::string_view name, std::string* problem);

  // The directory's path, empty when none is held; the path of a file in it.
  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }

  // Moves the named files of the directory into its parent, in the order given, each replacing a
  // file of the same name there, after flushing them to the disk; then removes the directory.
  // Callers name last the file that tells a reader the set is complete. On failure the files not
  // yet moved stay in the directory, which is discarded.
  bool MoveFilesOut(const std::vector<std::string>& names, std::string* problem);

  // Flushes everything to the disk and renames the directory to `final_path`, or when that name is
  // taken to "-2", "-3" ... after it: an existing directory is never replaced. `placed` gets the
  // path used.
  bool PlaceAsNew(const std::string& final_path, std::string* placed, std::string* problem);

  // Removes the directory and everything in it; does nothing when none is held.
  void Discard();

 private:
  void Release();

  std::string path_;
  int lock_fd_ = -1;
};

// Removes the staging directories in `parent` for final names beginning with `name_prefix` that a
// killed writer left: directories last changed before `started` and locked by no live writer.
// Returns how many it removed.
int RemoveLeftoverDirectories(const std::string& parent, std::string_view name_prefix,
                              std::chrono::system_clock::time_point started);

}  // namespace quarnell

#endif  // QUARNELL_PRINT_FRESH_FILE_H_
