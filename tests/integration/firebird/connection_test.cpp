#include "firebird/connection.h"

#include <gtest/gtest.h>
#include <iberror.h>

#include <filesystem>

#include "firebird/statement.h"
#include "support/firebird_database.h"

namespace nuvexa::firebird {
namespace {

using test::FirebirdDatabase;

std::int64_t CurrentConnection(Connection& connection) {
  Query query(connection, "SELECT CURRENT_CONNECTION FROM RDB$DATABASE");
  query.Open();
  return query.Fields(0).AsLargeInt();
}

class ConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { NUVEXA_REQUIRE_FIREBIRD(); }
};

TEST_F(ConnectionTest, OpensWithTheLocalParametersAndCloses) {
  FirebirdDatabase database;
  Connection connection;
  connection.SetLoginPrompt(false);
  connection.Params() = database.ConnectionParams();
  connection.Open();
  EXPECT_TRUE(connection.Connected());

  Query query(connection, "SELECT CURRENT_USER, MON$CHARACTER_SET_ID FROM MON$ATTACHMENTS "
                          "WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION");
  query.Open();
  EXPECT_EQ(query.Fields(0).AsString(), "SYSDBA");
  EXPECT_EQ(query.Fields(1).AsInteger(), 21) << "the attachment speaks ISO8859_1";

  connection.Close();
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(query.Active()) << "closing the connection closes its queries";
  EXPECT_FALSE(query.Prepared());
  connection.Close();  // closing twice is harmless
  EXPECT_EQ(connection.ParamValue("User_Name"), "SYSDBA") << "the parameters outlive the attachment";
}

TEST_F(ConnectionTest, TheServerEntryAlwaysLeadsToTheServerOverTcpIp) {
  FirebirdDatabase database;
  for (const char* server : {"", "127.0.0.1/3050"}) {
    Connection connection;
    connection.Params() = database.ConnectionParams();
    for (std::string& entry : connection.Params()) {
      if (entry.rfind("Server=", 0) == 0) entry = std::string("Server=") + server;
    }
    try {
      connection.Open();
    } catch (const FirebirdError& error) {
      ADD_FAILURE() << "Server=" << server << ": " << error.what();
      continue;
    }
    Query query(connection,
                "SELECT MON$REMOTE_PROTOCOL FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = CURRENT_CONNECTION");
    query.Open();
    EXPECT_EQ(query.Fields(0).AsString().rfind("TCPv", 0), 0u) << "Server=" << server << ": "
                                                               << query.Fields(0).AsString();
  }
}

TEST_F(ConnectionTest, RefusedLoginRaisesTheServersMessage) {
  FirebirdDatabase database;
  Connection connection;
  connection.Params() = database.ConnectionParams("not-the-password");
  try {
    connection.Open();
    FAIL() << "a wrong password was accepted";
  } catch (const FirebirdError& error) {
    const std::string message = error.what();
    EXPECT_EQ(message.rfind("[FireDAC][Phys][FB]Your user name and password are not defined", 0), 0u) << message;
    EXPECT_EQ(error.ErrorCode(), isc_login);
    EXPECT_EQ(error.SqlState(), "28000");
  }
  EXPECT_FALSE(connection.Connected());
}

TEST_F(ConnectionTest, MissingDatabaseRaisesAndIsNotCreated) {
  FirebirdDatabase database;
  const std::string missing = database.Folder() + "QUORVO.FDB";
  Connection connection;
  connection.Params() = database.ConnectionParams();
  for (std::string& entry : connection.Params()) {
    if (entry.rfind("Database=", 0) == 0) entry = "Database=" + missing;
  }
  try {
    connection.Open();
    FAIL() << "a missing database was opened";
  } catch (const FirebirdError& error) {
    EXPECT_NE(std::string(error.what()).find(missing), std::string::npos) << error.what();
  }
  EXPECT_FALSE(connection.Connected());
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(ConnectionTest, ReconnectsByItselfAfterTheServerDropsTheAttachment) {
  FirebirdDatabase database("CREATE TABLE T (N INTEGER); INSERT INTO T VALUES (1);");
  Connection connection;
  connection.Params() = database.ConnectionParams();
  connection.Open();
  Command prepared(connection, "UPDATE T SET N = :N");
  prepared.Prepare();

  struct Step { const char* why; std::function<void()> run; };
  const Step kSteps[] = {
      {"a query", [&] { CurrentConnection(connection); }},
      {"a prepared command", [&] {
         prepared.ParamByName("N") = Value::Integer(2);
         prepared.Execute();
       }},
      {"a row edit", [&] { UpdateRow(connection, "T", "N", Value::Integer(2), {{"N", Value::Integer(3)}}); }},
  };
  for (const Step& step : kSteps) {
    const std::int64_t before = CurrentConnection(connection);
    database.RunSql("DELETE FROM MON$ATTACHMENTS WHERE MON$ATTACHMENT_ID = " + std::to_string(before) + ";");
    ASSERT_NO_THROW(step.run()) << step.why;
    EXPECT_NE(CurrentConnection(connection), before) << step.why << " ran on a new attachment";
  }
  Query check(connection, "SELECT N FROM T");
  check.Open();
  EXPECT_EQ(check.Fields(0).AsInteger(), 3) << "the retried changes were written";
}

TEST_F(ConnectionTest, OtherErrorsAreRaisedWithoutReconnecting) {
  FirebirdDatabase database;
  Connection connection;
  connection.Params() = database.ConnectionParams();
  connection.Open();
  const std::int64_t attachment = CurrentConnection(connection);
  Query query(connection, "SELECT X FROM NO_SUCH_TABLE");
  try {
    query.Open();
    FAIL() << "a missing table went unnoticed";
  } catch (const FirebirdError& error) {
    const std::string message = error.what();
    EXPECT_NE(message.find("Table unknown\r\nNO_SUCH_TABLE"), std::string::npos) << message;
    // the SQL code's own text closes the message
    EXPECT_EQ(message.substr(message.rfind("\r\n") + 2), "Undefined name") << message;
    EXPECT_EQ(error.SqlState(), "42S02");
  }
  EXPECT_EQ(CurrentConnection(connection), attachment);
}

}  // namespace
}  // namespace nuvexa::firebird
