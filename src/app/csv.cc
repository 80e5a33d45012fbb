#include "app/csv.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace quarnell {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr size_t kBlockSize = 64 * 1024;
// A value quoted in a message shows at most this many characters of the field.
constexpr size_t kShownCharacters = 40;

bool StartsCharacter(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

// The first `count` UTF-8 characters of `text`, and never more bytes than they can take.
std::string_view FirstCharacters(std::string_view text, size_t count) {
  size_t characters = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (StartsCharacter(text[i]) && characters++ == count) return text.substr(0, i);
    if (i == 4 * count) return text.substr(0, i);
  }
  return text;
}

}  // namespace

std::string OpenQuoteHint() {
  return " (it begins with a quote and runs on over commas or line ends: is its closing quote "
         "missing?)";
}

size_t CsvText::Read(char* buffer, size_t capacity) {
  const size_t count = std::min(capacity, text_.size());
  std::memcpy(buffer, text_.data(), count);
  text_.remove_prefix(count);
  return count;
}

CsvReader::CsvReader(std::string_view text) : own_text_(std::in_place, text) {
  source_ = &*own_text_;
}

CsvReader::CsvReader(CsvSource* source) : source_(source) {}

bool CsvReader::Refill(size_t wanted) {
  if (buffer_.empty()) buffer_.resize(kBlockSize);
  while (end_ - begin_ < wanted && !exhausted_) {
    if (begin_ > 0) {
      std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
      end_ -= begin_;
      begin_ = 0;
    }
    const size_t got = source_->Read(buffer_.data() + end_, buffer_.size() - end_);
    if (got == 0) exhausted_ = true;
    end_ += got;
  }
  return end_ - begin_ >= wanted;
}

int CsvReader::Peek(size_t ahead) {
  if (end_ - begin_ <= ahead && !Refill(ahead + 1)) return kEnd;
  return static_cast<unsigned char>(buffer_[begin_ + ahead]);
}

bool CsvReader::AtRowEnd() {
  const int c = Peek();
  return c == kEnd || c == ',' || c == '\n' || (c == '\r' && Peek(1) == '\n');
}

bool CsvReader::Fail(int64_t line, int32_t column, std::string message, CsvErrorKind kind) {
  error_.emplace();
  error_->line = line;
  error_->column = column;
  error_->message = std::move(message);
  error_->kind = kind;
  return false;
}

bool CsvReader::Append(std::string* field, std::string_view bytes, int64_t field_line,
                       int32_t column, bool quoted) {
  field->append(bytes);
  const size_t limit = limits_.max_field_characters;
  if (limit == 0) return true;
  for (const char byte : bytes) field_characters_ += StartsCharacter(byte);
  if (field_characters_ <= limit && field->size() <= 4 * limit) return true;
  const bool open_quote = quoted && field->find_first_of(",\n") != std::string::npos;
  Fail(field_line, column,
       "the value \"" + std::string(FirstCharacters(*field, kShownCharacters)) +
           "...\" has more than " + std::to_string(limit) + " characters" +
           (open_quote ? OpenQuoteHint() : ""),
       CsvErrorKind::kFieldTooLong);
  error_->value = FirstCharacters(*field, kShownCharacters);
  error_->open_quote = open_quote;
  return false;
}

std::string_view CsvReader::RunUntil(bool quoted) {
  if (begin_ == end_) Refill(1);
  size_t run = begin_;
  if (quoted) {
    while (run < end_ && buffer_[run] != '"' && buffer_[run] != '\n') ++run;
  } else {
    while (run < end_ && buffer_[run] != ',' && buffer_[run] != '\n' && buffer_[run] != '\r' &&
           buffer_[run] != '"') {
      ++run;
    }
  }
  const std::string_view bytes(buffer_.data() + begin_, run - begin_);
  begin_ = run;
  return bytes;
}

bool CsvReader::ReadField(std::string* field, int32_t column) {
  const int64_t field_line = line_;
  field_characters_ = 0;
  if (Peek() != '"') {
    // Bytes that can end the field come one at a time; the others a run at a time.
    while (true) {
      if (!Append(field, RunUntil(false), field_line, column, false)) return false;
      if (AtRowEnd()) return true;
      const char c = static_cast<char>(Peek());
      if (c == '"') {
        return Fail(line_, column, "a quote inside a field that does not begin with one");
      }
      ++begin_;  // a carriage return without a line feed is data
      if (!Append(field, std::string_view(&c, 1), field_line, column, false)) return false;
    }
  }
  ++begin_;
  while (true) {
    const std::string_view run = RunUntil(true);
    if (!Append(field, run, field_line, column, true)) return false;
    const int c = Peek();
    if (c == kEnd) return Fail(field_line, column, "a quoted field is not closed");
    if (c == '"' && Peek(1) != '"') break;
    begin_ += c == '"' ? 2 : 1;
    if (c == '\n') ++line_;
    const char byte = static_cast<char>(c);
    if (!Append(field, std::string_view(&byte, 1), field_line, column, true)) return false;
  }
  ++begin_;
  if (!AtRowEnd()) return Fail(line_, column, "text after the closing quote of a field");
  return true;
}

bool CsvReader::ReadRow(std::vector<std::string>* fields, std::vector<int64_t>* field_lines) {
  fields->clear();
  if (field_lines != nullptr) field_lines->clear();
  if (error_) return false;
  if (!started_) {
    started_ = true;
    if (Refill(kByteOrderMark.size()) &&
        std::string_view(buffer_.data(), kByteOrderMark.size()) == kByteOrderMark) {
      begin_ += kByteOrderMark.size();
    }
  }

  // Lines holding nothing separate nothing: skip them (a final line break included).
  while (true) {
    const int c = Peek();
    if (c == '\n') {
      ++begin_;
    } else if (c == '\r' && Peek(1) == '\n') {
      begin_ += 2;
    } else {
      break;
    }
    ++line_;
  }
  if (Peek() == kEnd) return false;
  row_line_ = line_;

  while (true) {
    const int32_t column = static_cast<int32_t>(fields->size()) + 1;
    if (limits_.max_fields != 0 && fields->size() == limits_.max_fields) {
      return Fail(line_, column,
                  "the row has more than " + std::to_string(limits_.max_fields) + " fields",
                  CsvErrorKind::kTooManyFields);
    }
    const int64_t field_line = line_;
    std::string field;
    if (!ReadField(&field, column)) return false;
    fields->push_back(std::move(field));
    if (field_lines != nullptr) field_lines->push_back(field_line);

    const int c = Peek();
    if (c == kEnd) return true;
    ++begin_;
    if (c == ',') continue;
    // End of the row: LF or CR LF.
    if (c == '\r') ++begin_;
    ++line_;
    return true;
  }
}

void AppendCsvRow(std::string* out, const std::vector<std::string>& fields) {
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out->push_back(',');
    const std::string& field = fields[i];
    // A row of one empty field would be an empty line, which readers skip; a byte order mark
    // at the start of a file would be taken for the file's own: quote them.
    const bool quote = field.find_first_of(",\"\r\n") != std::string::npos ||
                       field.starts_with(' ') || field.ends_with(' ') ||
                       (fields.size() == 1 && field.empty()) ||
                       (i == 0 && field.starts_with(kByteOrderMark));
    if (!quote) {
      out->append(field);
      continue;
    }
    out->push_back('"');
    for (const char c : field) {
      if (c == '"') out->push_back('"');
      out->push_back(c);
    }
    out->push_back('"');
  }
  out->push_back('\n');
}

}  // namespace quarnell
