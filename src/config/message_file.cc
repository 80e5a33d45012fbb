#include "config/message_file.h"

namespace quarnell {
namespace {

constexpr char kEndOfFile = 26;  // Ctrl-Z

class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

  // The next field into `field`; false when the file has no more fields.
  bool Next(std::string& field) {
    if (after_comma_) {
      SkipBlanks();  // a comma announces a field, even an empty one at the line's end
    } else {
      for (;;) {
        SkipBlanks();
        if (!AtLineEnd()) break;
        SkipLineEnd();
      }
      if (pos_ >= bytes_.size()) return false;
    }

    field.clear();
    if (pos_ < bytes_.size() && bytes_[pos_] == '"') {
      ++pos_;
      size_t start = pos_;
      while (pos_ < bytes_.size() && bytes_[pos_] != '"' && !AtLineEnd()) ++pos_;
      field.assign(bytes_.substr(start, pos_ - start));
      if (pos_ < bytes_.size() && bytes_[pos_] == '"') ++pos_;
      while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !AtLineEnd()) ++pos_;
    } else {
      size_t start = pos_;
      while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !AtLineEnd()) ++pos_;
      field.assign(bytes_.substr(start, pos_ - start));
    }

    if (pos_ < bytes_.size() && bytes_[pos_] == ',') {
      ++pos_;
      after_comma_ = true;
    } else {
      SkipLineEnd();
      after_comma_ = false;
    }
    return true;
  }

 private:
  void SkipBlanks() {
    while (pos_ < bytes_.size() && (bytes_[pos_] == ' ' || bytes_[pos_] == '\t')) ++pos_;
  }
  bool AtLineEnd() const {
    return pos_ < bytes_.size() && (bytes_[pos_] == '\n' || bytes_[pos_] == '\r');
  }
  void SkipLineEnd() {
    if (pos_ >= bytes_.size()) return;
    if (bytes_[pos_] == '\r') {
      ++pos_;
      if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
    } else if (bytes_[pos_] == '\n') {
      ++pos_;
    }
  }

  std::string_view bytes_;
  size_t pos_ = 0;
  bool after_comma_ = false;
};

}  // namespace

std::vector<MessageRecord> ParseMessageFile(std::string_view bytes, bool* cut_short) {
  size_t end = bytes.find(kEndOfFile);
  if (end != std::string_view::npos) bytes = bytes.substr(0, end);

  FieldReader reader(bytes);
  std::vector<MessageRecord> records;
  MessageRecord record;
  if (cut_short != nullptr) *cut_short = false;
  while (reader.Next(record[kCatalanField])) {
    if (!reader.Next(record[kGalicianField]) || !reader.Next(record[kAraneseField]) ||
        !reader.Next(record[kSpanishField])) {
      // Cut short by the end of the file: no translation of it can be trusted.
      if (cut_short != nullptr) *cut_short = true;
      break;
    }
    records.push_back(record);
  }
  return records;
}

}  // namespace quarnell
