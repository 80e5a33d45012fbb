#include "app/csv.h"

#include <string>
#include <utility>

namespace quarnell {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

CsvReader::CsvReader(std::string_view text) : text_(text) {
  if (text_.starts_with(kByteOrderMark)) pos_ = kByteOrderMark.size();
}

bool CsvReader::Fail(int64_t line, int32_t column, std::string message) {
  error_ = CsvError{line, column, std::move(message), ""};
  pos_ = text_.size();
  return false;
}

bool CsvReader::ReadRow(std::vector<std::string>* fields, std::vector<int64_t>* field_lines) {
  fields->clear();
  if (field_lines != nullptr) field_lines->clear();
  if (error_) return false;

  // Lines holding nothing separate nothing: skip them (a final line break included).
  while (pos_ < text_.size()) {
    if (text_[pos_] == '\n') {
      ++pos_;
      ++line_;
    } else if (text_[pos_] == '\r' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '\n') {
      pos_ += 2;
      ++line_;
    } else {
      break;
    }
  }
  if (pos_ >= text_.size()) return false;
  row_line_ = line_;

  const size_t size = text_.size();
  while (true) {
    const int32_t column = static_cast<int32_t>(fields->size()) + 1;
    const int64_t field_line = line_;
    std::string field;
    if (pos_ < size && text_[pos_] == '"') {
      ++pos_;
      while (true) {
        const size_t quote = text_.find('"', pos_);
        if (quote == std::string_view::npos) {
          return Fail(field_line, column, "a quoted field is not closed");
        }
        for (size_t i = pos_; i < quote; ++i) {
          if (text_[i] == '\n') ++line_;
        }
        field.append(text_.substr(pos_, quote - pos_));
        pos_ = quote + 1;
        if (pos_ < size && text_[pos_] == '"') {
          field.push_back('"');
          ++pos_;
          continue;
        }
        break;
      }
      if (pos_ < size && text_[pos_] != ',' && text_[pos_] != '\n' &&
          !(text_[pos_] == '\r' && pos_ + 1 < size && text_[pos_ + 1] == '\n')) {
        return Fail(line_, column, "text after the closing quote of a field");
      }
    } else {
      const size_t end = text_.find_first_of(",\n", pos_);
      const size_t stop = end == std::string_view::npos ? size : end;
      std::string_view raw = text_.substr(pos_, stop - pos_);
      if (stop < size && text_[stop] == '\n' && raw.ends_with('\r')) raw.remove_suffix(1);
      if (raw.find('"') != std::string_view::npos) {
        return Fail(line_, column, "a quote inside a field that does not begin with one");
      }
      field.assign(raw);
      pos_ = stop;
    }
    fields->push_back(std::move(field));
    if (field_lines != nullptr) field_lines->push_back(field_line);

    if (pos_ >= size) return true;
    if (text_[pos_] == ',') {
      ++pos_;
      continue;
    }
    // End of the row: LF or CR LF.
    if (text_[pos_] == '\r') ++pos_;
    ++pos_;
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
