#include "config/translate.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <unordered_map>
#include <vector>

#include "config/message_file.h"
#include "config/paths.h"
#include "config/session.h"
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
};

MessageCatalogue catalogue;

bool StatRegularFile(const std::string& host_path, struct stat& info) {
  return stat(host_path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The catalogue of the message file at `program_path`, created empty when missing; nullptr when it
// can neither be found nor created (no LOCALE directory) or cannot be read.
const MessageCatalogue* CurrentCatalogue(const std::string& program_path) {
  if (catalogue.program_path != program_path) {
    catalogue = MessageCatalogue{};
    catalogue.program_path = program_path;
    catalogue.host_path = HostPath(program_path);
  }
  struct stat info;
  if (!StatRegularFile(catalogue.host_path, info)) {
    catalogue.loaded = false;
    catalogue.host_path = HostPath(program_path);
    if (!StatRegularFile(catalogue.host_path, info)) {
      int fd = open(catalogue.host_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
      if (fd < 0) return nullptr;
      close(fd);
      if (!StatRegularFile(catalogue.host_path, info)) return nullptr;
    }
  }

  FileIdentity identity = FileIdentity::Of(info);
  if (catalogue.loaded && catalogue.identity == identity) return &catalogue;

  // The identity is taken before reading: a write during the read changes the file's times, so
  // the next call reads it again.
  catalogue.loaded = false;
  std::ifstream in(catalogue.host_path, std::ios::binary);
  if (!in) return nullptr;
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return nullptr;

  catalogue.records = ParseMessageFile(bytes);
  catalogue.first_record.clear();
  for (size_t i = 0; i < catalogue.records.size(); ++i) {
    catalogue.first_record.emplace(catalogue.records[i][kCatalanField], i);  // first one wins
  }
  catalogue.identity = identity;
  catalogue.loaded = true;
  return &catalogue;
}

}  // namespace

void SetModuleName(std::string_view name) { module_name.assign(name); }

const std::string& ModuleName() { return module_name; }

void SetMessageFileName(std::string_view name) { message_file_name.assign(name); }

std::string Translate(std::string_view text) {
  const std::string& code = LanguageCode();
  if (code == "CAT") return std::string(text);

  // The module name is looked up on every call rather than copied into the file name once, so a
  // module name set after the first lookup still counts.
  const std::string& base = message_file_name.empty() ? module_name : message_file_name;
  std::string program_path = Session().root_directory + "LOCALE\\" + base + ".LNG";
  const MessageCatalogue* messages = CurrentCatalogue(program_path);
  if (messages == nullptr) return std::string(text);

  auto found = messages->first_record.find(text);
  if (found == messages->first_record.end()) return std::string(text);
  const MessageRecord& record = messages->records[found->second];
  if (code == "SPA") return record[kSpanishField];
  if (code == "GLG") return record[kGalicianField];
  if (code == "OCI") return record[kAraneseField];
  return std::string(text);
}

}  // namespace quarnell
