#include "tools/qebdata/synthetic_agency.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "app/record_csv.h"
#include "app/record_layouts.h"
#include "app/rental_fields.h"
#include "records/engine/record_call.h"
#include "text/cp850.h"
#include "text/dates.h"
#include "tools/qebdata/installation.h"
#include "tools/qebdata/record_store.h"
#include "tools/qebdata/transfer.h"

namespace quarnell {
namespace {

// A seeded generator of our own (SplitMix64): the standard distributions may differ between
// library versions, and the same seed must give the same agency everywhere.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A whole number from low to high, both included.
  int32_t Between(int32_t low, int32_t high) {
    return low + static_cast<int32_t>(Next() % static_cast<uint64_t>(high - low + 1));
  }
  bool Chance(int32_t percent) { return Between(1, 100) <= percent; }
  template <typename T, size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Next() % N];
  }

 private:
  uint64_t state_;
};

constexpr std::string_view kSurnames[] = {
    "GARCIA"_cp850,    "MARTÍNEZ"_cp850, "PUIG"_cp850,    "FERRER"_cp850,   "VILA"_cp850,
    "SOLER"_cp850,     "CASALS"_cp850,   "FONT"_cp850,    "ROCA"_cp850,     "PONS"_cp850,
    "SERRA"_cp850,     "VIDAL"_cp850,    "MIRÓ"_cp850,    "COLL"_cp850,     "BOSCH"_cp850,
    "RIBAS"_cp850,     "PUJOL"_cp850,    "TORRES"_cp850,  "LÓPEZ"_cp850,    "FERNÁNDEZ"_cp850,
    "RODRÍGUEZ"_cp850, "GONZÁLEZ"_cp850, "SÁNCHEZ"_cp850, "PÉREZ"_cp850,    "CASTRO"_cp850,
    "OTERO"_cp850,     "VÁZQUEZ"_cp850,  "NÚÑEZ"_cp850,   "CARBALLO"_cp850, "BARREIRO"_cp850,
    "IGLESIAS"_cp850,  "MONCASAU"_cp850, "CAUBET"_cp850,  "BARÈS"_cp850,    "SANSA"_cp850,
    "FERRÀ"_cp850,     "GÜELL"_cp850,    "CODINA"_cp850,  "SUNYER"_cp850,   "ESTANY"_cp850,
};
constexpr std::string_view kFirstNames[] = {
    "JOSEP"_cp850,   "MARIA"_cp850,    "JORDI"_cp850,  "MONTSERRAT"_cp850, "NÚRIA"_cp850,
    "PERE"_cp850,    "ANNA"_cp850,     "JOAN"_cp850,   "CARME"_cp850,      "XAVIER"_cp850,
    "MERCÈ"_cp850,   "FRANCESC"_cp850, "ROSA"_cp850,   "JUAN"_cp850,       "CARMEN"_cp850,
    "ANTONIO"_cp850, "DOLORES"_cp850,  "MANUEL"_cp850, "XOSÉ"_cp850,       "UXÍA"_cp850,
    "BRAIS"_cp850,   "ANTÍA"_cp850,    "IRIA"_cp850,   "MARTÍ"_cp850,      "AURÈLIA"_cp850,
};
constexpr std::string_view kCompanyWords[] = {
    "INVERSIONS"_cp850, "PATRIMONIAL"_cp850, "IMMOBLES"_cp850, "LLOGUERS"_cp850, "FINQUES"_cp850,
};
constexpr std::string_view kStreets[] = {
    "C. MAJOR"_cp850,           "RAMBLA DE CATALUNYA"_cp850, "C. DE SANT PERE"_cp850,
    "PG. DE GRÀCIA"_cp850,      "AV. DIAGONAL"_cp850,        "C. DEL CARME"_cp850,
    "PL. DE LA VILA"_cp850,     "C. DE LA INDÚSTRIA"_cp850,  "CALLE MAYOR"_cp850,
    "CALLE DE ALCALÁ"_cp850,    "RÚA DO FRANCO"_cp850,       "RÚA NOVA"_cp850,
    "CARRÈR MAJOR"_cp850,       "PASSEIG DEL RIU"_cp850,     "C. DE L'ESGLÉSIA"_cp850,
    "AV. DE LA CATEDRAL"_cp850,
};
constexpr std::string_view kTowns[] = {
    "08001 BARCELONA"_cp850, "17001 GIRONA"_cp850, "25001 LLEIDA"_cp850,
    "43001 TARRAGONA"_cp850, "28013 MADRID"_cp850, "15705 SANTIAGO DE COMPOSTELA"_cp850,
    "36201 VIGO"_cp850,      "25530 VIELHA"_cp850, "08201 SABADELL"_cp850,
    "46001 VALÈNCIA"_cp850,
};
constexpr std::string_view kDwellings[] = {
    "PIS 1R 1A"_cp850, "PIS 1R 2A"_cp850, "PIS 2N 1A"_cp850, "PIS 3R 2A"_cp850,
    "ÀTIC"_cp850,      "BAIXOS"_cp850,    "PIS 4T 1A"_cp850, "ENTRESOL"_cp850,
};
constexpr std::string_view kPremises[] = {
    "LOCAL COMERCIAL"_cp850,
    "LOCAL 1"_cp850,
    "PÀRQUING"_cp850,
    "MAGATZEM"_cp850,
};

