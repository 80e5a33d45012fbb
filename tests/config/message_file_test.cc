#include "config/message_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quarnell {
namespace {

struct ParseCase {
  const char* name;
  std::string bytes;
  std::vector<MessageRecord> expected;
};

TEST(ParseMessageFileTest, SplitsRecordsOfFourFields) {
  const std::vector<ParseCase> cases = {
      {"one record per line",
       "Data,Data gal,Data ara,Fecha\nPagina,Paxina,Pagina oc,Pagina es\n",
       {{"Data", "Data gal", "Data ara", "Fecha"}, {"Pagina", "Paxina", "Pagina oc", "Pagina es"}}},
      {"quoted fields hold commas",
       "\"Lloguers, net\",\"Alugueiros, neto\",\"Locacions, net\",\"Alquileres, neto\"\n",
       {{"Lloguers, net", "Alugueiros, neto", "Locacions, net", "Alquileres, neto"}}},
      {"leading blanks of unquoted fields skipped, trailing kept",
       "Total ,  Total gal ,\tTotal ara,   Total es  \n",
       {{"Total ", "Total gal ", "Total ara", "Total es  "}}},
      {"blanks before a quote skipped, text after the closing quote dropped",
       "  \"A\" x, \"B\",\"C\"  ,\"D\"\n",
       {{"A", "B", "C", "D"}}},
      {"a record spans lines",
       "Despeses\nGastos gal\nDespeses ara\nGastos\n",
       {{"Despeses", "Gastos gal", "Despeses ara", "Gastos"}}},
      {"mixed commas and line ends",
       "K1,G1\nA1,S1,K2\n,G2,A2,S2",
       {{"K1", "G1", "A1", "S1"}, {"K2", "", "G2", "A2"}}},
      {"empty fields between commas and before the line end",
       "K,,,\nL,g,a,s\n",
       {{"K", "", "", ""}, {"L", "g", "a", "s"}}},
      {"blank lines between records skipped",
       "\n\nK,g,a,s\n   \n\nL,g2,a2,s2\n",
       {{"K", "g", "a", "s"}, {"L", "g2", "a2", "s2"}}},
      {"CR LF and CR line ends",
       "K,g,a,s\r\nL,g2,a2,s2\rM,g3,a3,s3\r\n",
       {{"K", "g", "a", "s"}, {"L", "g2", "a2", "s2"}, {"M", "g3", "a3", "s3"}}},
      {"a quoted field ends at its line", "\"K,g\na,b,c,d\n", {{"K,g", "a", "b", "c"}}},
      {"Ctrl-Z ends the file", "K,g,a,s\n\x1aL,g2,a2,s2\n", {{"K", "g", "a", "s"}}},
      {"Ctrl-Z inside a record cuts it short", "K,g,a,s\nL,g2\x1a,a2,s2\n", {{"K", "g", "a", "s"}}},
      {"record cut short at the end is dropped", "K,g,a,s\nL,g2,a2\n", {{"K", "g", "a", "s"}}},
      {"last field after a final comma is empty", "K,g,a,", {{"K", "g", "a", ""}}},
      {"no line end at the end", "K,g,a,s", {{"K", "g", "a", "s"}}},
      {"empty file", "", {}},
      {"only blanks and line ends", " \n\r\n\t\n", {}},
      {"code page 850 bytes pass through",
       "Explotaci\xa2,Explotaci\xa2n,Esplotaci\xa2,Explotaci\xa2n\n",
       {{"Explotaci\xa2", "Explotaci\xa2n", "Esplotaci\xa2", "Explotaci\xa2n"}}},
  };
  for (const ParseCase& c : cases) {
    EXPECT_EQ(ParseMessageFile(c.bytes), c.expected) << c.name;
  }
}

TEST(ParseMessageFileTest, ReadsLinesOfAnyLength) {
  std::string key(200000, 'k');
  std::string spanish(150000, 's');
  std::vector<MessageRecord> expected = {{key, "g", "a", spanish}};
  EXPECT_EQ(ParseMessageFile(key + ",g,a," + spanish + "\n"), expected);
}

}  // namespace
}  // namespace quarnell
