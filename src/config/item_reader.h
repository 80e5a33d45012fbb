// Items of the suite's sequential text files (message files, form files), read the way the suite's
// programs have always read them:
// - items are separated by commas or line ends (LF, CR LF or CR); an item never runs past the end
//   of its line, and a record takes the next items whatever the line breaks;
// - leading blanks of an item are skipped; an item that then starts with a double quote runs to
//   the next double quote (commas included) and anything after that quote up to the separator is
//   dropped; an unquoted item keeps its trailing blanks;
// - lines holding only blanks between items are skipped, while a comma followed by the line end
//   gives an empty item ("Text,Gal,Ara," ends in an empty item);
// - a Ctrl-Z byte ends the file.
#ifndef QUARNELL_CONFIG_ITEM_READER_H_
#define QUARNELL_CONFIG_ITEM_READER_H_

#include <string>
#include <string_view>

namespace quarnell {

class ItemReader {
 public:
  // `bytes` must outlive the reader.
  explicit ItemReader(std::string_view bytes);

  // The next item into `item`; false when the file has no more items.
  bool Next(std::string& item);

  // Skips the comment lines (first non-blank character "'") and blank lines that stand before the
  // next item. Only between records: after a comma the next item is due on the same line, and
  // nothing is skipped.
  void SkipCommentLines();

  // The line (from 1) on which the last item read started, for messages.
  int Line() const { return item_line_; }

 private:
  void SkipBlanks();
  bool AtLineEnd() const;
  void SkipLineEnd();

  std::string_view bytes_;
  size_t pos_ = 0;
  bool after_comma_ = false;
  int line_ = 1;
  int item_line_ = 1;
};

}  // namespace quarnell

#endif  // QUARNELL_CONFIG_ITEM_READER_H_
