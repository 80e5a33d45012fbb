#include "tools/qebprint/spool_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace quarnell {
namespace {

std::string_view TrimBlanks(std::string_view text) {
  size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A number field: blanks, an optional sign, digits, blanks. Anything else, or a value outside
// [minimum, maximum], is not one.
bool ParseNumberField(std::string_view field, int32_t minimum, int32_t maximum, int32_t* value) {
  std::string_view text = TrimBlanks(field);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 9) return false;
  int32_t number = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + (c - '0');
  }
  if (negative) number = -number;
  if (number < minimum || number > maximum) return false;
  *value = number;
  return true;
}

bool ParseJustification(std::string_view code, SpoolInstruction* out) {
  std::string_view trimmed = TrimBlanks(code);
  if (trimmed.empty()) return false;
  switch (trimmed[0]) {
    case 'E':
    case 'e':
      out->justification = JustificationCode::kLeft;
      return true;
    case 'D':
    case 'd':
    case 'R':
    case 'r':
      out->justification = JustificationCode::kRight;
      return true;
    case 'C':
    case 'c':
      out->justification = JustificationCode::kCentre;
      return true;
    case 'A':
    case 'a':
    case 'B':
    case 'b':
      out->justification = JustificationCode::kBold;
      return true;
    case 'N':
    case 'n': {
      // "N 68 \.\": the leader column, then the fill character between backslashes.
      std::string_view rest = trimmed.substr(1);
      size_t backslash = rest.find('\\');
      std::string_view number = rest.substr(0, backslash);
      if (TrimBlanks(number).empty()) {
        out->leader_column = 0;
      } else if (!ParseNumberField(number, 0, kMaxSpoolColumn, &out->leader_column)) {
        return false;
      }
      out->leader_fill = ' ';
      if (backslash != std::string_view::npos && backslash + 1 < rest.size() &&
          rest[backslash + 1] != '\\') {
        out->leader_fill = rest[backslash + 1];
      }
      out->justification = JustificationCode::kLeaders;
      return true;
    }
    default:
      return false;
  }
}

}  // namespace

bool ParseSpoolLine(std::string_view line, SpoolInstruction* out) {
  *out = SpoolInstruction{};
  if (StartsWithNoCase(line, "DEVICE")) {
    out->kind = SpoolLineKind::kDevice;
    out->text = TrimBlanks(line.substr(6));
    return true;
  }
  if (StartsWithNoCase(line, "PAGE")) {
    out->kind = SpoolLineKind::kPage;
    return ParseNumberField(line.substr(4), 0, kMaxSpoolPageLength, &out->page_length);
  }
  if (StartsWithNoCase(line, "JUS")) {
    out->kind = SpoolLineKind::kJustification;
    return ParseJustification(line.substr(3), out);
  }
  if (!line.empty() && line[0] == '*') {
    out->kind = SpoolLineKind::kDirective;
    out->text = line.substr(1);
    return true;
  }
  // A text line is read from its first and its last comma, so commas inside the text survive.
  size_t first = line.find(',');
  size_t last = line.rfind(',');
  if (first == std::string_view::npos || first == last) return false;
  out->kind = SpoolLineKind::kText;
  out->text = line.substr(first + 1, last - first - 1);
  return ParseNumberField(line.substr(0, first), 0, kMaxSpoolColumn, &out->column) &&
         ParseNumberField(line.substr(last + 1), 0, kMaxSpoolAdvance, &out->advance);
}

bool SpoolReader::ReadLine() {
  line_.clear();
  too_long_ = false;
  std::streambuf* buffer = in_.rdbuf();
  if (buffer == nullptr) return false;
  bool any = false;
  for (;;) {
    int c = buffer->sbumpc();
    if (c == std::char_traits<char>::eof()) break;
    any = true;
    if (c == '\n') break;
    if (line_.size() < kMaxSpoolLineLength) {
      line_.push_back(static_cast<char>(c));
    } else {
      too_long_ = true;  // keep reading to the line end, but keep nothing more
    }
  }
  if (!any) return false;
  if (!line_.empty() && line_.back() == '\r') line_.pop_back();
  return true;
}

bool SpoolReader::Next(SpoolInstruction* out) {
  while (ReadLine()) {
    ++lines_read_;
    if (line_.empty() && !too_long_) continue;
    if (!too_long_ && ParseSpoolLine(line_, out)) return true;
    ++malformed_lines_;
    if (first_malformed_line_ == 0) first_malformed_line_ = lines_read_;
  }
  return false;
}

// Reads a descriptor in large blocks, up to a fixed number of bytes.
class SpoolFile::Buffer : public std::streambuf {
 public:
  ~Buffer() override {
    if (fd_ >= 0) close(fd_);
  }

  void Attach(int fd, int64_t size) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
    remaining_ = size;
    error_ = 0;
    setg(block_, block_, block_);
  }
  int error() const { return error_; }

 protected:
  int_type underflow() override {
    if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
    while (remaining_ > 0) {
      size_t want = static_cast<size_t>(std::min<int64_t>(remaining_, sizeof block_));
      ssize_t n = read(fd_, block_, want);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) error_ = errno;
      if (n <= 0) break;
      remaining_ -= n;
      setg(block_, block_, block_ + n);
      return traits_type::to_int_type(*gptr());
    }
    remaining_ = 0;
    return traits_type::eof();
  }

 private:
  int fd_ = -1;
  int64_t remaining_ = 0;
  int error_ = 0;
  char block_[1 << 16];
};

SpoolFile::SpoolFile() : buffer_(std::make_unique<Buffer>()), stream_(buffer_.get()) {}

SpoolFile::~SpoolFile() = default;

bool SpoolFile::Open(const std::string& path, std::string* problem) {
  // O_NONBLOCK: opening a pipe with no writer would wait for one.
  int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    *problem = "cannot read " + path + ": " + std::strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  if (!S_ISREG(info.st_mode)) {
    *problem = "cannot read " + path + ": " +
               (S_ISDIR(info.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  buffer_->Attach(fd, info.st_size);
  return true;
}

int SpoolFile::read_error() const { return buffer_->error(); }

}  // namespace quarnell
