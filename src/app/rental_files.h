// The thirteen record files of the rental database as the statement opens and reads them: one
// record area per file, bound at start-up and read through the record-file layer.
#ifndef QUARNELL_APP_RENTAL_FILES_H_
#define QUARNELL_APP_RENTAL_FILES_H_

#include <cstdint>
#include <span>

#include "app/record_layouts.h"

namespace quarnell {

// File numbers of the rental files (the layout table holds the same numbers; these name them at
// the call sites).
inline constexpr int16_t kOwnerFile = 6;        // VPropiet
inline constexpr int16_t kPropertyFile = 7;     // VGrups
inline constexpr int16_t kAssetFile = 99;       // VAmortit
inline constexpr int16_t kUnitFile = 9;         // VDepBase
inline constexpr int16_t kContractFile = 173;   // VDepCont
inline constexpr int16_t kCadastreFile = 212;   // VDepCada
inline constexpr int16_t kTenantFile = 169;     // VLlogate
inline constexpr int16_t kCollectionFile = 17;  // VCobros
inline constexpr int16_t kPaymentFile = 18;     // VPagos
inline constexpr int16_t kSupplierFile = 20;    // Industri
inline constexpr int16_t kConceptFile = 2;      // VDespesa
inline constexpr int16_t kChargeFile = 30;      // VCapPeri
inline constexpr int16_t kSectionFile = 78;     // USeccio

// The record area of a rental file: as many bytes as the layout table gives the file, living for
// the whole run. Reads of the record-file layer copy records into it.
// REQUIRES: `file_number` is one of the thirteen.
std::span<char> RecordArea(int16_t file_number);

// Opens the thirteen files in the order of the layout table, each as root + "DADES\" + base name
// bound to its record area. A file that cannot be opened ends the program inside OpenRecordFile;
// statuses are not examined because no number is opened twice in a run.
void OpenRentalFiles();

}  // namespace quarnell

#endif  // QUARNELL_APP_RENTAL_FILES_H_
