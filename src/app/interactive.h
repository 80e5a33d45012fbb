// The interactive program: the parameter screen, the confirmation, the statement run with its
// progress window, the hand-over to the print program, and back to the parameter screen until the
// operator leaves with Esc.
//
// The form file FORMS\QUARNELL.JPN supplies the screens: screen 1 the parameters (statement date,
// first and last owner code, report option N or F), screen 2 the confirmation (one character that
// must be "S"), and pick list 1 over the owners with the screen that asks for the first letters of
// the name before it.
#ifndef QUARNELL_APP_INTERACTIVE_H_
#define QUARNELL_APP_INTERACTIVE_H_

#include <cstdint>
#include <string>

#include "app/run_delivery.h"
#include "screen/console.h"
#include "text/dates.h"

namespace quarnell {

// The entered values carried from one run of the program to the next, in the session directory.
inline constexpr char kEntryValuesFileName[] = "pent.tmp";

// The parameters of the last accepted parameter screen.
struct RunParameters {
  Date statement_date;        // packed
  std::string owner_from;     // packed, 2 bytes
  std::string owner_to;       // packed, 2 bytes
  std::string report_option;  // as typed: "N" or "F"
};
const RunParameters& AcceptedParameters();

// The defaults of the parameter screen: 31 December of the year before the working date's year,
// owners 1 to 9999, the account layout.
void SetParameterDefaults();

// The host path of the entry-values file.
std::string EntryValuesPath();

// Restores the entered values of the last run: each line of the file, in the order of the screens
// and their fields, becomes that field's value when it fits the field (cut to its length, control
// characters as blanks, and passing the field's check); other fields keep their defaults, lines
// beyond the fields are ignored. The file is deleted afterwards.
void RestoreEntryValues();

// Writes every field's value as one line, replacing the file whole. Returns false when it cannot
// be written (the values of this run are then not carried to the next).
bool SaveEntryValues();

// The hooks of the form engine (AcceptForm and the three pick-list hooks) for this program.
void InstallFormHooks();

// AcceptForm: Esc and screens other than 1 end at once. For screen 1 the values become the run
// parameters; a first owner above the last (or a value that does not fit its field) rings the bell
// and keeps the operator on the screen; otherwise the data check of the run is offered when it has
// findings, then the confirmation screen runs and the screen ends only when it is answered "S".
int16_t AcceptForm(Console& console, int screen, int16_t& key);

// The pick-list hooks of list 1, the owners (file 6 along the names); other lists get nothing.
std::string BrowseLine(int browse);
int16_t BrowsePick(Console& console, int& browse, int screen, int field);
int16_t BrowseStart(int browse, std::string& from_key, std::string& to_key);

// What every run hands out besides the report on its device: by default its archive under ARXIU/
// (app/run_archive.h); the command line may ask for one PDF per owner instead of the device, for
// the figures file, or for no archive. A run the operator stopped is not archived.
void SetRunOutputs(const DeliveryOptions& outputs);

// One confirmed run: the statements of the accepted parameters with a progress window (Esc stops
// after the owner being printed and the report ends with a page saying so), the entered values
// saved, the record files released, the print program with the terminal handed to it (and the
// archive made), the record files opened again for the next run. Another run using the session's
// spool file is named in a message box and nothing is printed.
void PrintStatements(Console& console);

// The whole interactive program on `console`: start-up, the cycle, and the shut-down on Esc.
// Returns the exit status, 0.
int RunInteractive(Console& console);

}  // namespace quarnell

#endif  // QUARNELL_APP_INTERACTIVE_H_