struct Concept {
  std::string_view code;
  std::string_view description;
  int32_t low;  // amount range in hundredths
  int32_t high;
  int32_t vat_rate;  // percent
  int32_t per_year;
};
constexpr Concept kConcepts[] = {
    {"HON", "HONORARIS ADMINISTRACIÓ"_cp850, 3000, 15000, 21, 4},
    {"COM", "QUOTA COMUNITAT"_cp850, 9000, 30000, 0, 4},
    {"IBI", "IMPOST BÉNS IMMOBLES"_cp850, 30000, 120000, 0, 1},
    {"ASS", "ASSEGURANÇA"_cp850, 20000, 60000, 0, 1},
    {"AIG", "SUBMINISTRAMENT AIGUA"_cp850, 2000, 9000, 10, 3},
    {"LLU", "ENLLUMENAT ESCALA"_cp850, 3000, 12000, 21, 2},
    {"REP", "REPARACIONS"_cp850, 5000, 90000, 21, 2},
    {"NET", "NETEJA"_cp850, 4000, 15000, 21, 1},
    {"ASC", "MANTENIMENT ASCENSOR"_cp850, 8000, 25000, 21, 1},
    {"SUP", "SUPLERTS"_cp850, 1000, 8000, 21, 1},
    {"TAX", "TAXA ESCOMBRARIES"_cp850, 5000, 20000, 0, 1},
    {"JUR", "ASSESSORAMENT JURÍDIC"_cp850, 10000, 40000, 21, 0},
};
constexpr int32_t kSuppliers = 60;
constexpr int32_t kFirstSubsidySupplier = 56;  // public bodies: their negative payments are aid

constexpr int32_t kFirstYear = 2024;
constexpr int32_t kYears = 2;

