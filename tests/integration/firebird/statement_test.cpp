#include "firebird/statement.h"

#include <gtest/gtest.h>

#include "support/firebird_database.h"

namespace nuvexa::firebird {
namespace {

using platform::TDateTime;
using test::FirebirdDatabase;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return platform::EncodeDateTime({y, mo, d}, {h, mi, s, ms});
}

constexpr const char* kSchema = R"sql(
CREATE TABLE TIPOS (
  ID INTEGER NOT NULL PRIMARY KEY,
  PEQUENO SMALLINT, INTEIRO INTEGER, GRANDE BIGINT,
  LETRA CHAR(5), TEXTO VARCHAR(20), VALOR NUMERIC(15,2),
  MOMENTO TIMESTAMP, DIA DATE, HORA TIME,
  NOTA BLOB SUB_TYPE TEXT);
INSERT INTO TIPOS (ID) VALUES (1);
INSERT INTO TIPOS VALUES (2, -7, 360, 3000000000000, 'Y', 'ab ', 12.50,
  '2026-12-10 04:08:16.001', '2000-02-29', '23:59:59.999', 'Dipirona s' || _UTF8 'ódica');
CREATE TABLE PADRAO (
  CODIGO INTEGER NOT NULL PRIMARY KEY, CGC VARCHAR(18), NUVEXAULTIMOBACKUP TIMESTAMP,
  IDCRST VARCHAR(10), CRST VARCHAR(60), NUVEXADESATIVAR CHAR(1), VERSAOACBRSERVICOS INTEGER);
INSERT INTO PADRAO (CODIGO, CGC, IDCRST, CRST) VALUES (1, '12.345.678/0001-95', '7', 'antigo');
INSERT INTO PADRAO (CODIGO, CGC, IDCRST, CRST) VALUES (2, '98.765.432/0001-10', '8', 'outro');
)sql";

class FirebirdStatement : public ::testing::Test {
 protected:
  void SetUp() override {
    NUVEXA_REQUIRE_FIREBIRD();
    database_ = std::make_unique<FirebirdDatabase>(kSchema);
    connection_.Params() = database_->ConnectionParams();
    connection_.Open();
  }

  // A number the server computes, so the check does not rest on the reading under test.
  std::int64_t Scalar(const std::string& sql) {
    Query query(connection_, sql);
    query.Open();
    return query.Fields(0).AsLargeInt();
  }

  void Run(const std::string& sql, const std::vector<std::pair<const char*, Value>>& params = {}) {
    Command command(connection_, sql);
    for (const auto& [name, value] : params) command.ParamByName(name) = value;
    command.Execute();
  }

  std::unique_ptr<FirebirdDatabase> database_;
  Connection connection_;
};

TEST_F(FirebirdStatement, NullReadsAsEmptyZeroAndTheZeroDateInEveryType) {
  Query query(connection_, "SELECT * FROM TIPOS WHERE ID = 1");
  query.Open();
  ASSERT_FALSE(query.Eof());
  struct Case { const char* column; bool number; bool moment; };
  const Case kCases[] = {
      {"PEQUENO", true, false}, {"INTEIRO", true, false}, {"GRANDE", true, false}, {"VALOR", true, false},
      {"LETRA", true, false},   {"TEXTO", true, false},   {"NOTA", true, false},   {"MOMENTO", false, true},
      {"DIA", false, true},     {"HORA", false, true},
  };
  for (const auto& c : kCases) {
    const Field field = query.FieldByName(c.column);
    EXPECT_TRUE(field.IsNull()) << c.column;
    EXPECT_EQ(field.AsString(), "") << c.column;
    if (c.number) {
      EXPECT_EQ(field.AsInteger(), 0) << c.column;
    }
    if (c.moment) {
      EXPECT_EQ(field.AsDateTime(), 0.0) << c.column;
    }
  }
}

TEST_F(FirebirdStatement, ValuesReadAsTheDataLayerGivesThem) {
  Query query(connection_, "SELECT * FROM TIPOS WHERE ID = 2");
  query.Open();
  ASSERT_FALSE(query.Eof());
  struct Case { const char* column; const char* text; };
  const Case kCases[] = {
      {"PEQUENO", "-7"},   {"INTEIRO", "360"}, {"GRANDE", "3000000000000"}, {"LETRA", "Y"},
      {"TEXTO", "ab "},    {"VALOR", "12.5"},  {"DIA", "29/02/2000"},       {"HORA", "23:59:59"},
      {"NOTA", "Dipirona s\xC3\xB3" "dica"},
  };
  for (const auto& c : kCases) EXPECT_EQ(query.FieldByName(c.column).AsString(), c.text) << c.column;
  EXPECT_EQ(query.FieldByName("inteiro").AsInteger(), 360) << "names are matched without regard to case";
  EXPECT_EQ(query.FieldByName("GRANDE").AsLargeInt(), 3'000'000'000'000);
  EXPECT_EQ(query.FieldByName("VALOR").AsInteger(), 13);
  EXPECT_DOUBLE_EQ(query.FieldByName("MOMENTO").AsDateTime(), At(2026, 12, 10, 4, 8, 16, 1));
  EXPECT_DOUBLE_EQ(query.FieldByName("DIA").AsDateTime(), At(2000, 2, 29));
  EXPECT_DOUBLE_EQ(query.FieldByName("HORA").AsDateTime(), platform::EncodeTime(23, 59, 59, 999))
      << "a time of day has day part 0";
  EXPECT_THROW(query.FieldByName("NO_SUCH_COLUMN"), FirebirdError);
}

