#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "app/record_csv.h"
#include "app/record_layouts.h"
#include "text/cp850.h"
#include "text/dates.h"

namespace quarnell {
namespace {

struct ValueCase {
  FieldLayout field;
  std::string_view value;
  std::string stored;    // the field's bytes after storing
  std::string exported;  // what the field gives back as CSV
};

std::string Le32(uint32_t value) {
  std::string bytes(4, '\0');
  for (char& b : bytes) {
    b = static_cast<char>(value & 0xFF);
    value >>= 8;
  }
  return bytes;
}

TEST(CsvRecordValuesTest, GoodValuesAreStoredAndExportedBack) {
  const FieldLayout amount = RentalField("VCobros", "amount");
  const FieldLayout owner = RentalField("VCobros", "owner");
  const FieldLayout date = RentalField("VCobros", "date");
  const FieldLayout rate = RentalField("VAmortit", "rate");
  const FieldLayout young = RentalField("VLlogate", "young");
  const FieldLayout state = RentalField("VPropiet", "state");
  const FieldLayout concept_code = RentalField("VPagos", "concept");
  const FieldLayout name = RentalField("VPropiet", "name");
  const ValueCase cases[] = {
      {amount, "1234.56", Le32(123456), "1234.56"},
      {amount, "-0.05", Le32(static_cast<uint32_t>(-5)), "-0.05"},
      {amount, "7.5", Le32(750), "7.50"},
      {amount, "12", Le32(1200), "12.00"},
      {amount, " 3.10 ", Le32(310), "3.10"},
      {amount, "-0", Le32(0), "0.00"},
      {amount, "21474836.47", Le32(INT32_MAX), "21474836.47"},
      {amount, "-21474836.48", Le32(0x80000000u), "-21474836.48"},
      {amount, "", Le32(0), "0.00"},
      {owner, "42", "\x80\xAA", "42"},
      {owner, "0042", "\x80\xAA", "42"},
      {owner, "9999", "\xE3\xE3", "9999"},
      {owner, "", "\x80\x80", "0"},
      {date, "2024-02-29", "\x94\x98\x82\x9D", "2024-02-29"},
      {date, "", std::string(4, '\x80'), ""},
      {date, "0000-00-00", std::string(4, '\x80'), ""},
      {rate, "-300", std::string("\xD4\xFE", 2), "-300"},
      {young, "2147483647", Le32(INT32_MAX), "2147483647"},
      {state, "255", "\xFF", "255"},
      {state, "", std::string(1, '\0'), "0"},
      {concept_code, "HON", "HON", "HON"},
      {concept_code, "", "   ", ""},
      {concept_code, "SU   ", "SU ", "SU"},
      {concept_code, " X", " X ", " X"},
      {name, "PUIG I FERRÀ*JOSEP", "PUIG I FERRÀ*JOSEP"_cp850 + std::string(22, ' '),
       "PUIG I FERRÀ*JOSEP"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(std::string(c.field.name) + " <- \"" + std::string(c.value) + "\"");
    std::string record(900, 'x');
    ASSERT_EQ(StoreFieldValue(c.field, c.value, record), "");
    EXPECT_EQ(record.substr(static_cast<size_t>(c.field.offset), c.field.width), c.stored);
    bool faithful = true;
    EXPECT_EQ(FieldValue(c.field, record, &faithful), c.exported);
    EXPECT_TRUE(faithful);
    EXPECT_EQ(record.substr(0, static_cast<size_t>(c.field.offset)),
              std::string(static_cast<size_t>(c.field.offset), 'x'));
  }
}

struct BadCase {
  FieldLayout field;
  std::string_view value;
  std::string_view message_part;
};

TEST(CsvRecordValuesTest, BadValuesAreRefusedAndLeaveTheRecordAlone) {
  const FieldLayout amount = RentalField("VPagos", "amount");
  const FieldLayout supplier = RentalField("VPagos", "supplier");
  const FieldLayout date = RentalField("VPagos", "date");
  const FieldLayout life = RentalField("VAmortit", "life");
  const FieldLayout state = RentalField("VPropiet", "state");
  const FieldLayout description = RentalField("VPagos", "description");
  const BadCase cases[] = {
      {amount, "12.345", "not an amount"},
      {amount, "12,50", "not an amount"},
      {amount, "1.", "not an amount"},
      {amount, ".5", "not an amount"},
      {amount, "+5", "not an amount"},
      {amount, "--5", "not an amount"},
      {amount, "1e3", "not an amount"},
      {amount, "21474836.48", "not an amount"},
      {amount, "99999999999999999999", "not an amount"},
      {supplier, "-1", "not a code from 0 to 9999"},
      {supplier, "10000", "not a code"},
      {supplier, "12a", "not a code"},
      {date, "2023-02-29", "not a day of the calendar"},
      {date, "2024-13-01", "not a day"},
      {date, "0000-01-01", "not a day"},
      {date, "24-03-05", "YYYY-MM-DD"},
      {date, "2024/03/05", "YYYY-MM-DD"},
      {date, "05-03-2024", "YYYY-MM-DD"},
      {life, "32768", "from -32768 to 32767"},
      {life, "-32769", "from -32768 to 32767"},
      {life, "1.5", "whole number"},
      {state, "256", "from 0 to 255"},
      {state, "-1", "from 0 to 255"},
      {description, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "26 characters; the field holds 25"},
      {description, "Rebut € gener", "does not exist in code page 850"},
      {description, "\xC3(", "not valid UTF-8"},
      {description, "a\tb", "control character"},
  };
  for (const BadCase& c : cases) {
    SCOPED_TRACE(std::string(c.field.name) + " <- \"" + std::string(c.value) + "\"");
    std::string record(900, 'x');
    const std::string problem = StoreFieldValue(c.field, c.value, record);
    EXPECT_NE(problem.find(c.message_part), std::string::npos) << problem;
    EXPECT_EQ(record, std::string(900, 'x'));
  }
}

TEST(CsvRecordValuesTest, DamagedBytesExportAsUnfaithful) {
  const FileLayout& payments = *FindRentalFile("VPagos");
  std::string record = BlankRecord(payments);
  record[68] = '\0';  // supplier code not packed
  bool faithful = true;
  std::string column;
  RecordToCsvRow(payments, record, &faithful, &column);
  EXPECT_FALSE(faithful);
  EXPECT_EQ(column, "supplier");

  record = BlankRecord(payments);
  record[4] = static_cast<char>(0x94);
  record[5] = static_cast<char>(0x98);
  record[6] = static_cast<char>(0x82);
  record[7] = static_cast<char>(0x9E);  // 30 February
  RecordToCsvRow(payments, record, &faithful, &column);
  EXPECT_FALSE(faithful);
  EXPECT_EQ(column, "date");

  RecordToCsvRow(payments, BlankRecord(payments), &faithful);
  EXPECT_TRUE(faithful);
}

TEST(CsvRecordReaderTest, ColumnsInAnyOrderAndLeftOutColumnsGetBlankValues) {
  const FileLayout& payments = *FindRentalFile("VPagos");
  CsvRecordReader reader(payments, "Amount,owner ,property,concept,kind,state\n-12.5,7,2,HON,,\n");
  std::string record;
  ASSERT_TRUE(reader.Next(&record));
  EXPECT_EQ(reader.line(), 2);
  EXPECT_EQ(reader.key_column(), 2);
  // Kind and state named but left empty on purpose: blanks, as when left out.
  std::string expected = BlankRecord(payments);
  WriteCode(expected, RentalField("VPagos", "owner"), 7);
  WriteCode(expected, RentalField("VPagos", "property"), 2);
  WriteText(expected, RentalField("VPagos", "concept"), "HON");
  WriteAmount(expected, RentalField("VPagos", "amount"), -1250);
  EXPECT_EQ(record, expected);
  EXPECT_EQ(ReadDate(record, RentalField("VPagos", "date")), EmptyDate());
  EXPECT_EQ(ReadCode(record, RentalField("VPagos", "supplier")), PackDigits("0000"));
  EXPECT_FALSE(reader.Next(&record));
  EXPECT_FALSE(reader.error());
}

struct ReaderErrorCase {
  const char* name;
  const char* base;
  std::string text;
  int64_t line;
  int32_t column;
  std::string_view message_part;
  std::string_view column_name;
};

TEST(CsvRecordReaderTest, ErrorsNameLineAndColumn) {
  const ReaderErrorCase cases[] = {
      {"empty file", "VCobros", "", 1, 1, "empty", ""},
      {"unknown column", "VCobros", "owner,colour\n", 1, 2, "unknown column \"colour\"", ""},
      {"repeated column", "VCobros", "owner,date,OWNER\n", 1, 3, "appears twice", ""},
      {"short row", "VCobros", "owner,date,amount\n1,2024-01-01\n", 2, 3, "2 fields", ""},
      {"long row", "VCobros", "owner,date\n1,2024-01-01,5\n", 2, 3, "more than 2 fields", ""},
      {"bad value", "VCobros", "owner,date,amount\n1,2024-01-01,5\n2,2024-01-32,5\n", 3, 2,
       "calendar", "date"},
      {"line break inside a value", "VCobros", "owner,amount\n\n1,\"5\n0\"\n", 3, 2,
       "not an amount", "amount"},
      {"syntax", "VCobros", "owner\n\"1\n", 2, 1, "not closed", "owner"},
      {"field longer than any column", "VCobros", "owner,amount\n" + std::string(13, '1') + ",5\n",
       2, 1, "more than any column of VCobros holds", "owner"},
      {"header longer than the file", "VDespesa", "concept,description,concept2\n", 1, 3,
       "more columns than VDespesa has (2)", ""},
  };
  // Files that would import without a word and then count wrongly in every statement, and files
  // saved by a spreadsheet set up for Spanish or Catalan.
  const ReaderErrorCase refusals[] = {
      {"payment without kind", "VPagos", "owner,property,amount,state\n1,1,5,N\n", 1, 1,
       "leaves out the column \"kind\"", ""},
      {"payment without state", "VPagos", "owner,property,amount,kind\n1,1,5,P\n", 1, 1,
       "leaves out the column \"state\"", ""},
      {"contract without type", "VDepCont", "owner,property,unit,date\n1,1,1,2024-01-01\n", 1, 1,
       "leaves out the column \"type\"", ""},
      {"owner without language", "VPropiet", "owner,name\n1,A*B\n", 1, 1,
       "leaves out the column \"language\"", ""},
      {"language the message file does not know", "VPropiet", "owner,language\n1,CAT\n2,ENG\n", 3,
       2, "write CAT, SPA, GLG or OCI", "language"},
      {"semicolons", "VCobros", "owner;property;unit;date;amount\n1;1;1;01/12/2025;950,00\n", 1, 1,
       "separated by \";\"", ""},
      {"tabs", "VCobros", "owner\tproperty\tunit\n1\t1\t1\n", 1, 1, "separated by a tab", ""},
      {"decimal comma", "VCobros", "owner,amount\n1,\"950,50\"\n", 2, 2,
       "decimal comma: write it 950.50", "amount"},
      {"thousands point and decimal comma", "VCobros", "owner,amount\n1,\"1.200,5\"\n", 2, 2,
       "write it 1200.5", "amount"},
      {"decimal comma without quotes", "VCobros", "owner,amount\n1,950,50\n", 2, 3,
       "decimal comma and no quotes splits in two", ""},
      {"day first", "VCobros", "owner,date\n1,01/12/2025\n", 2, 2, "(write 2025-12-01)", "date"},
  };
  using Table = std::span<const ReaderErrorCase>;
  for (const Table table : {Table(cases), Table(refusals)}) {
    for (const ReaderErrorCase& c : table) {
      SCOPED_TRACE(c.name);
      CsvRecordReader reader(*FindRentalFile(c.base), c.text);
      std::string record;
      while (reader.Next(&record)) {
      }
      ASSERT_TRUE(reader.error());
      EXPECT_EQ(reader.error()->line, c.line);
      EXPECT_EQ(reader.error()->column, c.column);
      EXPECT_NE(reader.error()->message.find(c.message_part), std::string::npos)
          << reader.error()->message;
      EXPECT_EQ(reader.error()->column_name, c.column_name);
    }
  }
}

TEST(CsvRecordReaderTest, LanguageCodesInAnyCaseAreStoredAsTheStatementReadsThem) {
  const FileLayout& owners = *FindRentalFile("VPropiet");
  CsvRecordReader reader(owners, "owner,language\n1,spa\n2, Oci \n3,\n4,GLG\n");
  std::vector<std::string> codes;
  std::string record;
  while (reader.Next(&record))
    codes.push_back(ReadText(record, RentalField("VPropiet", "language")));
  EXPECT_FALSE(reader.error()) << reader.error()->message;
  EXPECT_EQ(codes, (std::vector<std::string>{"SPA", "OCI", "   ", "GLG"}));
}

}  // namespace
}  // namespace quarnell