std::string Digits(int64_t value, int width) {
  std::string text(static_cast<size_t>(width), '0');
  for (int i = width - 1; i >= 0 && value > 0; --i) {
    text[static_cast<size_t>(i)] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return text;
}

// Hundredths of `amount` at `percent`, rounded half away from zero on whole hundredths.
int32_t Percent(int32_t amount, int32_t percent) {
  return static_cast<int32_t>((static_cast<int64_t>(amount) * percent + 50) / 100);
}

class AgencyWriter {
 public:
  AgencyWriter(std::string root, std::ostream& progress)
      : root_(std::move(root)), progress_(progress) {}

  bool Open() {
    for (size_t i = 0; i < kRentalFiles.size(); ++i) {
      const std::string path = RecordFilePath(root_, kRentalFiles[i]);
      int16_t status = stores_[i].Open(path, kOpenNormal);
      // One transaction per file: a commit per record made 10,000 owners take minutes instead of
      // half a minute, and a failed run now leaves the files empty as it found them.
      if (status == kRecordOk) status = stores_[i].BeginTransaction();
      if (status != kRecordOk) {
        progress_ << "qebdata: cannot write " << path << " (status " << status << ")\n";
        return false;
      }
    }
    return true;
  }

  std::string Blank(const FileLayout& file) { return BlankRecord(file); }

  // Adds a record to `file`; false (with a message) when the record manager refuses it.
  bool Add(const FileLayout& file, const std::string& record) {
    const size_t index = static_cast<size_t>(&file - kRentalFiles.data());
    const int16_t status = stores_[index].Insert(record);
    if (status != kRecordOk) {
      progress_ << "qebdata: cannot add a record to " << file.base_name << " (status " << status
                << ")\n";
      return false;
    }
    ++counts_[index];
    ++total_;
    return true;
  }

  // Makes everything written durable; false when a file refused (its records are then undone).
  bool Commit() {
    bool committed = true;
    for (RecordStore& store : stores_) {
      committed = store.EndTransaction() == kRecordOk && committed;
      committed = store.Close() == kRecordOk && committed;
    }
    return committed;
  }

  uint64_t total() const { return total_; }
  uint64_t count(size_t index) const { return counts_[index]; }

 private:
  std::string root_;
  std::ostream& progress_;
  std::array<RecordStore, kRentalFiles.size()> stores_;
  std::array<uint64_t, kRentalFiles.size()> counts_ = {};
  uint64_t total_ = 0;
};

const FileLayout& File(std::string_view base_name) { return *FindRentalFile(base_name); }

class Generator {
 public:
  Generator(AgencyWriter* writer, uint64_t seed) : writer_(*writer), random_(seed) {}

  bool SharedTables() {
    const FileLayout& sections = File("USeccio");
    for (const auto& [code, letterhead] : {std::pair{"1", "S"}, std::pair{"2", "N"}}) {
      std::string record = writer_.Blank(sections);
      WriteText(record, kSectionCode, code);
      WriteText(record, kSectionLetterheadFlag, letterhead);
      if (!writer_.Add(sections, record)) return false;
    }
    const FileLayout& concepts = File("VDespesa");
    for (const Concept& concept_row : kConcepts) {
      std::string record = writer_.Blank(concepts);
      WriteText(record, kConceptCode, concept_row.code);
      WriteText(record, kConceptDescription, concept_row.description);
      if (!writer_.Add(concepts, record)) return false;
    }
    const FileLayout& suppliers = File("Industri");
    for (int32_t code = 1; code <= kSuppliers; ++code) {
      std::string record = writer_.Blank(suppliers);
      WriteCode(record, kSupplierCode, code);
      WriteText(record, kSupplierSubsidyFlag, code >= kFirstSubsidySupplier ? "D" : " ");
      if (!writer_.Add(suppliers, record)) return false;
    }
    return true;
  }

  bool Owner(int32_t owner) {
    const FileLayout& owners = File("VPropiet");
    std::string record = writer_.Blank(owners);
    WriteCode(record, kOwnerCode, owner);
    const bool company = random_.Chance(8);
    const std::string surname = std::string(random_.Pick(kSurnames));
    if (company) {
      WriteText(record, kOwnerName,
                std::string(random_.Pick(kCompanyWords)) + " " + surname + ", S.L.");
      WriteText(record, kOwnerTaxId, "ESB" + Digits(random_.Between(10000000, 99999999), 8));
    } else {
      WriteText(record, kOwnerName,
                surname + " " + std::string(random_.Pick(kSurnames)) + "*" +
                    std::string(random_.Pick(kFirstNames)));
      const int32_t number = random_.Between(10000000, 99999999);
      WriteText(record, kOwnerTaxId,
                "ES" + Digits(number, 8) + "TRWAGMYFPDXBNJZSQVHLCKE"[number % 23]);
    }
    WriteText(record, kOwnerAddress1,
              std::string(random_.Pick(kStreets)) + ", " + std::to_string(random_.Between(1, 150)));
    const std::string_view town = random_.Pick(kTowns);
    WriteText(record, kOwnerAddress2, town);
    WriteText(record, kOwnerAddress3, town.substr(6));
    const int32_t language = random_.Between(1, 100);
    WriteText(record, kOwnerLanguage,
              language <= 50   ? "CAT"
              : language <= 75 ? "SPA"
              : language <= 90 ? "GLG"
                               : "OCI");
    WriteByte(record, kOwnerState, random_.Chance(2) ? 1 : 0);
    if (!writer_.Add(owners, record)) return false;

    const int32_t properties = random_.Between(3, 7);
    for (int32_t property = 1; property <= properties; ++property) {
      if (!Property(owner, property)) return false;
    }
    return true;
  }

 private:
  // A record of `file` whose key begins with the property key.
  std::string PropertyRecord(const FileLayout& file, int32_t owner, int32_t property) {
    std::string record = writer_.Blank(file);
    WriteCode(record, file.fields[0], owner);
    WriteCode(record, file.fields[1], property);
    return record;
  }
  std::string UnitRecord(const FileLayout& file, int32_t owner, int32_t property, int32_t unit) {
    std::string record = PropertyRecord(file, owner, property);
    WriteCode(record, file.fields[2], unit);
    return record;
  }
  Date RandomDate(int32_t first_year, int32_t last_year) {
    return MakeDate(random_.Between(first_year, last_year) * 10000 + random_.Between(1, 12) * 100 +
                    random_.Between(1, 28));
  }

  bool Property(int32_t owner, int32_t property) {
    const FileLayout& properties = File("VGrups");
    std::string record = PropertyRecord(properties, owner, property);
    WriteText(record, kPropertyDescription,
              std::string(random_.Pick(kStreets)) + ", " + std::to_string(random_.Between(1, 200)));
    WriteText(record, kPropertySection, random_.Chance(70) ? "1" : "2");
    if (!writer_.Add(properties, record)) return false;

    const FileLayout& assets = File("VAmortit");
    const int32_t asset_count = random_.Between(1, 2);
    for (int32_t i = 0; i < asset_count; ++i) {
      std::string asset = PropertyRecord(assets, owner, property);
      const int32_t method = random_.Between(1, 100);
      WriteText(asset, kAssetMethod, method <= 60 ? "C" : method <= 80 ? "D" : "S");
      WriteAmount(asset, kAssetCost, random_.Between(50000, 300000) * 100);
      WriteInt16(asset, kAssetRate,
                 static_cast<int16_t>(method <= 60 ? 300 : random_.Between(300, 1000)));
      WriteInt16(asset, kAssetLife, static_cast<int16_t>(random_.Between(10, 50)));
      WriteDate(asset, kAssetStart, RandomDate(1990, 2024));
      if (!writer_.Add(assets, asset)) return false;
    }

    const int32_t units = random_.Between(1, 5);
    int64_t yearly_rent = 0;
    for (int32_t unit = 1; unit <= units; ++unit) {
      int32_t rent = 0;
      if (!Unit(owner, property, unit, &rent)) return false;
      yearly_rent += 12 * static_cast<int64_t>(rent);
    }
    for (int32_t year = kFirstYear; year < kFirstYear + kYears; ++year) {
      if (!Payments(owner, property, year, yearly_rent)) return false;
      const FileLayout& charges = File("VCapPeri");
      const int32_t charge_count = random_.Between(0, 2);
      for (int32_t i = 0; i < charge_count; ++i) {
        std::string charge = PropertyRecord(charges, owner, property);
        WriteDate(charge, kChargeDate, RandomDate(year, year));
        WriteAmount(charge, kChargeAmount, random_.Between(1000, 20000));
        if (!writer_.Add(charges, charge)) return false;
      }
    }
    return true;
  }

  bool Unit(int32_t owner, int32_t property, int32_t unit, int32_t* monthly_rent) {
    const int32_t kind = random_.Between(1, 100);
    const char type = kind <= 55 ? 'V' : kind <= 70 ? 'O' : kind <= 90 ? 'L' : 'P';
    const bool premises = type == 'L';

    const FileLayout& units = File("VDepBase");
    std::string record = UnitRecord(units, owner, property, unit);
    WriteText(record, kUnitDescription,
              premises ? random_.Pick(kPremises) : random_.Pick(kDwellings));
    WriteText(record, kUnitReference,
              std::string(1, 'R') + Digits(owner, 4) + Digits(property, 4) + Digits(unit, 4));
    if (!writer_.Add(units, record)) return false;

    const FileLayout& contracts = File("VDepCont");
    std::string contract = UnitRecord(contracts, owner, property, unit);
    WriteText(contract, kContractType, std::string(1, type));
    WriteDate(contract, kContractDate, RandomDate(1995, 2025));
    if (!writer_.Add(contracts, contract)) return false;

    const FileLayout& cadastre = File("VDepCada");
    std::string cadastral = UnitRecord(cadastre, owner, property, unit);
    if (!random_.Chance(10)) {
      WriteText(cadastral, kCadastralReference,
                Digits(random_.Between(1000000, 9999999), 7) + "DF" +
                    Digits(random_.Between(1000, 9999), 4) + "S" + Digits(unit, 4) + "XY");
    }
    if (!writer_.Add(cadastre, cadastral)) return false;

    *monthly_rent = 0;
    if (type == 'P') return true;  // lived in by the owner: no tenants, no rent

    const FileLayout& tenants = File("VLlogate");
    const int32_t tenant_count = random_.Between(1, 2);
    for (int32_t i = 0; i < tenant_count; ++i) {
      std::string tenant = UnitRecord(tenants, owner, property, unit);
      if (!random_.Chance(5)) {
        const Date birth = RandomDate(1940, 2005);
        WriteDate(tenant, kTenantBirthDate, birth);
        WriteInt32(tenant, kTenantYoungEligible,
                   DateNumber(birth) >= 19900000 && random_.Chance(80));
      }
      if (!writer_.Add(tenants, tenant)) return false;
    }

    const FileLayout& collections = File("VCobros");
    const int32_t rent = random_.Between(350, 1500) * 100;
    *monthly_rent = rent;
    for (int32_t year = kFirstYear; year < kFirstYear + kYears; ++year) {
      const int32_t yearly = year == kFirstYear ? rent : Percent(rent, 103);
      for (int32_t month = 1; month <= 12; ++month) {
        std::string collection = UnitRecord(collections, owner, property, unit);
        WriteDate(collection, kCollectionDate,
                  MakeDate(year * 10000 + month * 100 + random_.Between(1, 10)));
        WriteAmount(collection, kCollectionAmount, yearly);
        if (random_.Chance(10)) WriteAmount(collection, kCollectionDeduction1, 1500);
        if (random_.Chance(5))
          WriteAmount(collection, kCollectionDeduction2, random_.Between(500, 5000));
        if (premises) WriteAmount(collection, kCollectionRetention, Percent(yearly, 19));
        if (!writer_.Add(collections, collection)) return false;
      }
    }
    return true;
  }

  bool Payment(int32_t owner, int32_t property, const Date& date, std::string_view concept_code,
               std::string_view description, int32_t amount, int32_t vat_rate, int32_t supplier) {
    const FileLayout& payments = File("VPagos");
    std::string record = PropertyRecord(payments, owner, property);
    WriteDate(record, kPaymentDate, date);
    WriteText(record, kPaymentConcept, concept_code);
    WriteText(record, kPaymentDescription, description);
    WriteAmount(record, kPaymentAmount, amount);
    const int32_t base = static_cast<int32_t>(
        (static_cast<int64_t>(amount) * 100 + (100 + vat_rate) / 2) / (100 + vat_rate));
    WriteAmount(record, kPaymentBase, base);
    WriteAmount(record, kPaymentVat, amount - base);
    WriteText(record, kPaymentKind, random_.Chance(95) ? "P" : "C");
    WriteCode(record, kPaymentSupplier, supplier);
    WriteText(record, kPaymentState, random_.Chance(95) ? "N" : "A");
    return writer_.Add(payments, record);
  }

  bool Payments(int32_t owner, int32_t property, int32_t year, int64_t yearly_rent) {
    for (const Concept& concept_row : kConcepts) {
      for (int32_t i = 0; i < concept_row.per_year; ++i) {
        const int32_t month = concept_row.per_year == 1
                                  ? random_.Between(1, 12)
                                  : 1 + i * 12 / concept_row.per_year + random_.Between(0, 1);
        const Date date = MakeDate(year * 10000 + month * 100 + random_.Between(1, 28));
        int32_t amount = random_.Between(concept_row.low, concept_row.high);
        if (concept_row.code == "HON") {
          // The agency's fee: a share of the quarter's rent when there is rent.
          amount = yearly_rent > 0 ? Percent(static_cast<int32_t>(yearly_rent / 4), 6) : amount;
        }
        const int32_t supplier = concept_row.vat_rate > 0 && random_.Chance(50)
                                     ? random_.Between(1, kFirstSubsidySupplier - 1)
                                     : 0;
        if (!Payment(owner, property, date, concept_row.code, concept_row.description, amount,
                     concept_row.vat_rate, supplier)) {
          return false;
        }
      }
    }
    if (random_.Chance(30)) {  // a payment nobody filed under a concept
      if (!Payment(owner, property, RandomDate(year, year), "", "DESPESES VÀRIES"_cp850,
                   random_.Between(1000, 10000), 0, 0)) {
        return false;
      }
    }
    if (random_.Chance(3)) {  // public aid for works: a negative payment from a public body
      if (!Payment(owner, property, RandomDate(year, year), "REP", "SUBVENCIÓ REHABILITACIÓ"_cp850,
                   -random_.Between(100000, 600000), 0,
                   random_.Between(kFirstSubsidySupplier, kSuppliers))) {
        return false;
      }
    }
    return true;
  }

  AgencyWriter& writer_;
  Random random_;
};

}  // namespace

int GenerateAgency(const std::string& root, int32_t owners, uint64_t seed, std::ostream& progress) {
  AgencyWriter writer(root, progress);
  if (!writer.Open()) return kExitFailure;
  Generator generator(&writer, seed);
  if (!generator.SharedTables()) return kExitFailure;
  const int32_t step = owners >= 20 ? owners / 20 : 1;
  for (int32_t owner = 1; owner <= owners; ++owner) {
    if (!generator.Owner(owner)) return kExitFailure;
    if (owner % step == 0 || owner == owners) {
      progress << "qebdata: generate: " << owner << " of " << owners << " owners, "
               << writer.total() << " records\n"
               << std::flush;
    }
  }
  progress << "qebdata: generate: writing the record files\n" << std::flush;
  if (!writer.Commit()) {
    progress << "qebdata: the records could not all be written\n";
    return kExitFailure;
  }
  for (size_t i = 0; i < kRentalFiles.size(); ++i) {
    progress << "qebdata:   " << kRentalFiles[i].base_name << ": " << writer.count(i) << "\n";
  }
  return kExitOk;
}

}  // namespace quarnell
