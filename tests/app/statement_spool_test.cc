// Whole statements of one owner compared line for line with spool files worked out by hand, in
// both layouts. The figures behind tests/app/data/property_*.txt:
//
// Property 7.3, statement 31 December 2024, owner ES12345678Z (a person), letterhead section.
// Units:
//   1 PRIMER PIS, housing (V) since 1 March 2023: general rate 0.5, young rate 0.7f, limit 35.
//     Tenants: 34 years old and eligible (1), 35 on 1 July and eligible (182/365), not eligible,
//     eligible without birth date: share (1 + 182/365) / 4 = 547/1460. Ten collections of
//     1,460.00 net (1,500.00 - 20.00 - 10.00 - retention 10.00): 14,600.00, retention 100.00,
//     general part 9,130.00, young part 5,470.00.
//   2 SEGON PIS, housing (O) since 1 May 2012: young rate 1, limit 31; one eligible tenant of 28,
//     share 1; twelve collections of 500.00 (the last on the statement date): 6,000.00 young.
//   3 BOTIGA, premises (L): twelve collections of 1,000.00 with 190.00 retention: 9,720.00,
//     retention 2,280.00.
//   TotalIncome 30,320.00.
// Payments, in key order: each month community 150.00, lighting 121.00 (21.00 VAT) and water
// 33.00 (3.00 VAT): 36 lines; two fees with base 400.00 (84.00 VAT each): one line of 800.00; a
// subsidy of 3,000.00 (its concept closes the fees and prints nothing); two lift payments whose
// concept is not in the concept file: one line under the first payment's description, 500.00;
// two payments without concept: a line each; a credit of 50.00 (10.50 VAT) from a supplier that
// is not a public body and a repair of 605.00 (105.00 VAT): 460.50; property tax 850.00;
// community again 300.00; a tax refund of 50.00 from an unknown supplier: a credit line.
// A payment of another kind, one in another state, one of 2025 and one of 2023 count nothing.
// VAT 655.50 less periodic charges of 90.00 (two of 2024): 565.50.
// Depreciation: 3 % of 150,000.00 since 2010: 4,500.00; sum of the digits over 5 years of
// 10,000.00 since 1 July 2023: second quota 4/15, 2,666.67; an asset from 2025: nothing.
// TotalExpenses -6,315.50 - 565.50 - 7,166.67 = -14,047.67; operating result 16,272.33.
// Reduction: 0.5 x 1627233 / 3032000 x 913000 = 244997.3 -> -2,449.97.
// Exemption: 0.7f x 1627233 / 3032000 x 547000 = 205497.2, and 1 x ... x 600000 = 322011.8:
// -2,054.97 - 3,220.12 = -5,275.09. Fiscal result 16,272.33 - 2,449.97 - 5,275.09 + 3,000.00 =
// 11,547.27. Allocated expenses 14,047.67 x part / 30,320.00: 4,230.05, 2,534.33, 2,779.88,
// 4,503.41.
// The expenses fill the first page: the 39th expense line finds 61 lines on it and opens page 2.
//
// Property 7.4 (its section is not in the file: letterhead), one store without contract or
// cadastral record: 1,000.00 income, community 50.00, a periodic charge of 10.00, result 960.00.
// Property 7.2 has nothing of 2024 and prints nothing; owners 6 and 8 are outside the range.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "app/statement_support.h"
#include "support/fake_clock.h"

