#include "app/csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace quarnell {
namespace {

using Rows = std::vector<std::vector<std::string>>;

Rows ReadAll(std::string_view text, std::vector<int64_t>* row_lines = nullptr) {
  CsvReader reader(text);
  Rows rows;
  std::vector<std::string> fields;
  while (reader.ReadRow(&fields)) {
    rows.push_back(fields);
    if (row_lines != nullptr) row_lines->push_back(reader.row_line());
  }
  EXPECT_FALSE(reader.error()) << reader.error()->message;
  return rows;
}

struct ReadCase {
  const char* name;
  std::string_view text;
  Rows rows;
};

TEST(CsvReaderTest, ReadsRfc4180) {
  const ReadCase cases[] = {
      {"plain", "a,b\n1,2\n", {{"a", "b"}, {"1", "2"}}},
      {"no final line break", "a,b\n1,2", {{"a", "b"}, {"1", "2"}}},
      {"crlf", "a,b\r\n1,2\r\n", {{"a", "b"}, {"1", "2"}}},
      {"byte order mark",
       "\xEF\xBB\xBF"
       "a\n",
       {{"a"}}},
      {"empty fields", ",\n,,x\n", {{"", ""}, {"", "", "x"}}},
      {"final empty field", "a,", {{"a", ""}}},
      {"quoted comma and quote", "\"x,\"\"y\"\"\",z\n", {{"x,\"y\"", "z"}}},
      {"quoted line break", "\"l1\r\nl2\",b\n", {{"l1\r\nl2", "b"}}},
      {"quoted empty", "\"\"\n", {{""}}},
      {"blank lines skipped", "\n\na\r\n\r\nb\n\n", {{"a"}, {"b"}}},
      {"blanks kept", " a , b \n", {{" a ", " b "}}},
      {"lone carriage return is data", "a\rb\n", {{"a\rb"}}},
      {"utf-8 passes unchanged", "Gràcia,Núñez\n", {{"Gràcia", "Núñez"}}},
  };
  for (const ReadCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(ReadAll(c.text), c.rows);
  }
}

TEST(CsvReaderTest, CountsLinesAcrossQuotedLineBreaks) {
  std::vector<int64_t> lines;
  ReadAll("h\n\"a\nb\nc\"\n\nx\n", &lines);
  EXPECT_EQ(lines, (std::vector<int64_t>{1, 2, 6}));

  CsvReader reader("a,\"1\n2\",c\n");
  std::vector<std::string> fields;
  std::vector<int64_t> field_lines;
  ASSERT_TRUE(reader.ReadRow(&fields, &field_lines));
  EXPECT_EQ(field_lines, (std::vector<int64_t>{1, 1, 2}));
}

struct ErrorCase {
  const char* name;
  std::string_view text;
  int64_t line;
  int32_t column;
};

TEST(CsvReaderTest, SyntaxErrorsNameLineAndColumn) {
  const ErrorCase cases[] = {
      {"quote left open", "a,b\n1,\"2\n3\n", 2, 2},
      {"text after closing quote", "a,b\nx,\"2\"3\n", 2, 2},
      {"quote inside unquoted field", "a\nb\nc,d\"e\"\n", 3, 2},
      {"closing quote on a later line", "a,b\n\"1\n\"x,2\n", 3, 1},
  };
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.name);
    CsvReader reader(c.text);
    std::vector<std::string> fields;
    while (reader.ReadRow(&fields)) {
    }
    ASSERT_TRUE(reader.error());
    EXPECT_EQ(reader.error()->line, c.line);
    EXPECT_EQ(reader.error()->column, c.column);
    EXPECT_FALSE(reader.ReadRow(&fields)) << "a reader stays stopped after an error";
  }
}

// Hands out a text a few bytes at a time, so that rows, quotes and line ends fall across the
// reader's blocks.
class TrickleSource : public CsvSource {
 public:
  TrickleSource(std::string_view text, size_t step) : text_(text), step_(step) {}
  size_t Read(char* buffer, size_t capacity) override {
    const size_t count = std::min({capacity, step_, text_.size()});
    std::copy_n(text_.data(), count, buffer);
    text_.remove_prefix(count);
    return count;
  }

 private:
  std::string_view text_;
  size_t step_;
};

// An input that never ends: `start`, then `pattern` over and over. It counts what it handed out.
class EndlessSource : public CsvSource {
 public:
  EndlessSource(std::string start, std::string pattern)
      : start_(std::move(start)), pattern_(std::move(pattern)) {}
  size_t Read(char* buffer, size_t capacity) override {
    for (size_t i = 0; i < capacity; ++i) {
      const size_t at = given_ + i;
      buffer[i] =
          at < start_.size() ? start_[at] : pattern_[(at - start_.size()) % pattern_.size()];
    }
    given_ += capacity;
    return capacity;
  }
  size_t given() const { return given_; }

 private:
  std::string start_;
  std::string pattern_;
  size_t given_ = 0;
};

