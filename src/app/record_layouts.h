// The thirteen record files of the rental database: base name, file number, record area, key 0
// and the layout of every field the program uses. This table is the only place that knows an
// offset; the statement reads fields through it and the data tool builds records, dictionaries
// and CSV columns from it.
//
// Fields are looked up by file and name once, at compile time; app/rental_fields.h names every
// field the program uses:
//
//   int32_t amount = ReadAmount(record_area, kCollectionAmount);
//
// A misspelt file or field name in a RentalField call does not compile.
#ifndef QUARNELL_APP_RECORD_LAYOUTS_H_
#define QUARNELL_APP_RECORD_LAYOUTS_H_

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "text/dates.h"

namespace quarnell {

enum class FieldType : uint8_t {
  kText,    // code page 850 characters, blank-padded
  kCode,    // decimal digits packed two per byte (128 + value), most significant first
  kDate,    // packed date, 4 bytes; the empty date is four bytes of 128
  kByte,    // one unsigned byte read as a number
  kInt16,   // little-endian two's complement
  kInt32,   // little-endian two's complement
  kAmount,  // Int32 in hundredths of the main currency
};

struct FieldLayout {
  std::string_view name;  // the field's name, also its CSV column
  int16_t offset;         // from the start of the record, 0-based
  int16_t width;          // bytes
  FieldType type;
};

struct FileLayout {
  std::string_view base_name;  // "VCobros": the file is root + "DADES\" + base name
  int16_t file_number;         // the application's number for the open file
  int16_t record_size;         // the record area, also the record length on disk
  // Key 0 is made of the first `key_field_count` fields, one string segment each, starting at
  // offset 0 with no gaps.
  int16_t key_field_count;
  bool key_duplicates;  // key 0 allows duplicates (they come in insertion order)
  // A second key (key 1) on one field, with duplicates; empty when the file has only key 0.
  std::string_view second_key_field;
  std::span<const FieldLayout> fields;

