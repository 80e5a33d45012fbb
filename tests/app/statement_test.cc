// The computation and the report layout on figures given directly, without record files; the
// rates, the young-tenant share and the owner classification as tables.
#include "app/statement.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "app/statement_support.h"
#include "config/session.h"
#include "print/print_output.h"
#include "support/fake_clock.h"
#include "text/dates.h"

namespace quarnell {
namespace {

using testing::PlacedText;
using testing::ReadSpool;
using testing::ScopedEnvironment;
using testing::Spool;
using testing::TempDir;

Date D(int32_t yyyymmdd) { return MakeDate(yyyymmdd); }

TEST(PersonalTaxpayerTest, SpanishPersonsOnly) {
  struct Case {
    const char* tax_id;
    bool personal;
  };
  const Case cases[] = {
      {"ES12345678Z", true},  {"ESX1234567L", true},  {"ESV1234567L", true}, {"ESB65432109", false},
      {"ESW1234567A", false}, {"FR12345678Z", false}, {"ES", false},         {"es12345678Z", false},
  };
  for (const Case& c : cases) EXPECT_EQ(PersonalTaxpayer(c.tax_id), c.personal) << c.tax_id;
}

TEST(RatesForTest, PeriodsOfTheTaxRules) {
  const double k70 = static_cast<double>(0.7f);
  const double k60 = static_cast<double>(0.6f);
  struct Case {
    int32_t statement;
    int32_t contract;
    double general;
    double young;
    int32_t limit;
  };
  const Case cases[] = {
      {20241231, 20230226, 0.5, k70, 35},  // a contract after 25 February 2023
      {20241231, 20230225, k60, 0, 0},
      {20231231, 20230226, k60, k70, 35},  // 0.6 whatever the contract until 2023
      {20231231, 20120615, k60, 1, 31},
      {20231231, 20160615, k60, 0, 0},
      {20231231, 20080615, k60, 1, 36},
      {20231231, 20060615, k60, 0, 0},
      {20081231, 20080615, 0.5, 1, 36},
      {20101231, 20080615, 0.5, 1, 36},
      {20110101, 20080615, k60, 1, 36},
      {20061231, 20050615, 0, 0, 0},
      {20231231, 0, k60, 0, 0},  // no contract
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.statement) + " " + std::to_string(c.contract));
    const UnitRates rates = RatesFor(D(c.statement), c.contract ? D(c.contract) : EmptyDate());
    EXPECT_EQ(rates.general_rate, c.general);
    EXPECT_EQ(rates.young_rate, c.young);
    EXPECT_EQ(rates.young_age_limit, c.limit);
  }
  EXPECT_EQ(k70, 0.699999988079071);
  EXPECT_EQ(k60, 0.6000000238418579);
}

TEST(YoungTenantWeightTest, PartOfTheYearCounted) {
  const long double days_2025 = 364;  // 1 January to 31 December
  struct Case {
    int32_t birth;
    int32_t statement;
    int32_t limit;
    long double weight;
  };
  const Case cases[] = {
      {20070701, 20251231, 35, (364 - 181) / days_2025},  // turns 18 on 1 July
      {19900701, 20251231, 35, 181 / days_2025},          // reaches 35 on 1 July
      {20000101, 20251231, 35, 1},
      {19890101, 20251231, 35, 0},  // 36: older than the limit
      {20080101, 20251231, 35, 0},  // 17
      {20000101, 20251231, 0, 0},   // no young-tenant rate
      {0, 20251231, 35, 0},         // no birth date
      // Born on 29 February: in a common year the birthday is the 29th of February that the day
      // count takes as the day after the 28th.
      {20040229, 20221231, 31, 305 / 364.0L},  // 18: 29 February to 31 December
      {19880229, 20231231, 35, 59 / 364.0L},   // 35: 1 January to 29 February
      {20040229, 20220228, 31, 0},             // still 17 on 28 February
      {19880229, 20241231, 36, 59 / 365.0L},   // a leap statement year: the real birthday
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.birth) + " at " + std::to_string(c.statement));
    EXPECT_EQ(YoungTenantWeight(c.birth ? D(c.birth) : EmptyDate(), D(c.statement), c.limit),
              c.weight);
  }
}

