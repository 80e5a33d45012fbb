// Reads what the statement needs from the open rental files, once per property, walking each
// file forward through a run: owners come in code order and their properties in key order, so
// the records of one property (and of one unit) follow those of the one before in every file
// keyed by property or unit key. A file is positioned by key only when the walk starts, when it
// would have to skip far, or after a failed read; otherwise the next records are stepped to.
// The small lookup files (expense concepts, suppliers, sections) are read once per code in a run.
//
// What is read is what a read by key for every property and unit would give, as long as the
// files do not change during the run.
#ifndef QUARNELL_APP_RENTAL_READER_H_
#define QUARNELL_APP_RENTAL_READER_H_

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "app/statement.h"
#include "app/statement_figures.h"

namespace quarnell {

// Records read successfully by the statement since the last reset (for run statistics).
uint64_t StatementRecordsRead();
void ResetStatementRecordsRead();
void CountStatementRecordRead();

// One file walked forward on key 0. The record area of the file holds the current record.
class ForwardWalk {
 public:
  explicit ForwardWalk(int16_t file_number);

  // Makes current the first record whose leading key.size() bytes are at or above `key`, and
  // returns whether they equal `key`. Keys sought in a walk should increase; the same key again
  // or a smaller one positions the file by key again.
  bool Seek(std::string_view key);
  // Steps to the next record; returns whether its leading bytes equal `key`.
  bool NextWith(std::string_view key);

  std::span<const char> record() const { return record_; }

 private:
  enum class State { kUnpositioned, kPositioned, kAtEnd };
  bool Step();
  std::string_view Leading(size_t length) const;

  int16_t file_number_;
  std::span<const char> record_;
  State state_ = State::kUnpositioned;
  std::string last_key_;
};

class RentalReader {
 public:
  RentalReader();

  // The figures of the property `property_key` (4 packed bytes). A read that finds no more
  // records ends the walk in progress; a damaged file ends the program (CheckRead). A unit without
  // a contract or cadastral record counts as having an empty contract (type blank, empty date) and
  // no cadastral reference.
  PropertyFigures ReadProperty(const std::string& property_key, const StatementSettings& settings);

  // Whether the section prints the agency letterhead: its flag is "S", or it is not found.
  bool SectionLetterhead(char section_code);

 private:
  double Depreciation(const std::string& property_key, const Date& statement_date);
  void Expenses(const std::string& property_key, const StatementSettings& settings,
                PropertyFigures& figures);
  void Units(const std::string& property_key, const Date& statement_date, PropertyFigures& figures);
  void Tenants(const std::string& unit_key, const Date& statement_date, UnitFigures& unit);
  void Collections(const std::string& unit_key, const Date& statement_date, UnitFigures& unit);
  // The concept's description, or nullopt when the concept file has no such code.
  const std::optional<std::string>& ConceptDescription(const std::string& concept_code);
  // Whether negative payments from this supplier are subsidies (found and flagged "D").
  bool SubsidySupplier(const std::string& supplier_code);

  ForwardWalk assets_;
  ForwardWalk payments_;
  ForwardWalk charges_;
  ForwardWalk units_;
  ForwardWalk contracts_;
  ForwardWalk cadastre_;
  ForwardWalk tenants_;
  ForwardWalk collections_;
  std::map<std::string, std::optional<std::string>> concepts_;
  std::map<std::string, bool> suppliers_;
  std::map<char, bool> sections_;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_RENTAL_READER_H_
