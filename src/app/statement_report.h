// The statement on paper: the page heading of each property (with the agency's letterhead or room
// for pre-printed paper), continuation pages, section titles and the line of each kind in the
// account layout ("N") and the fiscal layout ("F"). Everything goes to the spool file through the
// print output, which must be open.
#ifndef QUARNELL_APP_STATEMENT_REPORT_H_
#define QUARNELL_APP_STATEMENT_REPORT_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "app/letterhead.h"
#include "app/statement_figures.h"
#include "text/dates.h"

namespace quarnell {

// The page length of the statement and the page-break limits: a line finds a new page when more
// than kLineLimit lines are on the page, a section title when more than kTitleLimit are.
inline constexpr int16_t kStatementPageLength = 66;
inline constexpr int16_t kLineLimit = 60;
inline constexpr int16_t kTitleLimit = 58;

// What the page heading prints of the owner and the property (fields as stored in the records).
struct ReportHeading {
  std::string property_key;          // 4 packed bytes: owner code, property number
  std::string property_description;  // surname*prefix form
  std::string owner_name;            // surname*prefix form
  std::string owner_address1;
  std::string owner_address2;
  std::string owner_address3;
  std::string owner_tax_id;  // 17 characters
  bool letterhead = true;    // the property's section asks for the agency letterhead
};

// One line handed over by the computation. The label is already translated.
struct StatementLine {
  int16_t kind = 0;
  std::string label;
  double amount = 0;                  // hundredths
  double allocated_expenses = 0;      // fiscal unit lines
  double deduction = 0;               // fiscal unit lines, <= 0
  double retention = 0;               // fiscal unit lines, printed as its negative
  const UnitFigures* unit = nullptr;  // unit lines: kinds 1 to 4
};

// Sees each line as the report prints it, with the heading of its property.
using PrintedLineObserver =
    std::function<void(const ReportHeading& heading, const StatementLine& line)>;

// A rate of the fiscal layout's housing lines in whole percent, as printed (0.6 gives 60).
int32_t RatePercent(double rate);

// Translate of a fixed text of the statement, remembered for the run: the statement prints the
// same few dozen texts on every page. ForgetStatementTexts starts a run afresh, so a message file
// changed between runs is read again.
const std::string& StatementText(std::string_view catalan);
void ForgetStatementTexts();

// A page that ends a report the operator stopped: "EMISSIÓ ATURADA PER L'OPERADOR" and the last
// owner printed (`last_owner`, "code name"; empty when none was), in the language in force.
void PrintStoppedPage(const std::string& last_owner);

class StatementReport {
 public:
  // `letterhead` must outlive the report.
  StatementReport(const Letterhead& letterhead, Date statement_date, char report_option);

  // A new property: page counter 0, section not started. Nothing is printed until a line is.
  void BeginProperty(ReportHeading heading);
  // An income or expenses pass begins: the section is not started.
  void StartSection() { section_started_ = false; }

  bool section_started() const { return section_started_; }
  // Pages printed for the current property; 0 while nothing of it was printed.
  int16_t page_counter() const { return page_counter_; }

  // Prints the line with whatever page heading and section title it needs first.
  void PrintLine(const StatementLine& line);

  // `observer` (not owned; nullptr for none) sees every line printed from now on.
  void set_line_observer(const PrintedLineObserver* observer) { line_observer_ = observer; }

 private:
  bool account_layout() const { return report_option_ == 'N'; }
  void PageHeading();
  void FirstPageHeading(const std::string& page_text);
  void SectionTitle(const StatementLine& line);
  void FiscalColumns(const StatementLine& line);

  const Letterhead& letterhead_;
  Date statement_date_;
  char report_option_;
  ReportHeading heading_;
  int16_t page_counter_ = 0;
  bool section_started_ = false;
  const PrintedLineObserver* line_observer_ = nullptr;
};

}  // namespace quarnell

#endif  // QUARNELL_APP_STATEMENT_REPORT_H_