TEST(CsvReaderTest, ReadsTheSameRowsWhateverTheBlocksTheInputComesIn) {
  const std::string_view texts[] = {
      "\xEF\xBB\xBF"
      "a,\"b\r\n,\"\"c\"\"\"\r\n\r\n1,2\r\nx,\"\"",
      "h\n\"a\nb\nc\"\n\nx\n",
      "a\rb,c\n\n",
      "a,b\nx,\"2\"3\n",
  };
  for (const std::string_view text : texts) {
    CsvReader whole(text);
    Rows expected;
    std::vector<int64_t> expected_lines;
    std::vector<std::string> fields;
    while (whole.ReadRow(&fields)) {
      expected.push_back(fields);
      expected_lines.push_back(whole.row_line());
    }
    for (const size_t step : {1, 2, 3}) {
      SCOPED_TRACE(::testing::Message() << text << " by " << step);
      TrickleSource source(text, step);
      CsvReader reader(&source);
      Rows rows;
      std::vector<int64_t> lines;
      while (reader.ReadRow(&fields)) {
        rows.push_back(fields);
        lines.push_back(reader.row_line());
      }
      EXPECT_EQ(rows, expected);
      EXPECT_EQ(lines, expected_lines);
      ASSERT_EQ(reader.error().has_value(), whole.error().has_value());
      if (reader.error()) {
        EXPECT_EQ(reader.error()->column, whole.error()->column);
      }
    }
  }
}

// A row of endless commas or a field of endless characters stops at the first field or the
// first character too many, having read a block or two.
TEST(CsvReaderTest, LimitsStopAnEndlessRowOrFieldEarly) {
  const struct {
    const char* name;
    std::string start;
    std::string pattern;
    CsvErrorKind kind;
    int32_t column;
  } cases[] = {
      {"commas", "", ",", CsvErrorKind::kTooManyFields, 4},
      {"one character", "", "x", CsvErrorKind::kFieldTooLong, 1},
      {"quoted line breaks", "\"", "\n", CsvErrorKind::kFieldTooLong, 1},
      {"bytes that are no characters", "", "\x80", CsvErrorKind::kFieldTooLong, 1},
      {"characters of two bytes", "", "é", CsvErrorKind::kFieldTooLong, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EndlessSource source(c.start, c.pattern);
    CsvReader reader(&source);
    reader.set_limits({3, 50});
    std::vector<std::string> fields;
    EXPECT_FALSE(reader.ReadRow(&fields));
    ASSERT_TRUE(reader.error());
    EXPECT_EQ(reader.error()->kind, c.kind);
    EXPECT_EQ(reader.error()->line, 1);
    EXPECT_EQ(reader.error()->column, c.column);
    EXPECT_LE(source.given(), 256u * 1024);
    EXPECT_LE(reader.error()->message.size(), 240u) << "the value is not echoed whole";
  }
}

TEST(CsvReaderTest, ATooLongFieldIsShownByItsFirstFortyCharacters) {
  const std::string text = "x," + std::string(39, 'a') + "é" + std::string(100, 'b') + "\n";
  CsvReader reader(text);
  reader.set_limits({0, 60});
  std::vector<std::string> fields;
  EXPECT_FALSE(reader.ReadRow(&fields));
  ASSERT_TRUE(reader.error());
  EXPECT_EQ(reader.error()->column, 2);
  EXPECT_EQ(reader.error()->message,
            "the value \"" + std::string(39, 'a') + "é...\" has more than 60 characters");

  const std::string fitting = "x," + std::string(59, 'a') + "é\n";
  CsvReader fits(fitting);
  fits.set_limits({2, 60});
  EXPECT_TRUE(fits.ReadRow(&fields)) << fits.error()->message;
}

TEST(CsvWriterTest, QuotesOnlyWhatNeedsItAndReadsBack) {
  const std::vector<std::string> fields = {
      "plain", "", "with,comma", "say \"hi\"", "two\nlines", " lead", "trail ", "a b", "crlf\r\n"};
  std::string out;
  AppendCsvRow(&out, fields);
  EXPECT_EQ(out,
            "plain,,\"with,comma\",\"say \"\"hi\"\"\",\"two\nlines\",\" lead\",\"trail \",a b,"
            "\"crlf\r\n\"\n");
  EXPECT_EQ(ReadAll(out), Rows{fields});

  out.clear();
  AppendCsvRow(&out, {""});
  EXPECT_EQ(out, "\"\"\n") << "an empty line would be skipped";
  EXPECT_EQ(ReadAll(out), Rows{{""}});

  out.clear();
  AppendCsvRow(&out, {"\xEF\xBB\xBFx", "y"});
  const Rows marked = {{"\xEF\xBB\xBFx", "y"}};
  EXPECT_EQ(ReadAll(out), marked) << "not taken for the file's mark";
}

}  // namespace
}  // namespace quarnell
