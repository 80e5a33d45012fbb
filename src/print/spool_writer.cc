#include "print/spool_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "config/error_stop.h"

namespace quarnell {
namespace {

// Large enough that a statement of thousands of pages costs a few hundred write calls.
constexpr size_t kBufferSize = 1 << 16;

bool IsBlankedByte(unsigned char c) { return c < 32 || c == 127 || c == 255; }

// Line breaks inside a directive or device name would split the spool line in two; every other
// byte is passed on, printer escape sequences included.
void AppendWithoutLineBreaks(std::string& out, std::string_view text) {
  for (char c : text) out.push_back(c == '\r' || c == '\n' ? ' ' : c);
}

void AppendNumberField(std::string& out, int32_t value) {
  int64_t magnitude = value;
  out.push_back(magnitude < 0 ? '-' : ' ');
  if (magnitude < 0) magnitude = -magnitude;
  char digits[24];
  int count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  while (count > 0) out.push_back(digits[--count]);
  out.push_back(' ');
}

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// The number after the "N" of a justification code, read leniently: leading blanks,
// an optional sign, digits, an optional fraction (dropped); no number gives 0.
int32_t LeaderColumn(std::string_view rest) {
  size_t i = 0;
  while (i < rest.size() && rest[i] == ' ') ++i;
  if (i < rest.size() && (rest[i] == '-' || rest[i] == '+')) ++i;
  int64_t value = 0;
  for (; i < rest.size() && rest[i] >= '0' && rest[i] <= '9'; ++i) {
    value = value * 10 + (rest[i] - '0');
    if (value > INT16_MAX) value = INT16_MAX;  // columns are 16-bit; keep the largest
  }
  return static_cast<int32_t>(value);
}

}  // namespace

std::string SpoolNumberField(int32_t value) {
  std::string out;
  AppendNumberField(out, value);
  return out;
}

std::string NormalizeJustification(std::string_view code) {
  size_t first = code.find_first_not_of(' ');
  if (first == std::string_view::npos) return "E";
  size_t last = code.find_last_not_of(' ');
  std::string_view trimmed = code.substr(first, last - first + 1);
  switch (Upper(trimmed[0])) {
    case 'C':
      return "C";
    case 'D':
    case 'R':
      return "D";
    case 'A':
    case 'B':
      return "A";
    case 'N': {
      std::string out = "N";
      AppendNumberField(out, LeaderColumn(trimmed.substr(1)));
      out.pop_back();      // the number field without its trailing blank ...
      out.push_back(' ');  // ... and one blank before the fill part
      size_t open = code.find('\\');
      if (open != std::string_view::npos) {
        size_t close = code.find('\\', open + 1);
        std::string_view fill = close == std::string_view::npos
                                    ? code.substr(open)
                                    : code.substr(open, close - open + 1);
        AppendWithoutLineBreaks(out, fill);
      }
      return out;
    }
    default:
      return "E";
  }
}

std::string SpoolText(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (IsBlankedByte(static_cast<unsigned char>(c))) c = ' ';
  }
  return out;
}

SpoolWriter::~SpoolWriter() = default;  // the fresh file discards an unfinished report

void SpoolWriter::Open(const std::string& host_path, std::string_view device) {
  if (is_open()) Close();
  path_ = host_path;
  // The report is written under a temporary name and renamed over the spool file by Close: the
  // spool file is always the last complete report, whatever happens to this run.
  std::string problem;
  if (!file_.Create(host_path, &problem)) {
    Fail("cannot create the spool file", file_.error_number());
  }
  if (std::setvbuf(file_.file(), nullptr, _IOFBF, kBufferSize) != 0) {
    Fail("cannot set up the spool file", errno);
  }
  line_.assign("DEVICE");
  AppendWithoutLineBreaks(line_, device);
  WriteLine(line_);
}

void SpoolWriter::WritePage(int32_t length) {
  line_.assign("PAGE");
  AppendNumberField(line_, length);
  WriteLine(line_);
}

void SpoolWriter::WriteText(int32_t column, std::string_view text, int32_t advance) {
  line_.clear();
  AppendNumberField(line_, column);
  line_.push_back(',');
  line_.append(text);
  line_.push_back(',');
  AppendNumberField(line_, advance);
  WriteLine(line_);
}

void SpoolWriter::WriteJustification(std::string_view normalized_code) {
  line_.assign("JUS");
  line_.append(normalized_code);
  WriteLine(line_);
}

void SpoolWriter::WriteDirective(std::string_view text) {
  line_.assign(1, '*');  // not assign("*"): GCC 12 at -O3 warns falsely about that one
  AppendWithoutLineBreaks(line_, text);
  WriteLine(line_);
}

void SpoolWriter::Close() {
  if (!is_open()) return;
  std::string problem;
  if (!file_.Replace(path_, &problem)) Fail("cannot write the spool file", file_.error_number());
}

void SpoolWriter::WriteLine(std::string_view line) {
  std::FILE* file = file_.file();
  if (file == nullptr) {
    ErrorStop("print output written while no spool file is open");
  }
  if (std::fwrite(line.data(), 1, line.size(), file) != line.size() ||
      std::fwrite("\r\n", 1, 2, file) != 2) {
    Fail("cannot write the spool file", errno);
  }
}

void SpoolWriter::Fail(const char* what, int error_number) {
  std::string message = what;
  if (!path_.empty()) message += " " + path_;
  if (error_number != 0) message += std::string(": ") + std::strerror(error_number);
  // An unfinished report is of no use to anyone; the last complete one stays in place.
  file_.Discard();
  ErrorStop(message);
}

}  // namespace quarnell
