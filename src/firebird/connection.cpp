#include "firebird/connection.h"

#include <algorithm>
#include <charconv>

#include "firebird/statement.h"
#include "platform/code_page.h"

namespace nuvexa::firebird {
namespace {

// Read committed with record versions sees the latest committed row without waiting for
// writers; no wait, so a row locked by the management program fails at once instead of
// holding the cycle.
constexpr char kReadOnlyTpb[] = {isc_tpb_version3, isc_tpb_read, isc_tpb_read_committed, isc_tpb_rec_version,
                                 isc_tpb_nowait};
constexpr char kReadWriteTpb[] = {isc_tpb_version3, isc_tpb_write, isc_tpb_read_committed, isc_tpb_rec_version,
                                  isc_tpb_nowait};

// Firebird's "host/port" form; "host/service" names the port by its service name.
bool ServerNamesItsPort(std::string_view server) { return server.find('/') != std::string_view::npos; }

void AddDpbString(std::string& dpb, char tag, const std::string& value) {
  if (value.empty()) return;
  const std::size_t length = std::min<std::size_t>(value.size(), 255);
  dpb += tag;
  dpb += static_cast<char>(length);
  dpb.append(value, 0, length);
}

}  // namespace

std::string ParamValue(const std::vector<std::string>& params, std::string_view name) {
  for (const std::string& entry : params) {
    const std::size_t equals = entry.find('=');
    if (equals != std::string::npos && platform::EqualsNoCase(std::string_view(entry).substr(0, equals), name)) {
      return entry.substr(equals + 1);
    }
  }
  return "";
}

std::string ConnectionString(const std::vector<std::string>& params) {
  const std::string database = ParamValue(params, "Database");
  if (!platform::EqualsNoCase(ParamValue(params, "Protocol"), "TCPIP")) return database;
  std::string server = ParamValue(params, "Server");
  // a bare path would make the client open the file itself instead of asking the server
  if (server.empty()) server = "localhost";
  const std::string port = ParamValue(params, "Port");
  if (port.empty() || ServerNamesItsPort(server)) return server + ":" + database;
  return server + "/" + port + ":" + database;
}

int SqlDialect(const std::vector<std::string>& params) {
  const std::string text = ParamValue(params, "SQLDialect");
  int dialect = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), dialect);
  if (error != std::errc() || end != text.data() + text.size() || dialect < 1 || dialect > 3) return 3;
  return dialect;
}

std::string DatabaseParameterBuffer(const std::vector<std::string>& params) {
  std::string dpb(1, isc_dpb_version1);
  AddDpbString(dpb, isc_dpb_user_name, ParamValue(params, "User_Name"));
  AddDpbString(dpb, isc_dpb_password, ParamValue(params, "Password"));
  AddDpbString(dpb, isc_dpb_lc_ctype, ParamValue(params, "CharacterSet"));
  const int dialect = SqlDialect(params);
  dpb += static_cast<char>(isc_dpb_sql_dialect);
  dpb += static_cast<char>(4);
  for (int shift = 0; shift < 32; shift += 8) dpb += static_cast<char>((dialect >> shift) & 0xFF);
  // the database's path (and every text of this block) is UTF-8, as the file system holds it
  dpb += static_cast<char>(isc_dpb_utf8_filename);
  dpb += static_cast<char>(0);
  return dpb;
}

void Transaction::Start() {
  if (Active()) return;
  const std::string_view tpb = read_only_ ? std::string_view(kReadOnlyTpb, sizeof kReadOnlyTpb)
                                          : std::string_view(kReadWriteTpb, sizeof kReadWriteTpb);
  handle_ = TransactionHandle(connection_.library_, connection_.database_.Get(), tpb);
}

void Transaction::Commit() { handle_.Commit(); }

TransactionScope::TransactionScope(Transaction& transaction) : transaction_(transaction) {
  if (!transaction_.Active()) {
    transaction_.Start();
    owner_ = true;
  }
}

TransactionScope::~TransactionScope() {
  if (owner_) transaction_.handle_.Abandon();
}

void TransactionScope::Commit() {
  if (!owner_) return;
  transaction_.Commit();
  owner_ = false;
}

Connection::Connection() = default;

Connection::~Connection() {
  Close();
  for (Statement* statement : statements_) statement->connection_ = nullptr;
}

void Connection::Open() {
  if (!Connected()) Attach();
}

void Connection::Attach() {
  std::shared_ptr<ClientLibrary> library = ClientLibrary::Load(vendor_lib_);
  dialect_ = SqlDialect(params_);
  database_ = DatabaseHandle(library, ConnectionString(params_), DatabaseParameterBuffer(params_));
  library_ = std::move(library);
}

void Connection::Close() {
  for (Statement* statement : statements_) statement->ConnectionClosing();
  // statements commit as they finish, so an active transaction holds nothing unsaved
  for (Transaction* transaction : {&read_only_, &read_write_}) {
    try {
      transaction->Commit();
    } catch (const FirebirdError&) {
      transaction->handle_.Abandon();
    }
  }
  database_.Abandon();
}

void Connection::ForgetHandles() {
  // the results that queries hold stay: only the server's side is gone
  for (Statement* statement : statements_) statement->Unprepare();
  read_only_.handle_.Abandon();
  read_write_.handle_.Abandon();
  database_.Abandon();
}

void Connection::Reconnect() {
  ForgetHandles();
  Attach();
}

}  // namespace nuvexa::firebird