// Runs the computation on `figures` into a spool file and reads it back.
class ComputationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("QEBROOT", dir_.dir());
    env_.Set("QEBTMP", dir_.dir());
    dir_.Write("Tova.ini", "[Usuari]\nDecCaracter=,\nMilCaracter=.\n");
    StartConfiguration();
    letterhead_.texts = {"AGENCIA", "C. GRAN 1", "08001 BARCELONA", "TEL. 1",
                         "FAX 2",   "",          "ESB65432109"};
  }

  Spool Compute(const PropertyFigures& figures, char option, bool personal = true,
                bool letterhead = false) {
    StatementSettings settings;
    settings.statement_date = D(20231231);
    settings.report_option = option;
    StatementReport report(letterhead_, settings.statement_date, option);
    ReportHeading heading;
    heading.property_key = PackDigits("00010001");
    heading.property_description = "C. DEL MAR, 5";
    heading.owner_name = "GARCIA*MARIA";
    heading.owner_tax_id = "ES12345678Z      ";
    heading.letterhead = letterhead;
    ResetPrintStateForTesting();
    OpenPrintOutput("PDF");
    report.BeginProperty(heading);
    ComputeStatement(figures, settings, personal, report);
    ClosePrintOutput();
    return ReadSpool(dir_.Read("qebprint.tmp"));
  }

  static UnitFigures Dwelling(std::string description, double net, char type = 'V') {
    UnitFigures unit;
    unit.description = std::move(description);
    unit.reference = "REF";
    unit.contract_type = type;
    unit.contract_date = D(20160501);
    unit.general_rate = static_cast<double>(0.6f);
    unit.net_collections = net;
    return unit;
  }

  // The texts, trimmed, from column `column` on of each printed line that begins with `label`.
  static std::vector<std::vector<std::string>> Rows(const Spool& spool, std::string_view label,
                                                    int column) {
    std::vector<std::vector<std::string>> rows;
    for (const PlacedText& start : spool.texts) {
      if (start.column != 1 || Trimmed(start.text) != label) continue;
      std::vector<std::string> row;
      for (const PlacedText& text : spool.texts) {
        if (text.page == start.page && text.line == start.line && text.column >= column) {
          row.push_back(Trimmed(text.text));
        }
      }
      rows.push_back(row);
    }
    return rows;
  }

  // The labels and amounts of the account layout from "TOTAL DESPESES" on, without the rules.
  static std::vector<std::string> Summary(const Spool& spool) {
    std::vector<std::string> summary;
    for (const PlacedText* text = spool.Find("TOTAL DESPESES");
         text != nullptr && text != spool.texts.data() + spool.texts.size(); ++text) {
      const std::string t = Trimmed(text->text);
      if (t.find_first_not_of("-=") != std::string::npos) summary.push_back(t);
    }
    return summary;
  }

  static std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
  }

  TempDir dir_;
  ScopedEnvironment env_;
  Letterhead letterhead_;
};

TEST_F(ComputationTest, ALossGivesNoReductionAndTheFiscalResultAddsTheSubsidies) {
  PropertyFigures figures;
  figures.units.push_back(Dwelling("PIS", 500000));
  figures.expenses.push_back({"OBRES", -800000});
  figures.subsidies = 100000;
  Spool spool = Compute(figures, 'N');
  EXPECT_EQ(spool.Find("REDUCCIÓ RESULTATS HABITATGES"), nullptr);
  EXPECT_EQ(spool.Find("PÈRDUES EXPLOTACIÓ"), nullptr);  // only with a reduction or exemption
  const PlacedText* subsidies = spool.Find("SUBVENCIONS");
  ASSERT_NE(subsidies, nullptr);
  const PlacedText* fiscal = spool.Find("PÈRDUES FISCALS");
  ASSERT_NE(fiscal, nullptr);
  EXPECT_EQ(spool.texts[static_cast<size_t>(fiscal - spool.texts.data()) + 1].text,
            "     2.000,00-");
}

TEST_F(ComputationTest, ACompanyGetsNoReductionAndNoOperatingResultLine) {
  PropertyFigures figures;
  figures.units.push_back(Dwelling("PIS", 500000));
  Spool spool = Compute(figures, 'N', /*personal=*/false);
  EXPECT_EQ(spool.Find("REDUCCIÓ RESULTATS HABITATGES"), nullptr);
  EXPECT_EQ(spool.Find("BENEFICIS EXPLOTACIÓ"), nullptr);
  EXPECT_NE(spool.Find("BENEFICIS FISCALS"), nullptr);
}

