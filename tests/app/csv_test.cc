#include "app/csv.h"

#include <gtest/gtest.h>

#include <string>
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
