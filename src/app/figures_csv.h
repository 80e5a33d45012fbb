// The figures of a statement run for the owners' tax advisers: one CSV row per unit line the run
// prints (the fiscal layout's lines of each unit, or the account layout's income line of each
// unit), with the amounts as printed but as plain numbers a spreadsheet reads:
//
//   owner,tax_id,property,unit,unit_name,cadastral_ref,contract_date,contract_type,line,rate,
//   income,allocated_expenses,deduction,retention
//
// `line` is "non-housing", "housing" or "young housing" in the fiscal layout and "account" in the
// account layout, which prints only the income (the other amounts and the rate are left empty
// there, as they are for lines that print no rate). Texts are UTF-8.
#ifndef QUARNELL_APP_FIGURES_CSV_H_
#define QUARNELL_APP_FIGURES_CSV_H_

#include <string>

#include "app/statement_report.h"
#include "print/fresh_file.h"

namespace quarnell {

class FiguresFile {
 public:
  // Starts the figures, to be put at `path` (a host path) by Close; what a killed run left beside
  // it goes first. False with the reason in `problem` when the file cannot be made.
  bool Open(const std::string& path, std::string* problem);

  // One row for a printed unit line; other lines are passed over. REQUIRES: open.
  void Add(const ReportHeading& heading, const StatementLine& line);

  // Writes the file to the disk and puts it in place; false with the reason in `problem`.
  bool Close(std::string* problem);

  const std::string& path() const { return path_; }

 private:
  FreshFile file_;
  std::string path_;
  std::string row_;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_FIGURES_CSV_H_