TEST_F(FirebirdStatement, RowsComeInOrderUntilEof) {
  Query query(connection_, "SELECT CODIGO, CGC FROM PADRAO ORDER BY CODIGO DESC");
  query.Open();
  std::vector<std::string> read;
  for (; !query.Eof(); query.Next()) read.push_back(query.FieldByName("CGC").AsString());
  EXPECT_EQ(read, (std::vector<std::string>{"98.765.432/0001-10", "12.345.678/0001-95"}));
  EXPECT_TRUE(query.FieldByName("CODIGO").IsNull()) << "past the last row the fields read as NULL";

  Query empty(connection_, "SELECT CGC, NUVEXAULTIMOBACKUP FROM PADRAO WHERE CODIGO = 0");
  empty.Open();
  EXPECT_TRUE(empty.Eof());
  EXPECT_EQ(empty.FieldByName("CGC").AsString(), "");
  EXPECT_EQ(empty.FieldByName("NUVEXAULTIMOBACKUP").AsDateTime(), 0.0);
}

TEST_F(FirebirdStatement, QueryParametersSelectRows) {
  Query query(connection_, "SELECT CODIGO FROM PADRAO WHERE CGC = :CNPJ");
  query.ParamByName("cnpj") = Value::Text("98.765.432/0001-10");
  query.Open();
  EXPECT_EQ(query.FieldByName("CODIGO").AsInteger(), 2);

  Query empty_text(connection_, "SELECT COUNT(*) FROM RDB$DATABASE WHERE CAST(:V AS VARCHAR(10)) IS NULL");
  empty_text.ParamByName("V") = Value::Text("");
  empty_text.Open();
  EXPECT_EQ(empty_text.Fields(0).AsInteger(), 1) << "an empty text goes as NULL";
  EXPECT_THROW(query.ParamByName("OTHER"), FirebirdError);
}

TEST_F(FirebirdStatement, AProcedureThatReturnsValuesReadsAsOneRow) {
  database_->RunSql(
      "SET TERM ^ ;\n"
      "CREATE PROCEDURE SOMA (A INTEGER, B INTEGER) RETURNS (C INTEGER) AS BEGIN C = A + B; END^\n"
      "SET TERM ; ^");
  Query query(connection_, "EXECUTE PROCEDURE SOMA(:A, :B)");
  query.ParamByName("A") = Value::Integer(2);
  query.ParamByName("B") = Value::Integer(3);
  query.Open();
  ASSERT_EQ(query.RecordCount(), 1u);
  EXPECT_EQ(query.FieldByName("C").AsInteger(), 5);
}

TEST_F(FirebirdStatement, DateTimesRoundTripToTheMillisecond) {
  const TDateTime moment = At(2026, 12, 10, 4, 8, 16, 1);
  Run("UPDATE TIPOS SET MOMENTO = :M, DIA = :D, HORA = :H WHERE ID = 1",
      {{"M", Value::DateTime(moment)},
       {"D", Value::DateTime(At(1899, 12, 29))},
       {"H", Value::DateTime(platform::EncodeTime(23, 59, 59, 999))}});
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM TIPOS WHERE ID = 1 AND MOMENTO = TIMESTAMP '2026-12-10 04:08:16.0010' "
                   "AND DIA = DATE '1899-12-29' AND HORA = TIME '23:59:59.9990'"),
            1)
      << "the server holds what was sent";

  Query query(connection_, "SELECT MOMENTO, DIA, HORA FROM TIPOS WHERE ID = 1");
  query.Open();
  EXPECT_DOUBLE_EQ(query.FieldByName("MOMENTO").AsDateTime(), moment);
  EXPECT_DOUBLE_EQ(query.FieldByName("DIA").AsDateTime(), -1.0);
  EXPECT_DOUBLE_EQ(query.FieldByName("HORA").AsDateTime(), platform::EncodeTime(23, 59, 59, 999));
}

