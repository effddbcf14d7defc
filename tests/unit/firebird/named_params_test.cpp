#include "firebird/named_params.h"

#include <gtest/gtest.h>

namespace nuvexa::firebird {
namespace {

TEST(FirebirdNamedParams, NamesBecomeMarkersOutsideQuotesAndComments) {
  struct Case { const char* why; const char* sql; const char* marked; std::vector<std::string> names; };
  const Case kCases[] = {
      {"the last-backup update", "UPDATE PADRAO SET NUVEXAULTIMOBACKUP = :DATAHORA",
       "UPDATE PADRAO SET NUVEXAULTIMOBACKUP = ?", {"DATAHORA"}},
      {"a name at the end of a line, before a line break", "SELECT C.CNPJ\nFROM CLIENTES C\nWHERE CNPJ = :CNPJ\n",
       "SELECT C.CNPJ\nFROM CLIENTES C\nWHERE CNPJ = ?\n", {"CNPJ"}},
      {"digits, underscore and dollar belong to the name", "SELECT * FROM T WHERE A = :P_1$x AND B=:b2",
       "SELECT * FROM T WHERE A = ? AND B=?", {"P_1$x", "b2"}},
      {"a name used twice gives two markers", "WHERE A = :V OR B = :V", "WHERE A = ? OR B = ?", {"V", "V"}},
      {"a colon in a string literal stays", "SELECT ':X', 'it''s :Y' FROM T WHERE A = :Z",
       "SELECT ':X', 'it''s :Y' FROM T WHERE A = ?", {"Z"}},
      {"a colon in a quoted identifier stays", "SELECT \"A:B\" FROM T", "SELECT \"A:B\" FROM T", {}},
      {"comments stay", "SELECT 1 -- :NOT\nFROM T /* :NOR */ WHERE A = :YES",
       "SELECT 1 -- :NOT\nFROM T /* :NOR */ WHERE A = ?", {"YES"}},
      {"a colon that no name follows stays", "SELECT 1 FROM T WHERE A = : B OR C = :1",
       "SELECT 1 FROM T WHERE A = : B OR C = :1", {}},
      {"an unclosed literal runs to the end", "SELECT ':A", "SELECT ':A", {}},
  };
  for (const auto& c : kCases) {
    const MarkedSql result = MarkNamedParams(c.sql);
    EXPECT_EQ(result.sql, c.marked) << c.why;
    EXPECT_EQ(result.markers, c.names) << c.why;
  }
}

}  // namespace
}  // namespace nuvexa::firebird