  // The length of key 0 in bytes.
  constexpr int16_t KeyLength() const {
    int16_t length = 0;
    for (int16_t i = 0; i < key_field_count; ++i) length += fields[i].width;
    return length;
  }
};

namespace layout_internal {

using enum FieldType;

inline constexpr FieldLayout kOwnerFields[] = {
    {"owner", 0, 2, kCode},      {"name", 2, 40, kText},       {"address1", 54, 40, kText},
    {"address2", 94, 40, kText}, {"address3", 134, 40, kText}, {"state", 716, 1, kByte},
    {"language", 806, 3, kText}, {"tax_id", 809, 17, kText},
};
inline constexpr FieldLayout kPropertyFields[] = {
    {"owner", 0, 2, kCode},
    {"property", 2, 2, kCode},
    {"description", 4, 40, kText},
    {"section", 190, 1, kText},
};
inline constexpr FieldLayout kAssetFields[] = {
    {"owner", 0, 2, kCode},   {"property", 2, 2, kCode}, {"method", 46, 1, kText},
    {"cost", 47, 4, kAmount}, {"rate", 51, 2, kInt16},   {"life", 53, 2, kInt16},
    {"start", 55, 4, kDate},
};
inline constexpr FieldLayout kUnitFields[] = {
    {"owner", 0, 2, kCode},         {"property", 2, 2, kCode},     {"unit", 4, 2, kCode},
    {"description", 23, 40, kText}, {"reference", 376, 17, kText},
};
inline constexpr FieldLayout kContractFields[] = {
    {"owner", 0, 2, kCode}, {"property", 2, 2, kCode}, {"unit", 4, 2, kCode},
    {"type", 6, 1, kText},  {"date", 20, 4, kDate},
};
inline constexpr FieldLayout kCadastreFields[] = {
    {"owner", 0, 2, kCode},
    {"property", 2, 2, kCode},
    {"unit", 4, 2, kCode},
    {"cadastral_ref", 6, 20, kText},
};
inline constexpr FieldLayout kTenantFields[] = {
    {"owner", 0, 2, kCode},       {"property", 2, 2, kCode}, {"unit", 4, 2, kCode},
    {"birth_date", 63, 4, kDate}, {"young", 67, 4, kInt32},
};
inline constexpr FieldLayout kCollectionFields[] = {
    {"owner", 0, 2, kCode},        {"property", 2, 2, kCode},     {"unit", 4, 2, kCode},
    {"date", 8, 4, kDate},         {"amount", 12, 4, kAmount},    {"deducted1", 16, 4, kAmount},
    {"deducted2", 38, 4, kAmount}, {"retention", 59, 4, kAmount},
};
inline constexpr FieldLayout kPaymentFields[] = {
    {"owner", 0, 2, kCode},     {"property", 2, 2, kCode},      {"date", 4, 4, kDate},
    {"concept", 10, 3, kText},  {"description", 13, 25, kText}, {"amount", 42, 4, kAmount},
    {"base", 46, 4, kAmount},   {"vat", 52, 4, kAmount},        {"kind", 67, 1, kText},
    {"supplier", 68, 2, kCode}, {"state", 76, 1, kText},
};
inline constexpr FieldLayout kSupplierFields[] = {
    {"supplier", 0, 2, kCode},
    {"subsidy", 364, 1, kText},
};
inline constexpr FieldLayout kConceptFields[] = {
    {"concept", 0, 3, kText},
    {"description", 3, 25, kText},
};
inline constexpr FieldLayout kChargeFields[] = {
    {"owner", 0, 2, kCode},
    {"property", 2, 2, kCode},
    {"date", 4, 4, kDate},
    {"amount", 33, 4, kAmount},
};
inline constexpr FieldLayout kSectionFields[] = {
    {"section", 0, 1, kText},
    {"letterhead", 53, 1, kText},
};

}  // namespace layout_internal

// In the order in which the program opens them.
inline constexpr std::array<FileLayout, 13> kRentalFiles = {{
    {"VPropiet", 6, 828, 1, false, "name", layout_internal::kOwnerFields},
    {"VGrups", 7, 192, 2, false, "", layout_internal::kPropertyFields},
    {"VAmortit", 99, 60, 2, true, "", layout_internal::kAssetFields},
    {"VDepBase", 9, 396, 3, false, "", layout_internal::kUnitFields},
    {"VDepCont", 173, 44, 3, false, "", layout_internal::kContractFields},
    {"VDepCada", 212, 44, 3, false, "", layout_internal::kCadastreFields},
    {"VLlogate", 169, 72, 3, true, "", layout_internal::kTenantFields},
    {"VCobros", 17, 68, 3, true, "", layout_internal::kCollectionFields},
    {"VPagos", 18, 80, 2, true, "", layout_internal::kPaymentFields},
    {"Industri", 20, 460, 1, false, "", layout_internal::kSupplierFields},
    {"VDespesa", 2, 132, 1, false, "", layout_internal::kConceptFields},
    {"VCapPeri", 30, 108, 2, true, "", layout_internal::kChargeFields},
    {"USeccio", 78, 56, 1, false, "", layout_internal::kSectionFields},
}};

namespace layout_internal {

constexpr char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

constexpr bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

// Not constexpr on purpose: reaching it during constant evaluation is a compile error.
void UnknownRentalField();

}  // namespace layout_internal

// The layout of the file with this base name (case ignored, as file names on other systems are),
// or nullptr.
constexpr const FileLayout* FindRentalFile(std::string_view base_name) {
  for (const FileLayout& file : kRentalFiles) {
    if (layout_internal::SameNameIgnoringCase(file.base_name, base_name)) return &file;
  }
  return nullptr;
}

// The layout of the file with this file number, or nullptr.
constexpr const FileLayout* FindRentalFile(int16_t file_number) {
  for (const FileLayout& file : kRentalFiles) {
    if (file.file_number == file_number) return &file;
  }
  return nullptr;
}

// The field called `name` (exact spelling), or nullptr.
constexpr const FieldLayout* FindField(const FileLayout& file, std::string_view name) {
  for (const FieldLayout& field : file.fields) {
    if (field.name == name) return &field;
  }
  return nullptr;
}

// The field `name` of file `base_name`, resolved while compiling.
consteval FieldLayout RentalField(std::string_view base_name, std::string_view name) {
  // Indices, not pointers: comparing addresses inside the table is not a constant expression
  // for every compiler.
  for (size_t f = 0; f < kRentalFiles.size(); ++f) {
    if (!layout_internal::SameNameIgnoringCase(kRentalFiles[f].base_name, base_name)) continue;
    for (size_t i = 0; i < kRentalFiles[f].fields.size(); ++i) {
      if (kRentalFiles[f].fields[i].name == name) return kRentalFiles[f].fields[i];
    }
  }
  layout_internal::UnknownRentalField();
  return {};
}

// The file number of file `base_name`, resolved while compiling.
consteval int16_t RentalFileNumber(std::string_view base_name) {
  for (const FileLayout& file : kRentalFiles) {
    if (layout_internal::SameNameIgnoringCase(file.base_name, base_name)) return file.file_number;
  }
  layout_internal::UnknownRentalField();
  return 0;
}

// ---- Typed reads of a record area ---------------------------------------------------------------
// REQUIRES: the field has the type the function names (checked by assert). A record shorter than
// the field's end reads as if the missing bytes were zero bytes; nothing is read beyond it.

// The field's bytes as stored (width bytes, blank padding included).
std::string ReadText(std::span<const char> record, const FieldLayout& field);
// A one-byte text field as a character.
char ReadChar(std::span<const char> record, const FieldLayout& field);
// The packed bytes of a code field, for comparison with other packed codes.
std::string ReadCode(std::span<const char> record, const FieldLayout& field);
// The packed date (4 bytes).
Date ReadDate(std::span<const char> record, const FieldLayout& field);
uint8_t ReadByte(std::span<const char> record, const FieldLayout& field);
int16_t ReadInt16(std::span<const char> record, const FieldLayout& field);
int32_t ReadInt32(std::span<const char> record, const FieldLayout& field);
// Hundredths of the main currency.
int32_t ReadAmount(std::span<const char> record, const FieldLayout& field);

// The value of a packed code, or -1 when its bytes are not packed decimal digits.
int32_t CodeValue(std::string_view packed);

// ---- Typed writes ------------------------------------------------------------------------------
// REQUIRES: the field has the type the function names and lies inside the record (checked by
// assert; a field beyond the record end writes only what fits).

// Stores `text` (code page 850) cut to the field's width and padded with blanks.
void WriteText(std::span<char> record, const FieldLayout& field, std::string_view text);
// Stores `value` (0 to 10^(2 * width) - 1) as packed digits.
void WriteCode(std::span<char> record, const FieldLayout& field, int32_t value);
// Stores the packed bytes of a code as they are (cut or zero-filled to the width).
void WritePackedCode(std::span<char> record, const FieldLayout& field, std::string_view packed);
void WriteDate(std::span<char> record, const FieldLayout& field, const Date& date);
void WriteByte(std::span<char> record, const FieldLayout& field, uint8_t value);
void WriteInt16(std::span<char> record, const FieldLayout& field, int16_t value);
void WriteInt32(std::span<char> record, const FieldLayout& field, int32_t value);
void WriteAmount(std::span<char> record, const FieldLayout& field, int32_t hundredths);

// The packed key 0 value of owner `owner`, property `property` and unit `unit`, as the files
// keyed by owner code, property key or unit key hold it (2, 4 or 6 bytes).
std::string OwnerKey(int32_t owner);
std::string PropertyKey(int32_t owner, int32_t property);
std::string UnitKey(int32_t owner, int32_t property, int32_t unit);

// ---- Dictionaries ------------------------------------------------------------------------------

// The content of the dictionary file "ddf\<base>.xdf" of `file`: a 2-byte little-endian length,
// then the record manager's Create data (file header and one 16-byte descriptor per key segment).
std::string DictionaryBytes(const FileLayout& file);

}  // namespace quarnell

#endif  // QUARNELL_APP_RECORD_LAYOUTS_H_