TEST_F(FirebirdStatement, TextTravelsInIso8859_1) {
  const std::string text = "Recep\xC3\xA7\xC3\xA3o";  // "Recepção"
  Run("UPDATE TIPOS SET TEXTO = :T, NOTA = :T WHERE ID = 1", {{"T", Value::Text(text)}});
  EXPECT_EQ(Scalar("SELECT OCTET_LENGTH(TEXTO) FROM TIPOS WHERE ID = 1"), 8) << "one byte per character";
  EXPECT_EQ(Scalar("SELECT OCTET_LENGTH(NOTA) FROM TIPOS WHERE ID = 1"), 8) << "a text blob too";
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM TIPOS WHERE TEXTO = 'Recep\xC3\xA7\xC3\xA3o'"), 1)
      << "the statement's own text is converted too";

  Query query(connection_, "SELECT TEXTO, NOTA FROM TIPOS WHERE ID = 1");
  query.Open();
  EXPECT_EQ(query.FieldByName("TEXTO").AsString(), text);
  EXPECT_EQ(query.FieldByName("NOTA").AsString(), text);
}

TEST_F(FirebirdStatement, WritesStoreAnEmptyTextAsNullAndCutALongOne) {
  Run("UPDATE PADRAO SET CGC = :CGC, IDCRST = :ID, NUVEXADESATIVAR = :D WHERE CODIGO = 1",
      {{"CGC", Value::Text("")},
       {"ID", Value::Text("\xC3\xA7" "234567890ABC")},  // 13 characters, 14 UTF-8 bytes, into VARCHAR(10)
       {"D", Value::Text("YES")}});                      // into CHAR(1)
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM PADRAO WHERE CODIGO = 1 AND CGC IS NULL"), 1);
  Query query(connection_, "SELECT IDCRST, NUVEXADESATIVAR FROM PADRAO WHERE CODIGO = 1");
  query.Open();
  EXPECT_EQ(query.FieldByName("IDCRST").AsString(), "\xC3\xA7" "234567890");
  EXPECT_EQ(query.FieldByName("NUVEXADESATIVAR").AsString(), "Y");
}

TEST_F(FirebirdStatement, AnUpdateWithoutWhereChangesEveryRowAndIsCommittedAtOnce) {
  Command update(connection_, "UPDATE PADRAO SET NUVEXAULTIMOBACKUP = :DATAHORA");
  EXPECT_FALSE(update.Prepared());
  update.Prepare();
  EXPECT_TRUE(update.Prepared());
  update.ParamByName("DATAHORA") = Value::DateTime(At(2026, 12, 10, 4, 30));
  update.Execute();
  EXPECT_EQ(update.RowsAffected(), 2);
  EXPECT_FALSE(connection_.TransReadWrite().Active());

  Connection other;  // another attachment sees only what was committed
  other.Params() = database_->ConnectionParams();
  Query check(other, "SELECT COUNT(*) FROM PADRAO WHERE NUVEXAULTIMOBACKUP = TIMESTAMP '2026-12-10 04:30:00'");
  check.Open();
  EXPECT_EQ(check.Fields(0).AsInteger(), 2);
}

TEST_F(FirebirdStatement, QueriesRunInTheReadOnlyTransaction) {
  Query query(connection_, "UPDATE PADRAO SET CGC = 'x'");
  EXPECT_THROW(query.Open(), FirebirdError);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM PADRAO WHERE CGC = 'x'"), 0);
  EXPECT_FALSE(connection_.TransReadOnly().Active()) << "nothing stays open after a query";
}

TEST_F(FirebirdStatement, PostWritesTheEditedRowAndKeepsItCurrent) {
  Query padrao(connection_, "SELECT CODIGO, CGC, IDCRST, CRST, VERSAOACBRSERVICOS FROM PADRAO WHERE CODIGO = 1");
  padrao.Open();
  padrao.Post("PADRAO", "CODIGO",
              {{"CRST", Value::Text("novo")}, {"IDCRST", Value::Text("")}, {"VERSAOACBRSERVICOS", Value::Integer(7)}});
  EXPECT_EQ(padrao.FieldByName("CRST").AsString(), "novo");
  EXPECT_TRUE(padrao.FieldByName("IDCRST").IsNull());
  EXPECT_EQ(padrao.FieldByName("VERSAOACBRSERVICOS").AsInteger(), 7);

  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM PADRAO WHERE CODIGO = 1 AND CRST = 'novo' AND IDCRST IS NULL "
                   "AND VERSAOACBRSERVICOS = 7"),
            1);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM PADRAO WHERE CODIGO = 2 AND CRST = 'outro' AND IDCRST = '8'"), 1)
      << "only the edited row changes";

  database_->RunSql("DELETE FROM PADRAO WHERE CODIGO = 1;");
  EXPECT_THROW(padrao.Post("PADRAO", "CODIGO", {{"CRST", Value::Text("x")}}), FirebirdError)
      << "a row that is gone is reported";
}

}  // namespace
}  // namespace nuvexa::firebird
