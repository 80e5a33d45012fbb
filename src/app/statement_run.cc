#include "app/statement_run.h"

#include <utility>

#include "app/letterhead.h"
#include "app/parameter_table.h"
#include "app/rental_fields.h"
#include "app/rental_files.h"
#include "app/rental_reader.h"
#include "app/statement.h"
#include "app/statement_report.h"
#include "print/print_output.h"
#include "print/spool_marks.h"
#include "records/record_files.h"
#include "text/clock.h"
#include "text/folding.h"
#include "text/language.h"
#include "text/masks.h"

namespace quarnell {
namespace {

constexpr size_t kOwnerCodeLength = 2;
constexpr size_t kPropertyKeyLength = 4;

StatementProgress progress_observer;
PrintedLineObserver line_observer;
RunMark last_run;

int16_t Read(int16_t file_number, std::string_view key, int16_t direction) {
  int16_t status = CheckRead(file_number, GetByKeyStatus(file_number, 0, key, direction));
  if (status == 0) CountStatementRecordRead();
  return status;
}

int16_t Next(int16_t file_number) {
  int16_t status = 0;
  ReadStep(file_number, 1, status);
  CheckRead(file_number, status);
  if (status == 0) CountStatementRecordRead();
  return status;
}

bool StartsWith(std::span<const char> record, std::string_view key) {
  return std::string_view(record.data(), key.size()) == key;
}

// The run's mark, dated now by the clock.
RunMark MarkOf(const Date& statement_date, std::string_view owner_from, std::string_view owner_to,
               char layout) {
  Clock& clock = CurrentClock();
  const int32_t seconds = clock.SecondsOfDay();
  RunMark mark;
  mark.started = ZeroPad(clock.Today(), 8) + "-" + ZeroPad(seconds / 3600, 2) +
                 ZeroPad(seconds / 60 % 60, 2) + ZeroPad(seconds % 60, 2);
  mark.statement_date = ZeroPad(DateNumber(statement_date), 8);
  mark.layout = layout;
  mark.owner_from = UnpackDigits(owner_from);
  mark.owner_to = UnpackDigits(owner_to);
  return mark;
}

// Prints the statements of the current owner's properties; returns how many printed anything.
int32_t OwnerStatements(const StatementSettings& settings, RentalReader& reader,
                        StatementReport& report) {
  std::span<const char> owner = RecordArea(kOwnerFile);
  std::span<const char> property = RecordArea(kPropertyFile);
  const std::string owner_code = ReadCode(owner, kOwnerCode);

  ReportHeading heading;
  heading.owner_name = ReadText(owner, kOwnerName);
  heading.owner_address1 = ReadText(owner, kOwnerAddress1);
  heading.owner_address2 = ReadText(owner, kOwnerAddress2);
  heading.owner_address3 = ReadText(owner, kOwnerAddress3);
  heading.owner_tax_id = ReadText(owner, kOwnerTaxId);
  const bool personal = PersonalTaxpayer(heading.owner_tax_id);

  int32_t printed = 0;
  int16_t status = Read(kPropertyFile, owner_code, 1);
  while (status == 0 && StartsWith(property, owner_code)) {
    heading.letterhead = reader.SectionLetterhead(ReadChar(property, kPropertySection));
    heading.property_key.assign(property.data(), kPropertyKeyLength);
    heading.property_description = ReadText(property, kPropertyDescription);
    PropertyStatement(heading, settings, personal, reader, report);
    if (report.page_counter() != 0) ++printed;
    status = Next(kPropertyFile);
  }
  return printed;
}

// The owner's statements between the marks that let the print program give each owner a
// document of their own.
void MarkedOwnerStatements(const StatementSettings& settings, RentalReader& reader,
                           StatementReport& report) {
  std::span<const char> owner = RecordArea(kOwnerFile);
  OwnerMark mark;
  mark.code = UnpackDigits(ReadCode(owner, kOwnerCode).substr(0, kOwnerCodeLength));
  mark.tax_id = ReadText(owner, kOwnerTaxId);
  mark.name = ReadText(owner, kOwnerName);
  PrintDirective(OwnerDirective(mark));
  const int32_t printed = OwnerStatements(settings, reader, report);
  PrintDirective(OwnerEndDirective(mark.code, printed));
}

}  // namespace

void SetStatementProgress(StatementProgress progress) { progress_observer = std::move(progress); }

void SetPrintedLineObserver(PrintedLineObserver observer) { line_observer = std::move(observer); }

const RunMark& LastStatementRun() { return last_run; }

void StatementRun(const Date& statement_date, std::string_view owner_from,
                  std::string_view owner_to, std::string_view report_option,
                  std::string_view device) {
  StatementSettings settings;
  settings.statement_date = statement_date;
  settings.report_option = report_option.empty() ? ' ' : report_option.front();
  settings.parameters = ParameterTableValues();
  StatementReport report(AgencyLetterhead(), statement_date, settings.report_option);
  report.set_line_observer(line_observer ? &line_observer : nullptr);
  RentalReader reader;

  ForgetStatementTexts();
  HoldRentalSnapshots();
  VerifyRentalKeys();
  last_run = MarkOf(statement_date, owner_from, owner_to, settings.report_option);
  OpenPrintOutput(device);
  PrintDirective(RunDirective(last_run));
  SetCurrency("p");

  std::span<const char> owner = RecordArea(kOwnerFile);
  const std::string last(owner_to);
  std::string last_printed;  // "code name" of the last owner printed
  bool stopped = false;
  int16_t status = Read(kOwnerFile, owner_from, 1);
  while (status == 0 && ReadCode(owner, kOwnerCode).substr(0, kOwnerCodeLength) <= last) {
    if (ReadByte(owner, kOwnerState) == 0) {
      const std::string code = PackedToDotted(ReadCode(owner, kOwnerCode));
      const std::string name = ReorderName(ReadText(owner, kOwnerName));
      if (progress_observer && !progress_observer(code, name)) {
        stopped = true;
        break;
      }
      PushText(LanguageCode());
      SetLanguageCode(ReadText(owner, kOwnerLanguage));
      MarkedOwnerStatements(settings, reader, report);
      SetLanguageCode(PopText());
      last_printed = code + " " + name;
    }
    status = Next(kOwnerFile);
  }
  if (stopped) PrintStoppedPage(last_printed);

  SetCurrency("");
  ClosePrintOutput();
  ReleaseRentalSnapshots();
}

}  // namespace quarnell
