#include "config/item_reader.h"

namespace quarnell {
namespace {

constexpr char kEndOfFile = 26;  // Ctrl-Z

}  // namespace

ItemReader::ItemReader(std::string_view bytes) : bytes_(bytes) {
  size_t end = bytes_.find(kEndOfFile);
  if (end != std::string_view::npos) bytes_ = bytes_.substr(0, end);
}

bool ItemReader::Next(std::string& item) {
  if (after_comma_) {
    SkipBlanks();  // a comma announces an item, even an empty one at the line's end
  } else {
    for (;;) {
      SkipBlanks();
      if (!AtLineEnd()) break;
      SkipLineEnd();
    }
    if (pos_ >= bytes_.size()) return false;
  }

  item.clear();
  item_line_ = line_;
  if (pos_ < bytes_.size() && bytes_[pos_] == '"') {
    ++pos_;
    size_t start = pos_;
    while (pos_ < bytes_.size() && bytes_[pos_] != '"' && !AtLineEnd()) ++pos_;
    item.assign(bytes_.substr(start, pos_ - start));
    if (pos_ < bytes_.size() && bytes_[pos_] == '"') ++pos_;
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !AtLineEnd()) ++pos_;
  } else {
    size_t start = pos_;
    while (pos_ < bytes_.size() && bytes_[pos_] != ',' && !AtLineEnd()) ++pos_;
    item.assign(bytes_.substr(start, pos_ - start));
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

void ItemReader::SkipCommentLines() {
  if (after_comma_) return;
  for (;;) {
    SkipBlanks();
    if (pos_ < bytes_.size() && bytes_[pos_] == '\'') {
      while (pos_ < bytes_.size() && !AtLineEnd()) ++pos_;
    }
    if (!AtLineEnd()) return;
    SkipLineEnd();
  }
}

void ItemReader::SkipBlanks() {
  while (pos_ < bytes_.size() && (bytes_[pos_] == ' ' || bytes_[pos_] == '\t')) ++pos_;
}

bool ItemReader::AtLineEnd() const {
  return pos_ < bytes_.size() && (bytes_[pos_] == '\n' || bytes_[pos_] == '\r');
}

void ItemReader::SkipLineEnd() {
  if (pos_ >= bytes_.size()) return;
  if (bytes_[pos_] == '\r') {
    ++pos_;
    if (pos_ < bytes_.size() && bytes_[pos_] == '\n') ++pos_;
  } else if (bytes_[pos_] == '\n') {
    ++pos_;
  }
  ++line_;
}

}  // namespace quarnell
