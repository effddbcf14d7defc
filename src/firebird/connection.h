#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "firebird/client_library.h"
#include "firebird/firebird_error.h"
#include "firebird/handles.h"

namespace nuvexa::firebird {

class Connection;
class Statement;

// The value of the entry "Name=Value" of a parameter list whose name equals `name` without
// regard to case; the first such entry counts; "" when there is none.
std::string ParamValue(const std::vector<std::string>& params, std::string_view name);

// What isc_attach_database gets for a parameter list: "Server/Port:Database" for
// Protocol=TCPIP, with localhost for an empty server; "Server:Database" without a port or
// when the server names its own ("host/3051"); the database alone for any other protocol.
std::string ConnectionString(const std::vector<std::string>& params);

// The database parameter buffer: version 1, then User_Name, Password and CharacterSet
// (those that are not empty), SQLDialect (3 when missing or not a number) and
// isc_dpb_utf8_filename: the database's path and these texts are UTF-8.
std::string DatabaseParameterBuffer(const std::vector<std::string>& params);

// SQLDialect of a parameter list, 3 when missing or not a number.
int SqlDialect(const std::vector<std::string>& params);

// One of the two transactions of a connection. Statements start it when they need it and
// commit it as soon as they are done, so no change waits for a later commit.
class Transaction {
 public:
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

  bool Active() const { return static_cast<bool>(handle_); }

 private:
  friend class Connection;
  friend class TransactionScope;
  Transaction(Connection& connection, bool read_only) : connection_(connection), read_only_(read_only) {}

  void Start();
  void Commit();

  Connection& connection_;
  bool read_only_;
  TransactionHandle handle_;
};

// Runs one step of a statement in a transaction: starts it when it is not active and, when
// it did, commits it on Commit() or rolls it back if the step ends without committing.
class TransactionScope {
 public:
  explicit TransactionScope(Transaction& transaction);
  TransactionScope(const TransactionScope&) = delete;
  TransactionScope& operator=(const TransactionScope&) = delete;
  ~TransactionScope();

  void Commit();
  isc_tr_handle* Handle() { return transaction_.handle_.Get(); }

 private:
  Transaction& transaction_;
  bool owner_ = false;
};

// A Firebird connection set up from a parameter list ("Name=Value" entries: Database,
// User_Name, Password, Protocol, Server, Port, SQLDialect, CharacterSet; the others, such as
// DriverID, Pooled, ExtendedMetaData and OpenMode, change nothing: it never creates a
// database). A connection lost under a statement is re-established once and the statement
// run again once.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  std::vector<std::string>& Params() { return params_; }
  const std::vector<std::string>& Params() const { return params_; }
  std::string ParamValue(std::string_view name) const { return firebird::ParamValue(params_, name); }

  // Recorded only: nobody is ever asked for credentials.
  void SetLoginPrompt(bool login_prompt) { login_prompt_ = login_prompt; }
  bool LoginPrompt() const { return login_prompt_; }

  // The client library for the next Open (see ClientLibrary::Load); "" for the default.
  void SetVendorLib(std::string vendor_lib) { vendor_lib_ = std::move(vendor_lib); }
  const std::string& VendorLib() const { return vendor_lib_; }

  // Attaches with the current parameters; nothing when already connected. Throws
  // FirebirdError (server unreachable, database missing, login refused, no client library).
  void Open();
  // Closes the queries, unprepares the statements, commits what is still open and
  // detaches. Never throws: an attachment the server has dropped just goes.
  void Close();
  bool Connected() const { return static_cast<bool>(database_); }

  // isc_tpb_read, read committed with record versions, no wait: for every query.
  Transaction& TransReadOnly() { return read_only_; }
  // isc_tpb_write, read committed with record versions, no wait: for every change.
  Transaction& TransReadWrite() { return read_write_; }

  // The loaded client library; null before the first Open.
  const std::shared_ptr<ClientLibrary>& Library() const { return library_; }

 private:
  friend class Statement;
  friend class Transaction;

  // Runs `step` on an open connection (opening it when closed); when the connection turns
  // out to be lost, reconnects and runs it once more.
  template <typename Step>
  void RunWithReconnect(Step&& step);
  void Reconnect();
  void Attach();
  void ForgetHandles();

  std::vector<std::string> params_;
  bool login_prompt_ = true;
  std::string vendor_lib_;
  std::shared_ptr<ClientLibrary> library_;
  int dialect_ = 3;
  DatabaseHandle database_;
  Transaction read_only_{*this, true};
  Transaction read_write_{*this, false};
  std::vector<Statement*> statements_;  // registered by the statements themselves
};

template <typename Step>
void Connection::RunWithReconnect(Step&& step) {
  Open();
  try {
    step();
    return;
  } catch (const FirebirdError& error) {
    if (!error.ConnectionLost()) throw;
  }
  Reconnect();
  step();
}

}  // namespace nuvexa::firebird
