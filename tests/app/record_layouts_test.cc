#include "app/record_layouts.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "text/dates.h"

namespace quarnell {
namespace {

// The statement resolves its fields while compiling; these must keep compiling.
inline constexpr FieldLayout kRetention = RentalField("VCobros", "retention");
inline constexpr FieldLayout kState = RentalField("VPropiet", "state");
static_assert(kRetention.type == FieldType::kAmount && kState.type == FieldType::kByte);

TEST(RecordLayoutsTest, FieldsFitTheRecordAndNeverOverlap) {
  std::set<int16_t> file_numbers;
  for (const FileLayout& file : kRentalFiles) {
    SCOPED_TRACE(std::string(file.base_name));
    EXPECT_TRUE(file_numbers.insert(file.file_number).second) << "file number used twice";
    std::vector<bool> used(static_cast<size_t>(file.record_size), false);
    std::set<std::string_view> names;
    for (const FieldLayout& field : file.fields) {
      EXPECT_TRUE(names.insert(field.name).second) << field.name << " named twice";
      ASSERT_GE(field.offset, 0);
      ASSERT_LE(field.offset + field.width, file.record_size) << field.name;
      for (int i = field.offset; i < field.offset + field.width; ++i) {
        EXPECT_FALSE(used[static_cast<size_t>(i)]) << field.name << " overlaps at " << i;
        used[static_cast<size_t>(i)] = true;
      }
    }
  }
}

TEST(RecordLayoutsTest, KeyZeroIsTheLeadingFieldsWithoutGaps) {
  for (const FileLayout& file : kRentalFiles) {
    SCOPED_TRACE(std::string(file.base_name));
    int16_t offset = 0;
    for (int16_t i = 0; i < file.key_field_count; ++i) {
      EXPECT_EQ(file.fields[i].offset, offset);
      offset += file.fields[i].width;
    }
    EXPECT_EQ(file.KeyLength(), offset);
    if (!file.second_key_field.empty()) {
      EXPECT_NE(FindField(file, file.second_key_field), nullptr);
    }
  }
}

TEST(RecordLayoutsTest, LookupByNameIgnoresCaseAndByNumberFindsTheSameFile) {
  ASSERT_NE(FindRentalFile("vcobros"), nullptr);
  EXPECT_EQ(FindRentalFile("VCOBROS"), FindRentalFile(int16_t{17}));
  EXPECT_EQ(FindRentalFile("VCobro"), nullptr);
  EXPECT_EQ(FindRentalFile(int16_t{1}), nullptr);
  EXPECT_EQ(FindField(*FindRentalFile("VPagos"), "Amount"), nullptr);  // field names are exact
}

TEST(RecordLayoutsTest, NumbersAreLittleEndianTwosComplement) {
  const FileLayout& payments = *FindRentalFile("VPagos");
  const FieldLayout& amount = *FindField(payments, "amount");
  std::string record(static_cast<size_t>(payments.record_size), '\0');

  WriteAmount(record, amount, -2);
  EXPECT_EQ(record.substr(42, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(ReadAmount(record, amount), -2);
  WriteAmount(record, amount, 0x01020304);
  EXPECT_EQ(record.substr(42, 4), std::string("\x04\x03\x02\x01", 4));

  const FileLayout& assets = *FindRentalFile("VAmortit");
  const FieldLayout& rate = *FindField(assets, "rate");
  std::string asset(static_cast<size_t>(assets.record_size), '\0');
  for (const int raw : {300, -1, -32768, 32767}) {
    const auto value = static_cast<int16_t>(raw);
    WriteInt16(asset, rate, value);
    EXPECT_EQ(ReadInt16(asset, rate), value);
  }
  EXPECT_EQ(asset.substr(53, 2), std::string(2, '\0')) << "the neighbouring life field changed";

  const FieldLayout& state = RentalField("VPropiet", "state");
  std::string owner(828, '\0');
  WriteByte(owner, state, 200);
  EXPECT_EQ(ReadByte(owner, state), 200);
  EXPECT_EQ(static_cast<unsigned char>(owner[716]), 200);
}

TEST(RecordLayoutsTest, CodesAndKeysArePackedDigits) {
  std::string record(68, '\0');
  const FieldLayout& owner = RentalField("VCobros", "owner");
  const FieldLayout& unit = RentalField("VCobros", "unit");
  WriteCode(record, owner, 10);
  WriteCode(record, unit, 9999);
  EXPECT_EQ(ReadCode(record, owner), std::string("\x80\x8A"));
  EXPECT_EQ(CodeValue(ReadCode(record, unit)), 9999);
  // Byte order of packed codes is numeric order: owner 10 sorts after owner 9.
  EXPECT_GT(OwnerKey(10), OwnerKey(9));
  EXPECT_EQ(UnitKey(12, 3, 4), PackDigits("001200030004"));
  EXPECT_EQ(PropertyKey(12, 3), UnitKey(12, 3, 4).substr(0, 4));
  EXPECT_EQ(CodeValue(std::string("\x80\x7F")), -1);  // below 128: not packed
  EXPECT_EQ(CodeValue(std::string("\x80\xE4")), -1);  // 128 + 100: not two digits
}

TEST(RecordLayoutsTest, TextIsCutOrBlankPadded) {
  const FieldLayout& concept_code = RentalField("VPagos", "concept");
  std::string record(80, 'x');
  WriteText(record, concept_code, "H");
  EXPECT_EQ(ReadText(record, concept_code), "H  ");
  WriteText(record, concept_code, "HONORARIS");
  EXPECT_EQ(ReadText(record, concept_code), "HON");
  EXPECT_EQ(record.substr(9, 1), "x");
  EXPECT_EQ(record.substr(13, 1), "x");
  EXPECT_EQ(ReadChar(record, RentalField("VPagos", "kind")), 'x');
}

TEST(RecordLayoutsTest, ShortRecordsReadAsZeroBytesBeyondTheirEnd) {
  const FieldLayout& tax_id = RentalField("VPropiet", "tax_id");
  const std::string short_record(811, 'E');  // the field starts at 809 and is cut after 2 bytes
  EXPECT_EQ(ReadText(short_record, tax_id), "EE" + std::string(15, '\0'));
  EXPECT_EQ(ReadAmount(std::string(), RentalField("VCobros", "amount")), 0);
  EXPECT_EQ(ReadDate(std::string(), RentalField("VCobros", "date")), std::string(4, '\0'));
}

}  // namespace
}  // namespace quarnell