namespace quarnell {
namespace {

using testing::TestAgency;

std::string ExpectedSpool(const std::string& name) {
  std::ifstream file(std::string(QEB_SOURCE_DIR) + "/tests/app/data/" + name);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string Month(int month) { return (month < 10 ? "0" : "") + std::to_string(month); }

void ImportAgency(TestAgency& agency) {
  agency.WriteCp850("Tova.ini",
                    "[Usuari]\nDatCaracter=/\nDatOrdre=DMA\nDecCaracter=,\nMilCaracter=.\n"
                    "[Empresa]\nText1=FINQUES DEL PORT, S.L.\nText2=PASSEIG DE COLOM 14\n"
                    "Text3=08002 BARCELONA\nText4=TEL. 933 180 240\n"
                    "Text5=ADMINISTRACIO@PORT.CAT\nText6=\nText7=B-65432109\n");
  agency.Import("VPropiet",
                "owner,name,address1,address2,address3,state,language,tax_id\n"
                "6,ABANS*PERE,C. PRIMER 1,08001 BARCELONA,BARCELONA,0,CAT,ES11111111H\n"
                "7,FERRER PUIG*JOAN,C. MAJOR 12,17001 GIRONA,GIRONA,0,CAT,ES12345678Z\n"
                "8,DESPRES*ANNA,C. DARRER 9,25001 LLEIDA,LLEIDA,0,CAT,ES22222222J\n");
  agency.Import("VGrups",
                "owner,property,description,section\n6,1,FINCA SIS,1\n7,2,SOLAR,1\n"
                "7,3,LLIBERTAT 14*RAMBLA DE LA,1\n7,4,C. NOU 3,7\n8,1,FINCA VUIT,1\n");
  agency.Import("USeccio", "section,letterhead\n1,S\n2,N\n");
  agency.Import("VDepBase",
                "owner,property,unit,description,reference\n6,1,1,PIS SIS,\n"
                "7,3,1,PRIMER PIS,0703/0001/PIS\n7,3,2,SEGON PIS,0703/0002/PIS\n"
                "7,3,3,BOTIGA,0703/0003/LOC\n7,4,1,MAGATZEM,\n8,1,1,PIS VUIT,\n");
  agency.Import("VDepCont",
                "owner,property,unit,type,date\n7,3,1,V,2023-03-01\n7,3,2,O,2012-05-01\n"
                "7,3,3,L,2019-09-01\n");
  agency.Import("VDepCada",
                "owner,property,unit,cadastral_ref\n7,3,1,1234567DF1234S0001AB\n"
                "7,3,3,7654321DF1234S0001CD\n");
  agency.Import("VLlogate",
                "owner,property,unit,birth_date,young\n7,3,1,1990-03-15,1\n7,3,1,1989-07-01,1\n"
                "7,3,1,1995-01-01,0\n7,3,1,,1\n7,3,2,1996-05-20,1\n");

  std::string collections = "owner,property,unit,date,amount,deducted1,deducted2,retention\n";
  collections += "6,1,1,2024-05-01,500.00,0,0,0\n8,1,1,2024-05-01,500.00,0,0,0\n";
  collections += "7,3,2,2023-12-15,500.00,0,0,0\n7,3,2,2025-01-05,500.00,0,0,0\n";
  for (int month = 1; month <= 12; ++month) {
    const std::string day = "2024-" + Month(month) + "-05";
    if (month <= 10) collections += "7,3,1," + day + ",1500.00,20.00,10.00,10.00\n";
    const std::string last = month == 12 ? "2024-12-31" : day;
    collections += "7,3,2," + last + ",500.00,0,0,0\n";
    collections += "7,3,3," + day + ",1000.00,0,0,190.00\n";
  }
  collections += "7,4,1,2024-06-30,1000.00,0,0,0\n";
  agency.Import("VCobros", collections);

  agency.Import("VDespesa",
                "concept,description\nCOM,COMUNITAT PROPIETARIS\nLLU,ENLLUMENAT ESCALA\n"
                "AIG,SUBMINISTRAMENT AIGUA\nHON,HONORARIS ADMINISTRACIO\n"
                "SUB,SUBVENCIONS REBUDES\nREP,REPARACIONS\nIBI,IMPOST BÉNS IMMOBLES\n");
  agency.Import("Industri", "supplier,subsidy\n5,D\n6,\n");
  std::string payments =
      "owner,property,date,concept,description,amount,base,vat,kind,supplier,state\n"
      "7,2,2023-05-05,COM,QUOTA SOLAR,40.00,0,0,P,0,N\n"
      "7,4,2024-05-05,COM,QUOTA 7.4,50.00,0,0,P,0,N\n";
  for (int month = 1; month <= 12; ++month) {
    const std::string date = "2024-" + Month(month);
    payments += "7,3," + date + "-05,COM,QUOTA " + Month(month) + "/24,150.00,0,0,P,0,N\n";
    payments += "7,3," + date + "-10,LLU,LLUM " + Month(month) + "/24,121.00,0,21.00,P,0,N\n";
    payments += "7,3," + date + "-15,AIG,AIGUA " + Month(month) + "/24,33.00,0,3.00,P,0,N\n";
  }
  payments +=
      "7,3,2024-06-30,HON,HONORARIS 1R SEMESTRE,484.00,400.00,84.00,P,0,N\n"
      "7,3,2024-12-20,HON,HONORARIS 2N SEMESTRE,484.00,400.00,84.00,P,0,N\n"
      "7,3,2024-07-01,SUB,AJUT REHABILITACIO,-3000.00,0,0,P,5,N\n"
      "7,3,2024-03-12,ASC,REVISIO ASCENSOR,363.00,0,63.00,P,0,N\n"
      "7,3,2024-09-12,ASC,REPARACIO ASCENSOR,242.00,0,42.00,P,0,N\n"
      "7,3,2024-04-02,,CANVI PANY,80.00,0,0,P,0,N\n"
      "7,3,2024-04-03,,COPIA CLAUS,15.00,0,0,P,0,N\n"
      "7,3,2024-05-20,REP,ABONAMENT FUSTER,-50.00,0,-10.50,P,6,N\n"
      "7,3,2024-05-21,REP,REPARACIO TEULADA,605.00,0,105.00,P,0,N\n"
      "7,3,2024-05-22,REP,PAGAMENT A COMPTE,999.00,0,99.00,C,0,N\n"
      "7,3,2024-05-23,REP,PAGAMENT ANULAT,888.00,0,88.00,P,0,A\n"
      "7,3,2025-01-10,REP,FACTURA GENER 25,777.00,0,77.00,P,0,N\n"
      "7,3,2023-12-28,REP,FACTURA DESEMBRE 23,666.00,0,66.00,P,0,N\n"
      "7,3,2024-10-01,IBI,REBUT IBI 2024,850.00,0,0,P,0,N\n"
      "7,3,2024-11-15,COM,DERRAMA ASCENSOR,300.00,0,0,P,0,N\n"
      "7,3,2024-11-30,IBI,DEVOLUCIO IBI,-50.00,0,0,P,9,N\n"
      "6,1,2024-05-05,COM,QUOTA SIS,60.00,0,0,P,0,N\n"
      "8,1,2024-05-05,COM,QUOTA VUIT,80.00,0,0,P,0,N\n";
  agency.Import("VPagos", payments);
  agency.Import("VCapPeri",
                "owner,property,date,amount\n7,3,2023-12-31,45.00\n7,3,2024-03-31,45.00\n"
                "7,3,2024-09-30,45.00\n7,3,2025-03-31,45.00\n7,4,2024-02-28,10.00\n");
  agency.Import("VAmortit",
                "owner,property,method,cost,rate,life,start\n"
                "7,3,C,150000.00,300,0,2010-01-01\n7,3,S,10000.00,0,5,2023-07-01\n"
                "7,3,C,5000.00,1000,0,2025-02-01\n");
}

TEST(StatementSpoolTest, WholeStatementsOfAnOwnerInBothLayouts) {
  testing::FakeClock clock;  // the run's mark is dated 15 January 2026 at noon
  TestAgency agency;
  ImportAgency(agency);
  EXPECT_EQ(agency.Run("31122024", "7", "7", "N").Text(), ExpectedSpool("property_account.txt"));
  EXPECT_EQ(agency.Run("31122024", "7", "7", "F").Text(), ExpectedSpool("property_fiscal.txt"));
}

}  // namespace
}  // namespace quarnell
