#include "central/auto_incremento.h"

#include "central/central_statements.h"
#include "firebird/statement.h"

namespace nuvexa::central {

std::int32_t AutoIncremento(firebird::Connection& Conexao, std::string_view Generator) {
  firebird::Query query(Conexao, GeneratorSql(Generator));
  query.Open();
  return query.FieldByName("NUMERO").AsInteger();
}

}  // namespace nuvexa::central
