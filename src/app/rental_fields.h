// The fields of the rental files that the statement reads and the data tool writes, one named
// constant each, resolved from the layout table while compiling. Code that touches a field uses
// these names, so the offsets live in the layout table alone.
#ifndef QUARNELL_APP_RENTAL_FIELDS_H_
#define QUARNELL_APP_RENTAL_FIELDS_H_

#include "app/record_layouts.h"

namespace quarnell {

// VPropiet: owners.
inline constexpr FieldLayout kOwnerCode = RentalField("VPropiet", "owner");
inline constexpr FieldLayout kOwnerName = RentalField("VPropiet", "name");  // surname*prefix
inline constexpr FieldLayout kOwnerAddress1 = RentalField("VPropiet", "address1");
inline constexpr FieldLayout kOwnerAddress2 = RentalField("VPropiet", "address2");
inline constexpr FieldLayout kOwnerAddress3 = RentalField("VPropiet", "address3");
inline constexpr FieldLayout kOwnerState = RentalField("VPropiet", "state");  // 0: reported
inline constexpr FieldLayout kOwnerLanguage = RentalField("VPropiet", "language");
inline constexpr FieldLayout kOwnerTaxId = RentalField("VPropiet", "tax_id");

// VGrups: properties.
inline constexpr FieldLayout kPropertyDescription = RentalField("VGrups", "description");
inline constexpr FieldLayout kPropertySection = RentalField("VGrups", "section");

// VAmortit: depreciable assets.
inline constexpr FieldLayout kAssetMethod = RentalField("VAmortit", "method");
inline constexpr FieldLayout kAssetCost = RentalField("VAmortit", "cost");
inline constexpr FieldLayout kAssetRate = RentalField("VAmortit", "rate");  // ten-thousandths
inline constexpr FieldLayout kAssetLife = RentalField("VAmortit", "life");  // years
inline constexpr FieldLayout kAssetStart = RentalField("VAmortit", "start");

// VDepBase, VDepCont, VDepCada: units, their contracts and cadastral data.
inline constexpr FieldLayout kUnitDescription = RentalField("VDepBase", "description");
inline constexpr FieldLayout kUnitReference = RentalField("VDepBase", "reference");
inline constexpr FieldLayout kContractType = RentalField("VDepCont", "type");
inline constexpr FieldLayout kContractDate = RentalField("VDepCont", "date");
inline constexpr FieldLayout kCadastralReference = RentalField("VDepCada", "cadastral_ref");

// VLlogate: tenants.
inline constexpr FieldLayout kTenantBirthDate = RentalField("VLlogate", "birth_date");
// Not 0: the tenant may count as young.
inline constexpr FieldLayout kTenantYoungEligible = RentalField("VLlogate", "young");

// VCobros: collections. Net income = amount - both deductions - retention.
inline constexpr FieldLayout kCollectionDate = RentalField("VCobros", "date");
inline constexpr FieldLayout kCollectionAmount = RentalField("VCobros", "amount");
inline constexpr FieldLayout kCollectionDeduction1 = RentalField("VCobros", "deducted1");
inline constexpr FieldLayout kCollectionDeduction2 = RentalField("VCobros", "deducted2");
inline constexpr FieldLayout kCollectionRetention = RentalField("VCobros", "retention");

// VPagos: payments.
inline constexpr FieldLayout kPaymentDate = RentalField("VPagos", "date");
inline constexpr FieldLayout kPaymentConcept = RentalField("VPagos", "concept");
inline constexpr FieldLayout kPaymentDescription = RentalField("VPagos", "description");
inline constexpr FieldLayout kPaymentAmount = RentalField("VPagos", "amount");
inline constexpr FieldLayout kPaymentBase = RentalField("VPagos", "base");
inline constexpr FieldLayout kPaymentVat = RentalField("VPagos", "vat");
inline constexpr FieldLayout kPaymentKind = RentalField("VPagos", "kind");  // "P" counts
inline constexpr FieldLayout kPaymentSupplier = RentalField("VPagos", "supplier");
inline constexpr FieldLayout kPaymentState = RentalField("VPagos", "state");  // "N" counts

// Industri: suppliers.
inline constexpr FieldLayout kSupplierCode = RentalField("Industri", "supplier");
// "D": negative payments from the supplier are subsidies.
inline constexpr FieldLayout kSupplierSubsidyFlag = RentalField("Industri", "subsidy");

// VDespesa: expense concepts.
inline constexpr FieldLayout kConceptCode = RentalField("VDespesa", "concept");
inline constexpr FieldLayout kConceptDescription = RentalField("VDespesa", "description");

// VCapPeri: periodic charges.
inline constexpr FieldLayout kChargeDate = RentalField("VCapPeri", "date");
inline constexpr FieldLayout kChargeAmount = RentalField("VCapPeri", "amount");

// USeccio: sections of the agency.
inline constexpr FieldLayout kSectionCode = RentalField("USeccio", "section");
// "S": the first page of a property of the section carries the agency letterhead.
inline constexpr FieldLayout kSectionLetterheadFlag = RentalField("USeccio", "letterhead");

}  // namespace quarnell

#endif  // QUARNELL_APP_RENTAL_FIELDS_H_
