// Reading a spool file back: one instruction per line (see print/spool_writer.h for the format).
// The reader never trusts the file: a line it cannot understand is skipped and counted, and no
// line, however long or strange, makes it hold more than one line's worth of memory.
#ifndef QUARNELL_TOOLS_QEBPRINT_SPOOL_READER_H_
#define QUARNELL_TOOLS_QEBPRINT_SPOOL_READER_H_

#include <cstdint>
#include <istream>
#include <memory>
#include <streambuf>
#include <string>
#include <string_view>

namespace quarnell {

// Limits beyond which a number in a spool line counts as damage: no report places text past
// column 999, moves more than 999 lines at once or asks for pages longer than 999 lines.
inline constexpr int32_t kMaxSpoolColumn = 999;
inline constexpr int32_t kMaxSpoolAdvance = 999;
inline constexpr int32_t kMaxSpoolPageLength = 999;
// Longer lines are damage too (a statement line is under 200 bytes).
inline constexpr size_t kMaxSpoolLineLength = 4096;

enum class SpoolLineKind { kDevice, kPage, kJustification, kDirective, kText };

// What a justification line asks for.
enum class JustificationCode { kLeft, kRight, kCentre, kBold, kLeaders };

struct SpoolInstruction {
  SpoolLineKind kind = SpoolLineKind::kText;
  // kDevice: the device name, blanks around it removed; kDirective: the directive; kText: the
  // text between the first and the last comma. Points into the reader's line buffer: valid until
  // the next line is read.
  std::string_view text;
  int32_t column = 0;                                          // kText
  int32_t advance = 0;                                         // kText
  int32_t page_length = 0;                                     // kPage
  JustificationCode justification = JustificationCode::kLeft;  // kJustification
  int32_t leader_column = 0;  // kJustification with kLeaders: fill up to this column
  char leader_fill = ' ';     // ... with this byte (blank when the code names none)
};

// Parses one spool line (without its line end). Returns false, leaving `out` in an unspecified
// state, when the line is not a well-formed instruction: unknown kind, a text line without two
// commas, a number that is not a number field or lies outside the limits above, a justification
// code that is not C, D, A, E or N (R and B are taken as D and A, as the writer does).
bool ParseSpoolLine(std::string_view line, SpoolInstruction* out);

// Reads instructions from a stream. Lines end in LF, optionally preceded by CR; a last line
// without line end counts. Empty lines are skipped without being counted as damage.
class SpoolReader {
 public:
  explicit SpoolReader(std::istream& in) : in_(in) {}

  // The next well-formed instruction; false at the end of the input.
  bool Next(SpoolInstruction* out);

  int64_t lines_read() const { return lines_read_; }
  int64_t malformed_lines() const { return malformed_lines_; }
  // The line number (1-based) of the first malformed line, 0 when there is none.
  int64_t first_malformed_line() const { return first_malformed_line_; }

 private:
  // Reads the next line into line_; false at the end. Sets too_long_ when it had to be cut.
  bool ReadLine();

  std::istream& in_;
  std::string line_;
  bool too_long_ = false;
  int64_t lines_read_ = 0;
  int64_t malformed_lines_ = 0;
  int64_t first_malformed_line_ = 0;
};

// A spool file open for reading. Only a regular file is one: a directory cannot be read, and a
// pipe or a device (/dev/zero) may never end. The file is read at most to the size it had when it
// was opened, so a file that keeps growing cannot keep the program reading either.
class SpoolFile {
 public:
  SpoolFile();
  ~SpoolFile();
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;

  // Opens `path`; false with "cannot read <path>: <why>" in `problem` when it cannot be read or is
  // no regular file. Opening never waits, whatever `path` names.
  bool Open(const std::string& path, std::string* problem);

  std::istream& stream() { return stream_; }
  // The system's error number of a read that failed part way; 0 when none did.
  int read_error() const;

 private:
  class Buffer;
  std::unique_ptr<Buffer> buffer_;
  std::istream stream_;
};

}  // namespace quarnell

#endif  // QUARNELL_TOOLS_QEBPRINT_SPOOL_READER_H_
