// The thirteen record files of the rental database as the statement opens and reads them: one
// record area per file, bound at start-up and read through the record-file layer.
#ifndef QUARNELL_APP_RENTAL_FILES_H_
#define QUARNELL_APP_RENTAL_FILES_H_

#include <cstdint>
#include <span>

#include "app/record_layouts.h"

namespace quarnell {

// File numbers of the rental files, named for the call sites; the numbers come from the layout
// table.
inline constexpr int16_t kOwnerFile = RentalFileNumber("VPropiet");
inline constexpr int16_t kPropertyFile = RentalFileNumber("VGrups");
inline constexpr int16_t kAssetFile = RentalFileNumber("VAmortit");
inline constexpr int16_t kUnitFile = RentalFileNumber("VDepBase");
inline constexpr int16_t kContractFile = RentalFileNumber("VDepCont");
inline constexpr int16_t kCadastreFile = RentalFileNumber("VDepCada");
inline constexpr int16_t kTenantFile = RentalFileNumber("VLlogate");
inline constexpr int16_t kCollectionFile = RentalFileNumber("VCobros");
inline constexpr int16_t kPaymentFile = RentalFileNumber("VPagos");
inline constexpr int16_t kSupplierFile = RentalFileNumber("Industri");
inline constexpr int16_t kConceptFile = RentalFileNumber("VDespesa");
inline constexpr int16_t kChargeFile = RentalFileNumber("VCapPeri");
inline constexpr int16_t kSectionFile = RentalFileNumber("USeccio");

// The record area of a rental file: as many bytes as the layout table gives the file, living for
// the whole run. Reads of the record-file layer copy records into it.
// REQUIRES: `file_number` is one of the thirteen.
std::span<char> RecordArea(int16_t file_number);

// Opens the thirteen files in the order of the layout table, each as root + "DADES\" + base name
// bound to its record area. A file that cannot be opened (a missing one included) ends the program
// inside OpenRecordFile, and so does a file whose record length or keys are not those of its
// layout (status 2): a file holding another file's records must not print as statements.
// Statuses are not examined otherwise because no number is opened twice in a run.
void OpenRentalFiles();

// Holds a read snapshot of each of the thirteen files, so that a statement run reads every file as
// it was when the run began, whatever another program commits meanwhile; ReleaseRentalSnapshots
// lets them go. A snapshot that cannot be had ends the program through the fatal access path.
void HoldRentalSnapshots();
void ReleaseRentalSnapshots();

// Ends the program through the fatal access path at the first of the thirteen files whose keys do
// not hold every record: an index that lost entries fails no read, and the statement would print
// without the records it lost. A count of every key of every file, as the snapshots see them.
void VerifyRentalKeys();

// `status` of a read of rental file `file_number`, when the statement can go on from it: 0, the
// end of the file or no record with the key searched. Any other status (a damaged file, an I/O
// error, a record of another length than the file's, a file not open) ends the program through
// the fatal access path naming the file: statements with records missing must never look
// complete.
int16_t CheckRead(int16_t file_number, int16_t status);

}  // namespace quarnell

#endif  // QUARNELL_APP_RENTAL_FILES_H_