TEST_F(ComputationTest, NothingToPrintGivesNoPage) {
  PropertyFigures figures;
  figures.units.push_back(Dwelling("PIS", 0));
  for (char option : {'N', 'F'}) {
    Spool spool = Compute(figures, option);
    EXPECT_EQ(spool.pages, 0) << option;
    EXPECT_EQ(spool.lines, std::vector<std::string>{"DEVICEPDF"});
  }
}

TEST_F(ComputationTest, AnOptionOtherThanNOrFPrintsNothing) {
  PropertyFigures figures;
  figures.units.push_back(Dwelling("PIS", 500000));
  figures.expenses.push_back({"OBRES", -1000});
  EXPECT_EQ(Compute(figures, 'X').pages, 0);
}

TEST_F(ComputationTest, FiscalLayoutSplitsAUnitAndShowsItsRetentionOnce) {
  PropertyFigures figures;
  UnitFigures unit = Dwelling("PIS", 1000000);
  unit.young_rate = 1;
  unit.young_age_limit = 31;
  unit.young_share = 0.5;
  unit.retention = 12345;
  unit.cadastral_ref = std::string(20, ' ');
  figures.units.push_back(unit);
  figures.expenses.push_back({"OBRES", -200000});
  figures.subsidies = 5000;
  Spool spool = Compute(figures, 'F');
  std::vector<std::string> rows;
  for (const PlacedText& text : spool.texts) {
    if (text.column >= 65) rows.push_back(std::to_string(text.column) + ":" + text.text);
  }
  // General rate: 0.6 x 800000 / 1000000 x 500000 = 240000; young rate 1: 400000.
  const std::vector<std::string> expected = {
      "85:PAGINA    1",  "94: INGRESSOS",           "105:  DESPESES",
      "116: DEDUCCIÓ",   "126: RETENCIÓ",           "94:" + std::string(41, '-'),
      "65:HAB. 60",      "73:**sense ref.cadas.**", "94:  5.000,00 ",
      "105:  1.000,00 ", "116: 2.400,00 ",          "126:   123,45-",
      "65:HAB. 100",     "73:**sense ref.cadas.**", "94:  5.000,00 ",
      "105:  1.000,00 ", "116: 4.000,00 ",          "126:     0,00 ",
      "94:     50,00 "};
  EXPECT_EQ(rows, expected);
  EXPECT_NE(spool.Find("SUBVENCIONS"), nullptr);
  EXPECT_EQ(spool.Find("TOTAL INGRESSOS"), nullptr);
}

// A property with a net loss of 1,100.00 and a dwelling whose only collection is a refund of
// 200.00: the share of the loss that falls to the refund is a product of two negatives, and must
// not become a reduction (general rate) or an exemption (young rate 1) that deepens the loss.
TEST_F(ComputationTest, ALossGivesNoReductionOnARefundOnlyDwelling) {
  struct Case {
    char option;
    double young_share;  // of the refund-only dwelling, under a young-tenant rate of 1
    std::vector<std::string> expected;  // the account summary, or the refund's fiscal columns
  };
  const Case cases[] = {
      {'N', 0, {"TOTAL DESPESES", "5.900,00-", "PÈRDUES FISCALS", "1.100,00-"}},
      {'N', 1, {"TOTAL DESPESES", "5.900,00-", "PÈRDUES FISCALS", "1.100,00-"}},
      {'F', 0, {"200,00-", "245,83-", "0,00", "0,00"}},
      {'F', 1, {"200,00-", "245,83-", "0,00", "0,00"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.option) + " young share " + std::to_string(c.young_share));
    PropertyFigures figures;
    figures.units.push_back(Dwelling("PIS", 500000));
    UnitFigures refund = Dwelling("REEMBORSAMENT", -20000);
    refund.young_rate = 1;
    refund.young_share = c.young_share;
    figures.units.push_back(refund);
    figures.expenses.push_back({"OBRES", -590000});
    Spool spool = Compute(figures, c.option);
    if (c.option == 'N') {
      EXPECT_EQ(Summary(spool), c.expected);
    } else {
      EXPECT_EQ(Rows(spool, "REEMBORSAMENT", 94),
                (std::vector<std::vector<std::string>>{c.expected}));
    }
  }
}

