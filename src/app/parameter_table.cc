#include "app/parameter_table.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "config/error_stop.h"
#include "config/paths.h"
#include "config/session.h"

namespace quarnell {
namespace {

struct DefaultField {
  size_t offset;
  size_t width;
  std::string_view value;
};

// Fields this program fills; everything else of the record stays zero bytes.
constexpr DefaultField kDefaults[] = {
    {10, 1, "N"},
    {11, 3, "VAR"},
    {14, 3, "COB"},
    {17, 1, "N"},
    {18, 1, "S"},
    {19, 3, "HON"},
    {22, 3, "SUP"},
    {25, 3, "RHO"},
    {28, 3, "SSF"},
    {31, 3, "SNF"},
    {34, 3, "RIV"},
    {37, 3, "IIV"},
    {40, 20, "REBUT LLOGUER"},
    {60, 20, "ENDARRERIMENTS"},
    {80, 20, ""},
    {100, 20, ""},
    {120, 20, ""},
    {140, 20, ""},
    {160, 20, ""},
    {180, 20, ""},
    {200, 20, ""},
    {220, 20, ""},
    {240, 9, "551"},
    {249, 9, "552"},
    {258, 9, "705"},
    {267, 9, "705"},
    {276, 9, "754"},
    {285, 9, "759"},
    {294, 9, "473"},
    {303, 9, "430"},
    {312, 1, "S"},
    {315, 3, "RLO"},
};

constexpr size_t kOutlayFlagOffset = 17;
constexpr size_t kFeeConceptOffset = 19;
constexpr size_t kOutlayConceptOffset = 22;

ParameterRecord merged_record = DefaultParameterRecord();

std::string TablePath() { return HostPath(Session().root_directory + "DADES\\VParam.tab"); }

[[noreturn]] void TableFailure(const std::string& what, const std::string& path, int error) {
  ErrorStop(what + " " + path + ": " + std::strerror(error));
}

// The stored table, empty when there is none.
std::string ReadStoredTable(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    TableFailure("cannot open the parameter table", path, errno);
  }
  std::string bytes;
  char buffer[4096];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      TableFailure("cannot read the parameter table", path, error);
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return bytes;
}

// The permissions the table keeps: those of the old table, or what a new file would get.
mode_t TableMode(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0) return info.st_mode & 07777;
  mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

void WriteTable(const std::string& path, const ParameterRecord& record) {
  std::string temporary = path + ".XXXXXX";
  int fd = mkstemp(temporary.data());
  if (fd < 0) TableFailure("cannot write the parameter table", path, errno);
  auto fail = [&](int error) {
    close(fd);
    unlink(temporary.c_str());
    TableFailure("cannot write the parameter table", path, error);
  };
  size_t written = 0;
  while (written < record.size()) {
    ssize_t n = write(fd, record.data() + written, record.size() - written);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(errno);
    }
    written += static_cast<size_t>(n);
  }
  if (fchmod(fd, TableMode(path)) != 0 || fsync(fd) != 0) fail(errno);
  if (close(fd) != 0) {
    int error = errno;
    unlink(temporary.c_str());
    TableFailure("cannot write the parameter table", path, error);
  }
  if (rename(temporary.c_str(), path.c_str()) != 0) {
    int error = errno;
    unlink(temporary.c_str());
    TableFailure("cannot replace the parameter table", path, error);
  }
  // The rename itself must survive a crash too.
  std::string directory = path.substr(0, path.find_last_of('/') + 1);
  int dir_fd =
      open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir_fd >= 0) {
    fsync(dir_fd);
    close(dir_fd);
  }
}

}  // namespace

ParameterRecord DefaultParameterRecord() {
  ParameterRecord record{};
  for (const DefaultField& field : kDefaults) {
    std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(field.offset), field.width, ' ');
    std::copy(field.value.begin(), field.value.end(),
              record.begin() + static_cast<std::ptrdiff_t>(field.offset));
  }
  return record;
}

ParameterRecord MergeParameterRecord(std::string_view stored) {
  ParameterRecord record = DefaultParameterRecord();
  const size_t n = std::min(stored.size(), record.size());
  std::copy_n(stored.begin(), n, record.begin());
  return record;
}

ParameterValues ValuesOf(const ParameterRecord& record) {
  ParameterValues values;
  values.fee_concept.assign(record.data() + kFeeConceptOffset, 3);
  values.outlay_concept.assign(record.data() + kOutlayConceptOffset, 3);
  values.outlay_flag = record[kOutlayFlagOffset];
  return values;
}

void LoadParameterTable() {
  const std::string path = TablePath();
  ParameterRecord record = MergeParameterRecord(ReadStoredTable(path));
  WriteTable(path, record);
  merged_record = record;
}

const ParameterRecord& Parameters() { return merged_record; }

ParameterValues ParameterTableValues() { return ValuesOf(merged_record); }

}  // namespace quarnell
