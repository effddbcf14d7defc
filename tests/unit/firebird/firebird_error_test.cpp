#include "firebird/firebird_error.h"

#include <gtest/gtest.h>
#include <iberror.h>

namespace nuvexa::firebird {
namespace {

TEST(FirebirdError, OnlyANonZeroStatusWithClearTopBitsIsAnError) {
  struct Case { const char* why; ISC_STATUS status[6]; bool error; };
  const Case kCases[] = {
      {"success", {isc_arg_gds, 0, isc_arg_end}, false},
      {"a login failure", {isc_arg_gds, isc_login, isc_arg_end}, true},
      {"a warning after success", {isc_arg_gds, 0, isc_arg_warning, isc_dsql_no_output_sqlda, isc_arg_end}, false},
      {"bit 30 set is a warning severity", {isc_arg_gds, 0x40000001, isc_arg_end}, false},
      {"bit 31 set is an informational severity", {isc_arg_gds, static_cast<ISC_STATUS>(0x80000001u), isc_arg_end},
       false},
      {"any other code is an error", {isc_arg_gds, 1, isc_arg_end}, true},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsErrorStatus(c.status), c.error) << c.why;
}

TEST(FirebirdError, ErrorCodesSkipArgumentsAndStopAtWarnings) {
  const char* text = "TABLE";
  const ISC_STATUS status[] = {isc_arg_gds,     isc_dsql_error,
                               isc_arg_gds,     isc_dsql_relation_err,
                               isc_arg_string,  reinterpret_cast<ISC_STATUS>(text),
                               isc_arg_cstring, 5,
                               reinterpret_cast<ISC_STATUS>(text), isc_arg_number,
                               isc_arg_gds,     // a number argument whose value looks like a tag
                               isc_arg_gds,     isc_random,
                               isc_arg_warning, isc_network_error,
                               isc_arg_end};
  EXPECT_EQ(ErrorCodes(status), (std::vector<ISC_STATUS>{isc_dsql_error, isc_dsql_relation_err, isc_random}));
}

TEST(FirebirdError, ConnectionLossIsRecognisedAnywhereInTheCodes) {
  struct Case { const char* why; std::vector<ISC_STATUS> codes; bool lost; };
  const Case kCases[] = {
      {"server restarted under a read", {isc_network_error, isc_net_read_err}, true},
      {"attachment killed by an administrator", {isc_att_shutdown}, true},
      {"connection lost to the database", {isc_lost_db_connection}, true},
      {"the lost code second", {isc_random, isc_conn_lost}, true},
      {"a wrong password is no connection loss", {isc_login}, false},
      {"a missing table is no connection loss", {isc_dsql_error, isc_dsql_relation_err}, false},
      {"nothing", {}, false},
  };
  for (const auto& c : kCases) EXPECT_EQ(IsConnectionLost(c.codes), c.lost) << c.why;
}

TEST(FirebirdError, MessageJoinsLinesWithCrLfAfterThePrefix) {
  struct Case {
    const char* why;
    std::vector<std::string> lines;
    std::optional<std::string> sql_line;
    std::string message;
  };
  const Case kCases[] = {
      {"one line", {"Your user name and password are not defined."}, std::nullopt,
       "[FireDAC][Phys][FB]Your user name and password are not defined."},
      {"lines and the SQL code's text",
       {"Dynamic SQL Error", "SQL error code = -204", "Table unknown"},
       "Undefined name",
       "[FireDAC][Phys][FB]Dynamic SQL Error\r\nSQL error code = -204\r\nTable unknown\r\nUndefined name"},
      {"ISO 8859-1 text becomes UTF-8", {"arquivo n\xE3o encontrado"}, std::nullopt,
       "[FireDAC][Phys][FB]arquivo n\xC3\xA3o encontrado"},
      {"an empty line keeps its place", {"first", "", "third"}, std::nullopt, "[FireDAC][Phys][FB]first\r\n\r\nthird"},
      {"no lines at all", {}, std::nullopt, "[FireDAC][Phys][FB]"},
  };
  for (const auto& c : kCases) EXPECT_EQ(FormatErrorMessage(c.lines, c.sql_line), c.message) << c.why;
}

TEST(FirebirdError, AnErrorOfTheLayerItselfCarriesThePrefixAndNoCode) {
  const FirebirdError error("Field [X] not found.");
  EXPECT_STREQ(error.what(), "[FireDAC][Phys][FB]Field [X] not found.");
  EXPECT_EQ(error.ErrorCode(), 0);
  EXPECT_FALSE(error.ConnectionLost());
}

}  // namespace
}  // namespace nuvexa::firebird
