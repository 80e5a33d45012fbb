#include "config/translate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <limits>
#include <unordered_map>
#include <vector>

#include "config/alerts.h"
#include "config/message_file.h"
#include "config/paths.h"
#include "config/session.h"
#include "config/small_files.h"
#include "text/language.h"

namespace quarnell {
namespace {

std::string module_name;
std::string message_file_name;

// What identifies one version of the message file. Every write changes the size or the
// modification and change times, and a replaced file has another inode.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  static FileIdentity Of(const struct stat& info) {
    return {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_ctim};
  }
  bool operator==(const FileIdentity& other) const {
    return device == other.device && inode == other.inode && size == other.size &&
           modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec &&
           changed.tv_sec == other.changed.tv_sec && changed.tv_nsec == other.changed.tv_nsec;
  }
};

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// The statement translates every label of every line for thousands of owners, so the parsed file
// is kept, but only while the file on disk is the very same: a change of the file is seen by the
// next call, as if every call read the file again.
struct MessageCatalogue {
  std::string program_path;
  std::string host_path;
  bool loaded = false;
  FileIdentity identity;
  std::vector<MessageRecord> records;
  // Catalan text -> first record with it; looked up by string_view without a copy.
  std::unordered_map<std::string, size_t, TextHash, std::equal_to<>> first_record;
  // Whether the operator was told that this version of the file lacks a text it must have.
  bool told_missing = false;
};

MessageCatalogue catalogue;

// What the operator is told when the translations cannot be used: the texts then print in
// Catalan, whatever the owner's or the user's language.
void WarnUntranslated(const std::string& host_path, std::string_view problem) {
  WarnOperator("the message file " + host_path + " " + std::string(problem) +
               ": texts are printed in Catalan");
}

// A missing message file is created empty (so other programs of the suite find it); O_EXCL, so
// whatever took its place meanwhile is never opened for writing.
void CreateMissingMessageFile(const std::string& host_path) {
  WarnUntranslated(host_path, "is missing");
  const int fd =
      open(host_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK | O_CLOEXEC, 0666);
  if (fd >= 0) close(fd);
}

// Reads and parses the file into the catalogue; false (with a warning) when it cannot be used.
bool LoadCatalogue(const FileIdentity& identity) {
  const SmallFile file = ReadSmallFile(catalogue.host_path, std::numeric_limits<size_t>::max());
  if (file.state != FileState::kRead) {
    WarnUntranslated(catalogue.host_path, "cannot be read (" + FileProblem(file) + ")");
    return false;
  }
  bool cut_short = false;
  catalogue.records = ParseMessageFile(file.bytes, &cut_short);
  if (cut_short) {
    WarnOperator("the message file " + catalogue.host_path +
                 " is damaged: it ends in the middle of the record after record " +
                 std::to_string(catalogue.records.size()) + "; that text is printed in Catalan");
  } else if (catalogue.records.empty()) {
    WarnUntranslated(catalogue.host_path, "holds no translations");
  }
  catalogue.first_record.clear();
  for (size_t i = 0; i < catalogue.records.size(); ++i) {
    catalogue.first_record.emplace(catalogue.records[i][kCatalanField], i);  // first one wins
  }
  catalogue.identity = identity;
  catalogue.loaded = true;
  // A file cut in the middle of a record was told already.
  catalogue.told_missing = cut_short;
  return true;
}

// The catalogue of the message file at `program_path`, created empty when missing; nullptr when it
// is not a regular file or cannot be read. Each problem is told to the operator once.
const MessageCatalogue* CurrentCatalogue(const std::string& program_path) {
  if (catalogue.program_path != program_path) {
    catalogue = MessageCatalogue{};
    catalogue.program_path = program_path;
    catalogue.host_path = HostPath(program_path);
  }
  struct stat info;
  if (stat(catalogue.host_path.c_str(), &info) != 0) {
    catalogue.loaded = false;
    catalogue.host_path = HostPath(program_path);
    if (stat(catalogue.host_path.c_str(), &info) != 0) {
      if (errno != ENOENT) {
        WarnUntranslated(catalogue.host_path,
                         "cannot be read (" + std::string(std::strerror(errno)) + ")");
        return nullptr;
      }
      CreateMissingMessageFile(catalogue.host_path);
      if (stat(catalogue.host_path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return nullptr;
      // Known to be empty, and the operator was told it was missing: not told again that it is
      // empty.
      catalogue.records.clear();
      catalogue.first_record.clear();
      catalogue.identity = FileIdentity::Of(info);
      catalogue.loaded = true;
    }
  }
  if (!S_ISREG(info.st_mode)) {
    catalogue.loaded = false;
    WarnUntranslated(catalogue.host_path, "is not a regular file");
    return nullptr;
  }

  // The identity is taken before reading: a write during the read changes the file's times, so
  // the next call reads it again.
  const FileIdentity identity = FileIdentity::Of(info);
  if (catalogue.loaded && catalogue.identity == identity) return &catalogue;
  catalogue.loaded = false;
  return LoadCatalogue(identity) ? &catalogue : nullptr;
}

// The translation of `text` into the current language; *missing (when given) becomes true when
// the message file holds translations but none of `text`.
std::string TranslateText(std::string_view text, bool* missing) {
  const std::string& code = LanguageCode();
  if (code == "CAT") return std::string(text);

  // The module name is looked up on every call rather than copied into the file name once, so a
  // module name set after the first lookup still counts.
  const std::string& base = message_file_name.empty() ? module_name : message_file_name;
  std::string program_path = Session().root_directory + "LOCALE\\" + base + ".LNG";
  const MessageCatalogue* messages = CurrentCatalogue(program_path);
  if (messages == nullptr) return std::string(text);

  auto found = messages->first_record.find(text);
  if (found == messages->first_record.end()) {
    if (missing != nullptr) *missing = !messages->records.empty();
    return std::string(text);
  }
  const MessageRecord& record = messages->records[found->second];
  if (code == "SPA") return record[kSpanishField];
  if (code == "GLG") return record[kGalicianField];
  if (code == "OCI") return record[kAraneseField];
  return std::string(text);
}

}  // namespace

void SetModuleName(std::string_view name) { module_name.assign(name); }

const std::string& ModuleName() { return module_name; }

void SetMessageFileName(std::string_view name) { message_file_name.assign(name); }

std::string Translate(std::string_view text) { return TranslateText(text, nullptr); }

std::string TranslateRequired(std::string_view text) {
  bool missing = false;
  std::string translated = TranslateText(text, &missing);
  if (missing && !catalogue.told_missing) {
    catalogue.told_missing = true;
    WarnOperator("the message file " + catalogue.host_path + " has no translation of \"" +
                 std::string(text) +
                 "\" (it may be cut short, or of another version of the program): such texts are "
                 "printed in Catalan");
  }
  return translated;
}

}  // namespace quarnell
