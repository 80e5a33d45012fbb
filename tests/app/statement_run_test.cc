#include "app/statement_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/rental_files.h"
#include "app/rental_reader.h"
#include "app/statement_support.h"
#include "support/fake_clock.h"

namespace quarnell {
namespace {

using testing::FakeClock;
using testing::Spool;
using testing::TestAgency;

// The worked property: one dwelling let all 2023 for 12,000.00 net to a tenant aged 25, one
// community payment of 2,420.00 with 420.00 of VAT, a building depreciated at 300.00 a year.
void ImportWorkedProperty(TestAgency& agency, std::string_view contract_date) {
  agency.Import("VPropiet",
                "owner,name,address1,address2,address3,state,language,tax_id\n"
                "1,GARCIA LOPEZ*MARIA,C. MAJOR 1,08001 BARCELONA,BARCELONA,0,CAT,ES12345678Z\n");
  agency.Import("VGrups", "owner,property,description,section\n1,1,\"C. DEL MAR, 5\",2\n");
  agency.Import("USeccio", "section,letterhead\n1,S\n2,N\n");
  agency.Import("VDepBase",
                "owner,property,unit,description,reference\n1,1,1,PIS 1R 1A,0101/HAB/0001\n");
  agency.Import("VDepCont",
                "owner,property,unit,type,date\n1,1,1,V," + std::string(contract_date) + "\n");
  agency.Import("VDepCada", "owner,property,unit,cadastral_ref\n1,1,1,9872023VH5797S0001WX\n");
  agency.Import("VLlogate", "owner,property,unit,birth_date,young\n1,1,1,1998-06-15,1\n");
  std::string collections = "owner,property,unit,date,amount,deducted1,deducted2,retention\n";
  collections += "1,1,1,2022-12-05,1000.00,0,0,0\n";  // the year before: not counted
  for (int month = 1; month <= 12; ++month) {
    collections += "1,1,1,2023-" + std::string(month < 10 ? "0" : "") + std::to_string(month) +
                   "-05,1000.00,0,0,0\n";
  }
  collections += "1,1,1,2024-01-05,1000.00,0,0,0\n";  // after the statement date: not counted
  agency.Import("VCobros", collections);
  agency.Import("VPagos",
                "owner,property,date,concept,description,amount,base,vat,kind,supplier,state\n"
                "1,1,2023-03-10,COM,QUOTA 1T,2420.00,0,420.00,P,0,N\n");
  agency.Import("VDespesa", "concept,description\nCOM,COMUNITAT DE PROPIETARIS\n");
  agency.Import("VAmortit",
                "owner,property,method,cost,rate,life,start\n1,1,C,10000.00,300,0,2020-01-01\n");
}

// The worked property in the account layout, line for line, between the marks of the run (dated by
// the clock) and of the owner.
constexpr char kWorkedAccountLayout[] = R"(DEVICEPDF
*QEB-RUN 20260115-120000 20231231 N 0001 9999
*QEB-OWNER 0001 ES12345678Z       GARCIA LOPEZ*MARIA
PAGE 66 
*@e
 0 ,, 7 
JUSD
 85 ,PAGINA    1, 2 
 1 ,COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (1.1), 0 
 54 ,MARIA GARCIA LOPEZ, 1 
 1 ,C. DEL MAR, 5, 0 
 54 ,C. MAJOR 1                              , 1 
JUSA
 1 ,A DATA 31 DE DESEMBRE DEL 2023, 0 
JUSE
 54 ,08001 BARCELONA                         , 1 
 1 ,==============================, 0 
 54 ,BARCELONA                               , 2 
 1 ,N.I.F. PROPIETARI : ES12345678Z      , 2 
*u
 1 ,INGRESSOS :, 1 
*u
 14 ,PIS 1R 1A, 0 
JUSD
 69 ,    12.000,00 , 1 
 69 ,-------------, 1 
JUSN 68 \.\
 14 ,TOTAL INGRESSOS , 0 
JUSD
 69 ,    12.000,00 , 1 
 0 ,, 1 
*u
 1 ,DESPESES :, 1 
*u
 14 ,COMUNITAT DE PROPIETARIS , 0 
JUSD
 69 ,     2.000,00-, 1 
 14 ,I.V.A. NO DEDUÏT , 0 
JUSD
 69 ,       420,00-, 1 
 14 ,AMORTITZACIÓ IMMOBLE , 0 
JUSD
 69 ,       300,00-, 1 
 69 ,-------------, 1 
JUSN 68 \.\
 14 ,TOTAL DESPESES , 0 
JUSD
 69 ,     2.720,00-, 1 
 69 ,-------------, 1 
JUSN 68 \.\
 14 ,BENEFICIS EXPLOTACIÓ , 0 
JUSD
 69 ,     9.280,00 , 1 
 14 ,REDUCCIÓ RESULTATS HABITATGES , 0 
JUSD
 69 ,     5.568,00-, 1 
 69 ,-------------, 1 
 14 ,BENEFICIS FISCALS , 0 
JUSD
 69 ,     3.712,00 , 1 
 14 ,====================================================================, 1 
*QEB-OWNER-END 0001 1
)";

TEST(StatementRunTest, WorkedPropertyInTheAccountLayout) {
  FakeClock clock;
  TestAgency agency;
  ImportWorkedProperty(agency, "2016-05-01");
  EXPECT_EQ(agency.Run("31122023", "1", "9999", "N").Text(), kWorkedAccountLayout);
}

// The contract's date decides the rates: in 2016 no young-tenant rate, so the general rate
// reduces the result; in 2012 the tenant aged 25 is young (rate 1, limit 31) and the whole result
// is exempt, leaving a fiscal result of 0, a profit. The fiscal layout allocates the property's
// expenses to the unit.
TEST(StatementRunTest, WorkedPropertyReductionOrExemption) {
  struct Case {
    const char* contract;
    std::vector<std::string> summary;  // labels and amounts after the operating result
    std::vector<std::string> fiscal_row;
  };
  const Case cases[] = {
      {"2016-05-01",
       {"REDUCCIÓ RESULTATS HABITATGES ", "     5.568,00-", "-------------", "BENEFICIS FISCALS ",
        "     3.712,00 ", std::string(68, '=')},
       {"PIS 1R 1A", "0101/HAB/00", "1/5/2016  ", "HAB. 60", "9872023VH5797S0001WX", " 12.000,00 ",
        "  2.720,00 ", " 5.568,00 ", "     0,00 ", ""}},
      {"2012-05-01",
       {"EXEMPCIÓ RESULTATS HABITATGES ", "     9.280,00-", "-------------", "BENEFICIS FISCALS ",
        "         0,00 ", std::string(68, '=')},
       {"PIS 1R 1A", "0101/HAB/00", "1/5/2012  ", "HAB. 100", "9872023VH5797S0001WX", " 12.000,00 ",
        "  2.720,00 ", " 9.280,00 ", "     0,00 ", ""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.contract);
    TestAgency agency;
    ImportWorkedProperty(agency, c.contract);
    Spool account = agency.Run("31122023", "1", "9999", "N");
    const auto* result = account.Find("BENEFICIS EXPLOTACIÓ");
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(account.texts[static_cast<size_t>(result - account.texts.data()) + 1].text,
              "     9.280,00 ");
    std::vector<std::string> summary;
    for (const auto* text = result + 2; text != account.texts.data() + account.texts.size();
         ++text) {
      summary.push_back(text->text);
    }
    EXPECT_EQ(summary, c.summary);

    Spool fiscal = agency.Run("31/12/2023", "1", "1", "F");
    const auto* unit = fiscal.Find("PIS 1R 1A");
    ASSERT_NE(unit, nullptr);
    std::vector<std::string> row;
    for (const auto& text : fiscal.texts) {
      if (text.page == unit->page && text.line == unit->line) row.push_back(text.text);
    }
    EXPECT_EQ(row, c.fiscal_row);
  }
}

// Owners in the four languages, one that is not reported, one without properties, and owner 10
// after owner 9 in code order; each property has one dwelling let in 2023.
void ImportOwners(TestAgency& agency) {
  agency.Import("VPropiet",
                "owner,name,address1,state,language,tax_id\n"
                "1,PUIG*JOSEP,C. GRAN 1,0,CAT,ES11111111H\n"
                "2,LOPEZ*ANA,C. MAYOR 2,0,SPA,ES22222222J\n"
                "3,CASTRO*XOAN,RUA NOVA 3,1,GLG,ES33333333P\n"
                "4,BARES*MARTI,CARRER MAJOR 4,0,OCI,ES44444444A\n"
                "5,SENSE FINQUES*PERE,C. BUIT 5,0,CAT,ES55555555K\n"
                "9,NOU*NURIA,C. NOU 9,0,CAT,ES99999999R\n"
                "10,OTERO*UXIA,RUA DEZ 10,0,GLG,ES10101010D\n");
  std::string properties = "owner,property,description,section\n";
  std::string units = "owner,property,unit,description\n";
  std::string collections = "owner,property,unit,date,amount\n";
  for (int owner : {1, 2, 3, 4, 9, 10}) {
    const std::string o = std::to_string(owner);
    properties += o + ",1,FINCA " + o + ",2\n";
    units += o + ",1,1,PIS " + o + "\n";
    collections += o + ",1,1,2023-06-01," + o + "00.00\n";
  }
  agency.Import("VGrups", properties);
  agency.Import("VDepBase", units);
  agency.Import("VCobros", collections);
  agency.Import("USeccio", "section,letterhead\n1,S\n2,N\n");
}

// The property keys whose statements a spool holds, in order.
std::vector<std::string> Properties(const Spool& spool) {
  std::vector<std::string> keys;
  for (const auto& text : spool.texts) {
    const std::string prefix = text.text.substr(0, text.text.find('(') + 1);
    if (prefix.empty() || text.text.back() != ')') continue;
    keys.push_back(text.text.substr(prefix.size(), text.text.size() - prefix.size() - 1));
  }
  return keys;
}

TEST(StatementRunTest, SelectionOfOwners) {
  TestAgency agency;
  ImportOwners(agency);
  struct Case {
    const char* from;
    const char* to;
    std::vector<std::string> properties;
  };
  const Case cases[] = {
      {"1", "9999", {"1.1", "2.1", "4.1", "9.1", "10.1"}},  // 3 is not reported, 5 has nothing
      {"2", "2", {"2.1"}},
      {"3", "3", {}},
      {"5", "8", {}},
      {"9", "10", {"9.1", "10.1"}},
      {"10", "9999", {"10.1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.from) + " to " + c.to);
    Spool spool = agency.Run("31122023", c.from, c.to, "N");
    EXPECT_EQ(Properties(spool), c.properties);
    EXPECT_EQ(spool.lines.front(), "DEVICEPDF");
    EXPECT_EQ(LanguageCode(), "CAT");  // the session's language is back after the owners
  }
}

// Each owner's statement is printed in the owner's language: the message file's translations of
// the fixed texts and the month names of the date line.
TEST(StatementRunTest, EachOwnerInTheOwnersLanguage) {
  TestAgency agency;
  ImportOwners(agency);
  // Catalan text, Galician, Aranese, Spanish.
  agency.WriteCp850("LOCALE/QUARNELL.LNG",
                    "\"COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (\",\"CONTA GLG (\",\"COMPDE OCI (\","
                    "\"CUENTA SPA (\"\n"
                    "\"A DATA \",\"GLG \",\"OCI \",\"SPA \"\n"
                    "\"TOTAL INGRESSOS \",\"TOTAL INGRESOS GLG \",\"TOTAU OCI \","
                    "\"TOTAL INGRESOS SPA \"\n");
  Spool spool = agency.Run("31122023", "1", "9999", "N");
  struct Case {
    const char* title;
    const char* date;
    const char* total;
  };
  const Case cases[] = {
      {"COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (1.1)", "A DATA 31 DE DESEMBRE DEL 2023",
       "TOTAL INGRESSOS"},
      {"CUENTA SPA (2.1)", "SPA 31 DE DICIEMBRE DE 2023", "TOTAL INGRESOS SPA"},
      {"COMPDE OCI (4.1)", "OCI 31 DE DESEME DETH 2023", "TOTAU OCI"},
      {"CONTA GLG (10.1)", "GLG 31 DE DEZEMBRO DO 2023", "TOTAL INGRESOS GLG"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    const auto* title = spool.Find(c.title);
    ASSERT_NE(title, nullptr);
    const auto* date = spool.Find(c.date);
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(date->page, title->page);
    const auto* total = spool.Find(c.total);
    ASSERT_NE(total, nullptr);
    EXPECT_EQ(total->page, title->page);
  }
}

// The agency letterhead on the first page of a property whose section asks for it, or whose
// section is not found; text 6 shares its line with nothing, the tax identifier with the page
// number when text 6 is there.
TEST(StatementRunTest, Letterhead) {
  struct Case {
    const char* section;
    const char* text6;
    bool letterhead;
    int page_line;  // the line of "PAGINA    1"
    int tax_id_line;
  };
  const Case cases[] = {
      {"1", "", true, 6, 5},
      {"1", "SUCURSAL DEL PORT", true, 6, 6},
      {"7", "", true, 6, 5},  // no such section
      {"2", "SUCURSAL DEL PORT", false, 7, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("section ") + c.section + ", text 6 \"" + c.text6 + "\"");
    TestAgency agency;
    ImportOwners(agency);
    agency.Import("VGrups", std::string("owner,property,description,section\n1,2,FINCA 1B,") +
                                c.section + "\n");
    agency.Import("VDepBase", "owner,property,unit,description\n1,2,1,PIS 1B\n");
    agency.Import("VCobros", "owner,property,unit,date,amount\n1,2,1,2023-06-01,10.00\n");
    agency.WriteCp850("Tova.ini", std::string("[Usuari]\nDecCaracter=,\nMilCaracter=.\n"
                                              "[Empresa]\nText1=FINQUES DEL PORT\nText2=ADREÇA\n"
                                              "Text3=CIUTAT\nText4=TEL\nText5=CORREU\nText6=") +
                                      c.text6 + "\nText7=b-65432109\n");
    Spool spool = agency.Run("31122023", "1", "1", "N");
    const auto* title = spool.Find("COMPTE D'EXPLOTACIÓ DE LA VOSTRA FINCA (1.2)");
    ASSERT_NE(title, nullptr);
    std::vector<std::string> page_texts;
    for (const auto& text : spool.texts) {
      if (text.page == title->page && text.line < title->line && text.column == 1) {
        page_texts.push_back(text.text);
      }
    }
    const testing::PlacedText* page = nullptr;
    for (const auto& text : spool.texts) {
      if (text.page == title->page && text.text == "PAGINA    1") page = &text;
    }
    ASSERT_NE(page, nullptr);
    if (c.letterhead) {
      std::vector<std::string> expected = {"FINQUES DEL PORT",  "ADREÇA", "CIUTAT", "TEL", "CORREU",
                                           "N.I.F. ESB65432109"};
      if (*c.text6) expected.insert(expected.begin() + 1, c.text6);
      EXPECT_EQ(page_texts, expected);
      const auto* tax_id = spool.Find("N.I.F. ESB65432109");
      ASSERT_NE(tax_id, nullptr);
      EXPECT_EQ(tax_id->line, c.tax_id_line);
    } else {
      EXPECT_TRUE(page_texts.empty());
    }
    EXPECT_EQ(page->line, c.page_line);
    EXPECT_EQ(title->line, c.page_line + 2);
  }
}

// A unit without contract or cadastral record is an empty contract with no cadastral reference,
// not a copy of the unit read before it.
TEST(StatementRunTest, AUnitWithoutContractOrCadastralRecord) {
  TestAgency agency;
  agency.Import("VPropiet", "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n");
  agency.Import("VGrups", "owner,property,description,section\n1,1,FINCA,2\n");
  agency.Import("VDepBase",
                "owner,property,unit,description,reference\n1,1,1,PIS,REF-PIS\n"
                "1,1,2,TRASTER,REF-TRASTER\n");
  agency.Import("VDepCont", "owner,property,unit,type,date\n1,1,1,V,2016-05-01\n");
  agency.Import("VDepCada", "owner,property,unit,cadastral_ref\n1,1,1,9872023VH5797S0001WX\n");
  agency.Import("VCobros",
                "owner,property,unit,date,amount\n1,1,1,2023-06-01,1000.00\n"
                "1,1,2,2023-06-01,100.00\n");
  Spool spool = agency.Run("31122023", "1", "1", "F");
  std::vector<std::vector<std::string>> rows;
  for (const char* unit : {"PIS", "TRASTER"}) {
    const auto* label = spool.Find(unit);
    ASSERT_NE(label, nullptr) << unit;
    std::vector<std::string> row;
    for (const auto& text : spool.texts) {
      if (text.line == label->line && text.column >= 54 && text.column <= 73) {
        row.push_back(text.text);
      }
    }
    rows.push_back(row);
  }
  EXPECT_EQ(rows[0], (std::vector<std::string>{"1/5/2016  ", "HAB. 60", "9872023VH5797S0001WX"}));
  EXPECT_EQ(rows[1], (std::vector<std::string>{"          ", "LOCAL", "**sense ref.cadas.**"}));
}

// Two tenants, one young and eligible, one not eligible, under a 2012 contract: half the housing
// income is reduced at the general rate, half exempt at the young-tenant rate.
TEST(StatementRunTest, YoungTenantShare) {
  TestAgency agency;
  agency.Import("VPropiet", "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n");
  agency.Import("VGrups", "owner,property,description,section\n1,1,FINCA,2\n");
  agency.Import("VDepBase", "owner,property,unit,description\n1,1,1,PIS\n");
  agency.Import("VDepCont", "owner,property,unit,type,date\n1,1,1,O,2012-05-01\n");
  agency.Import("VLlogate",
                "owner,property,unit,birth_date,young\n1,1,1,1998-06-15,1\n1,1,1,1999-01-01,0\n");
  agency.Import("VCobros", "owner,property,unit,date,amount\n1,1,1,2023-06-01,10000.00\n");
  Spool spool = agency.Run("31122023", "1", "1", "N");
  const auto* reduction = spool.Find("REDUCCIÓ RESULTATS HABITATGES");
  const auto* exemption = spool.Find("EXEMPCIÓ RESULTATS HABITATGES");
  ASSERT_NE(reduction, nullptr);
  ASSERT_NE(exemption, nullptr);
  auto amount_after = [&](const testing::PlacedText* label) {
    return spool.texts[static_cast<size_t>(label - spool.texts.data()) + 1].text;
  };
  EXPECT_EQ(amount_after(reduction), "     3.000,00-");  // 0.6 x 5,000.00
  EXPECT_EQ(amount_after(exemption), "     5.000,00-");  // 1 x 5,000.00
}

// What the payments walk makes of each kind of payment, with the default parameter table and
// with one that makes outlays fee-like and renames the fee concept.
TEST(StatementRunTest, PaymentsBecomeExpenseLinesVatAndSubsidies) {
  TestAgency agency;
  agency.Import("VPropiet", "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n");
  agency.Import("VGrups", "owner,property,description,section\n1,1,FINCA,2\n1,2,ALTRA,2\n");
  agency.Import("VDepBase", "owner,property,unit,description\n1,1,1,PIS\n");
  agency.Import("VCobros", "owner,property,unit,date,amount\n1,1,1,2023-06-01,10000.00\n");
  agency.Import("VDespesa",
                "concept,description\nHON,HONORARIS\nSUP,SUPLERTS\nCOM,COMUNITAT\nIBI,IBI\n"
                "SUB,AJUTS\nREP,REPARACIONS\nXYZ,ALTRES\n");
  agency.Import("Industri", "supplier,subsidy\n7,D\n8,\n");
  agency.Import("VCapPeri",
                "owner,property,date,amount\n1,1,2023-12-31,12.00\n1,1,2024-01-31,99.00\n");
  agency.Import("VPagos",
                "owner,property,date,concept,description,amount,base,vat,kind,supplier,state\n"
                "1,1,2023-01-10,HON,HONORARIS 1T,121.00,90.00,21.00,P,0,N\n"
                "1,1,2023-01-11,SUP,FOTOCOPIES,50.00,40.00,0,P,0,N\n"
                "1,1,2023-01-12,COM,QUOTA GENER,100.00,0,0,P,0,N\n"
                "1,1,2023-01-13,IBI,REBUT IBI,200.00,0,0,P,0,N\n"
                "1,1,2023-01-14,COM,QUOTA FEBRER,30.00,0,0,P,0,N\n"
                "1,1,2023-01-15,,CLAUS,20.00,0,0,P,0,N\n"
                "1,1,2023-01-16,,PANY,15.00,0,0,P,0,N\n"
                "1,1,2023-01-17,ASC,ASCENSOR REVISIO,80.00,0,0,P,0,N\n"
                "1,1,2023-01-18,SUB,AJUT REHABILITACIO,-500.00,0,-50.00,P,7,N\n"
                "1,1,2023-01-19,REP,ABONAMENT,-40.00,0,0,P,8,N\n"
                "1,1,2023-01-20,REP,SENSE PROVEIDOR,-10.00,0,0,P,9,N\n"
                "1,1,2023-01-21,REP,ALTRE TIPUS,70.00,0,7.00,C,0,N\n"
                "1,1,2023-01-22,REP,ALTRE ESTAT,70.00,0,7.00,P,0,A\n"
                "1,1,2024-01-23,REP,ANY SEGUENT,70.00,0,7.00,P,0,N\n"
                "1,1,2023-01-24,XYZ,DIVERSOS,60.00,5.00,0,P,0,N\n"
                "1,2,2023-01-25,REP,UNA ALTRA FINCA,70.00,0,7.00,P,0,N\n");

  auto expense_lines = [&]() {
    Spool spool = agency.Run("31122023", "1", "1", "N");
    std::vector<std::string> lines;
    bool in_expenses = false;
    for (size_t i = 0; i + 1 < spool.texts.size(); ++i) {
      const auto& text = spool.texts[i];
      if (text.text == "DESPESES :") in_expenses = true;
      if (in_expenses && text.column == 14) {
        if (text.text.starts_with("TOTAL DESPESES")) break;
        lines.push_back(text.text + "|" + spool.texts[i + 1].text);
      }
    }
    if (const auto* subsidies = spool.Find("SUBVENCIONS")) {
      lines.push_back("SUBVENCIONS|" +
                      spool.texts[static_cast<size_t>(subsidies - spool.texts.data()) + 1].text);
    }
    return lines;
  };

  const std::vector<std::string> by_default = {
      "HONORARIS                |        90,00-",  // the base of a fee
      "SUPLERTS                 |        50,00-",  // an ordinary outlay
      "COMUNITAT                |       100,00-",
      "IBI                      |       200,00-",
      "COMUNITAT                |        30,00-",  // the concept again after another one
      "CLAUS                    |        20,00-",  // no concept: a line of its own
      "PANY                     |        15,00-",
      "ASCENSOR REVISIO         |        80,00-",  // not in the concept file
      "REPARACIONS              |        50,00 ",  // credited: 40.00, and 10.00 unknown supplier
      "ALTRES                   |        60,00-",
      "I.V.A. NO DEDUÏT |         9,00-",  // 21.00 of VAT, 12.00 of periodic charges
      "SUBVENCIONS|       500,00 "};
  EXPECT_EQ(expense_lines(), by_default);

  // Offset 17 "S": outlays take their base. Offset 19 "XYZ": the fee concept is XYZ.
  std::string table(22, ' ');
  table.replace(17, 1, "S");
  table.replace(19, 3, "XYZ");
  agency.WriteCp850("DADES/VParam.tab", table);
  const std::vector<std::string> with_table = {
      "HONORARIS                |       100,00-",  // an ordinary payment: amount net of VAT
      "SUPLERTS                 |        40,00-",
      "COMUNITAT                |       100,00-",
      "IBI                      |       200,00-",
      "COMUNITAT                |        30,00-",
      "CLAUS                    |        20,00-",
      "PANY                     |        15,00-",
      "ASCENSOR REVISIO         |        80,00-",
      "REPARACIONS              |        50,00 ",
      "ALTRES                   |         5,00-",
      "I.V.A. NO DEDUÏT |         9,00-",
      "SUBVENCIONS|       500,00 "};
  EXPECT_EQ(expense_lines(), with_table);
}

// Another program's import that commits while a run is under way: every owner of the run is
// printed from the records as they were when the run began, not the first owners without the
// new rows and the later ones with them.
TEST(StatementRunTest, ARunReadsEveryFileAsItWasWhenItBegan) {
  FakeClock clock;  // both runs carry the same run mark
  TestAgency agency;
  agency.Import("VPropiet",
                "owner,name,state,language,tax_id\n1,PUIG*JOSEP,0,CAT,ES11111111H\n"
                "2,SOLER*ANNA,0,CAT,ES22222222J\n");
  agency.Import("VGrups", "owner,property,description,section\n1,1,FINCA U,2\n2,1,FINCA D,2\n");
  agency.Import("VDepBase", "owner,property,unit,description\n1,1,1,PIS\n2,1,1,PIS\n");
  const std::string header = "owner,property,unit,date,amount\n";
  agency.Import("VCobros", header + "1,1,1,2023-02-01,100.00\n2,1,1,2023-02-01,200.00\n");
  const std::string before = agency.Run("31122023", "1", "2", "N").Text();

  SetStatementProgress([&](const std::string& owner, const std::string&) {
    if (owner == "1") {
      agency.Import("VCobros", header + "1,1,1,2023-03-01,10.00\n2,1,1,2023-03-01,20.00\n");
    }
    return true;
  });
  const std::string during = agency.Run("31122023", "1", "2", "N").Text();
  SetStatementProgress(nullptr);
  EXPECT_EQ(during, before);
  // The next run sees the import.
  EXPECT_NE(agency.Run("31122023", "1", "2", "N").Text().find("220,00"), std::string::npos);
}

// The forward walk gives every key's records whatever the jumps between the keys sought: short
// gaps are stepped over, long ones and backward jumps position the file again, and the end of
// the file stays the end.
TEST(StatementRunTest, ForwardWalkFindsEachKeysRecords) {
  TestAgency agency;
  std::string collections = "owner,property,unit,date,amount\n";
  const std::pair<int, int> units[] = {{1, 3}, {2, 40}, {3, 1}, {5, 2}};  // unit, records
  for (auto [unit, count] : units) {
    for (int i = 1; i <= count; ++i) {
      collections += "1,1," + std::to_string(unit) + ",2023-01-01," + std::to_string(i) + ".00\n";
    }
  }
  agency.Import("VCobros", collections);
  StartUpWithoutScreen();
  ForwardWalk walk(kCollectionFile);
  auto records_of = [&](int unit) {
    const std::string key = UnitKey(1, 1, unit);
    std::vector<int32_t> amounts;
    for (bool found = walk.Seek(key); found; found = walk.NextWith(key)) {
      amounts.push_back(ReadAmount(walk.record(), RentalField("VCobros", "amount")) / 100);
    }
    return amounts.size();
  };
  const std::pair<int, size_t> seeks[] = {
      {1, 3},  {3, 1},           // over unit 2's 40 records: positioned again
      {4, 0},  {5, 2}, {2, 40},  // backwards
      {2, 40}, {6, 0}, {7, 0},   // past the end
      {1, 3},
  };
  for (auto [unit, expected] : seeks) EXPECT_EQ(records_of(unit), expected) << "unit " << unit;
  int16_t status = 0;
  ResetRecordFiles(status);
}

}  // namespace
}  // namespace quarnell