// A dwelling's collections split between the general and the young-tenant rates: the young part
// is rounded to the cent and the general part is the rest, so the printed parts add up to the
// unit, and the deductions are those of the printed parts (0.6 and 1 of each, without expenses).
TEST_F(ComputationTest, SplitPartsOfADwellingAddUpToItsCollections) {
  struct Case {
    double young_share;
    double collections;
    std::vector<std::vector<std::string>> rows;  // amount, expenses, deduction, retention
  };
  const Case cases[] = {
      {0.5,
       200003,
       {{"1.000,01", "0,00", "600,01", "0,00"}, {"1.000,02", "0,00", "1.000,02", "0,00"}}},
      {static_cast<double>(1.0L / 3),
       200009,
       {{"1.333,39", "0,00", "800,03", "0,00"}, {"666,70", "0,00", "666,70", "0,00"}}},
      {static_cast<double>(182.0L / 365),
       200001,
       {{"1.002,74", "0,00", "601,64", "0,00"}, {"997,27", "0,00", "997,27", "0,00"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.young_share) + " of " + std::to_string(c.collections));
    PropertyFigures figures;
    UnitFigures unit = Dwelling("PIS", c.collections);
    unit.young_rate = 1;
    unit.young_share = c.young_share;
    figures.units.push_back(unit);
    const auto rows = Rows(Compute(figures, 'F'), "PIS", 94);
    EXPECT_EQ(rows, c.rows);
    ASSERT_EQ(rows.size(), 2u);
    auto hundredths = [](std::string text) {
      std::erase_if(text, [](char ch) { return ch < '0' || ch > '9'; });
      return std::stol(text);
    };
    EXPECT_EQ(hundredths(rows[0][0]) + hundredths(rows[1][0]), c.collections);
  }
}

// A unit whose collections were all withheld (190.00 collected, 190.00 retained) has no income to
// print, but its retention is deducted in the owner's return: it gets one line of its own, of the
// general housing kind for a dwelling and of the other kind otherwise, with nothing but the
// retention.
TEST_F(ComputationTest, ARetentionOnlyUnitPrintsItsRetention) {
  struct Case {
    char contract_type;
    std::vector<std::string> row;
  };
  const Case cases[] = {
      {'V', {"1/5/2016", "HAB. 60", "**sense ref.cadas.**", "0,00", "0,00", "0,00", "190,00-"}},
      {'L', {"1/5/2016", "LOCAL", "**sense ref.cadas.**", "0,00", "0,00", "0,00", "190,00-"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.contract_type));
    PropertyFigures figures;
    UnitFigures unit = Dwelling("BOTIGA", 0, c.contract_type);
    unit.retention = 19000;
    figures.units.push_back(unit);
    EXPECT_EQ(Rows(Compute(figures, 'F'), "BOTIGA", 54),
              (std::vector<std::vector<std::string>>{c.row}));
  }
}

// Expenses of 2,188.81 over income of 3,747.90 allocate to a unit of 1,873.95 exactly half a cent
// above 1,094.40 on paper; in 80-bit extended precision the product -218881 / 374790 x 187395 is
// just beyond the half and rounds to 1,094.41. Evaluated in double it lands on the half and
// rounds to even, 1,094.40: a change of precision or evaluation order shows here.
TEST_F(ComputationTest, AllocatedExpensesOnAHalfCentTie) {
  PropertyFigures figures;
  figures.units.push_back(Dwelling("LOCAL 1", 187395, 'L'));
  figures.units.push_back(Dwelling("LOCAL 2", 187395, 'L'));
  figures.expenses.push_back({"OBRES", -218881});
  const auto rows = Rows(Compute(figures, 'F'), "LOCAL 1", 94);
  EXPECT_EQ(rows,
            (std::vector<std::vector<std::string>>{{"1.873,95", "1.094,41", "0,00", "0,00"}}));
}

// When no concept or VAT line opens the expenses section, the depreciation line takes the
// expenses title; the lines of the summary (reduction, exemption, subsidies) take no title.
TEST_F(ComputationTest, TitleOfAnExpensesSectionWithoutConceptOrVatLines) {
  struct Case {
    const char* name;
    double income;
    double depreciation;
    double subsidies;
    std::vector<std::string> lines;  // spool lines after the heading's last line
  };
  const Case cases[] = {
      {"depreciation first",
       500000,
       -30000,
       0,
       {"*u", " 1 ,INGRESSOS :, 1 ", "*u", " 14 ,PIS, 0 ", "JUSD", " 69 ,     5.000,00 , 1 ",
        " 69 ,-------------, 1 ", "JUSN 68 \\.\\", " 14 ,TOTAL INGRESSOS , 0 ", "JUSD",
        " 69 ,     5.000,00 , 1 ", " 0 ,, 1 ", "*u", " 1 ,DESPESES :, 1 ", "*u",
        " 14 ,AMORTITZACIÓ IMMOBLE , 0 ", "JUSD", " 69 ,       300,00-, 1 "}},
      {"reduction first",
       500000,
       0,
       0,
       {"*u", " 1 ,INGRESSOS :, 1 ", "*u", " 14 ,PIS, 0 ", "JUSD", " 69 ,     5.000,00 , 1 ",
        " 69 ,-------------, 1 ", "JUSN 68 \\.\\", " 14 ,TOTAL INGRESSOS , 0 ", "JUSD",
        " 69 ,     5.000,00 , 1 ", " 69 ,-------------, 1 ", "JUSN 68 \\.\\",
        " 14 ,BENEFICIS EXPLOTACIÓ , 0 ", "JUSD", " 69 ,     5.000,00 , 1 ",
        " 14 ,REDUCCIÓ RESULTATS HABITATGES , 0 ", "JUSD", " 69 ,     3.000,00-, 1 "}},
      {"subsidies alone",
       0,
       0,
       10000,
       {" 14 ,SUBVENCIONS , 0 ", "JUSD", " 69 ,       100,00 , 1 ", " 69 ,-------------, 1 ",
        " 14 ,BENEFICIS FISCALS , 0 ", "JUSD", " 69 ,       100,00 , 1 ",
        " 14 ," + std::string(68, '=') + ", 1 "}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PropertyFigures figures;
    figures.units.push_back(Dwelling("PIS", c.income));
    figures.depreciation_total = c.depreciation;
    figures.subsidies = c.subsidies;
    Spool spool = Compute(figures, 'N');
    auto tax_id = std::find_if(spool.lines.begin(), spool.lines.end(), [](const std::string& l) {
      return l.starts_with(" 1 ,N.I.F. PROPIETARI");
    });
    ASSERT_NE(tax_id, spool.lines.end());
    std::vector<std::string> after(tax_id + 1, spool.lines.end());
    after.resize(std::min(after.size(), c.lines.size()));
    EXPECT_EQ(after, c.lines);
  }
}

// The heading of a first page without letterhead takes 16 lines (18 in the fiscal layout, with
// its column heads), the income title one more; a line finds a new page when more than 60 lines
// are on the page, a title when more than 58 are. A continuation page starts after room for the
// pre-printed letterhead and repeats the fiscal column heads.
TEST_F(ComputationTest, PageBreaksAtTheLineAndTitleLimits) {
  struct Case {
    char option;
    int units;
    const char* label;
    int page;
    int line;
  };
  const Case cases[] = {
      {'N', 44, "UNIT 44", 1, 60},     // 16 + 1 + 43 lines before it: still fits
      {'N', 45, "UNIT 45", 2, 9},      // 61 lines before it: continuation page
      {'N', 38, "DESPESES :", 1, 58},  // 58 lines before the title test: same page
      {'N', 39, "DESPESES :", 2, 9},   // 59: the title opens the next page
      {'F', 43, "UNIT 43", 1, 60},     // 18 + 42 lines before it
      {'F', 44, "UNIT 44", 2, 11},     // after the continuation heading and the column heads
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(1, c.option) + " " + std::to_string(c.units) + " units, " + c.label);
    PropertyFigures figures;
    for (int i = 1; i <= c.units; ++i)
      figures.units.push_back(Dwelling("UNIT " + std::to_string(i), 100));
    figures.expenses.push_back({"OBRES", -100});
    Spool spool = Compute(figures, c.option);
    const PlacedText* text = spool.Find(c.label);
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(text->page, c.page);
    EXPECT_EQ(text->line, c.line);
    if (c.page == 2) {
      std::vector<std::string> heading;
      for (const PlacedText& placed : spool.texts) {
        if (placed.page == 2 && placed.line < c.line) {
          heading.push_back(std::to_string(placed.line) + ":" + placed.text);
        }
      }
      std::vector<std::string> expected = {"0:", "7:1.1 31/12/2023 MARIA GARCIA", "7:PAGINA    2"};
      if (c.option == 'F') {
        expected.insert(expected.end(), {"9: INGRESSOS", "9:  DESPESES", "9: DEDUCCIÓ",
                                         "9: RETENCIÓ", "10:" + std::string(41, '-')});
      }
      EXPECT_EQ(heading, expected);
    }
  }
}

}  // namespace
}  // namespace quarnell
