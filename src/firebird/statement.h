#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "firebird/connection.h"
#include "firebird/handles.h"
#include "firebird/named_params.h"
#include "firebird/sql_descriptor.h"
#include "firebird/sql_value.h"

namespace nuvexa::firebird {

// A column of a row edit and the value it receives.
struct ColumnValue {
  std::string column;
  Value value;
};

// What a statement on a connection has in common: its text with named parameters
// (":NAME"), their values, and the prepared statement on the server. Texts go to the server
// in ISO 8859-1; a text parameter that is empty goes as NULL, and one longer than the column
// it is compared with or written to is cut to the column's length.
class Statement {
 public:
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  virtual ~Statement();

  // Replaces the text; the statement is closed and unprepared, and its parameters, all
  // NULL, are the names in the new text.
  void SetSql(std::string_view sql);
  const std::string& Sql() const { return sql_; }

  // The parameter of that name (without regard to case), to read or assign. Throws
  // FirebirdError when the text has no such parameter.
  Value& ParamByName(std::string_view name);

  // Prepares on the server (connecting first when needed); nothing when prepared. Closing
  // the connection, or a reconnection, unprepares; running prepares again.
  void Prepare();
  bool Prepared() const { return static_cast<bool>(handle_); }
  void Unprepare();

 protected:
  Statement(Connection& connection, std::string_view sql);

  Connection& GetConnection() const;
  template <typename Step>
  void RunWithReconnect(Step&& step) {
    GetConnection().RunWithReconnect(std::forward<Step>(step));
  }
  // A blob of the current row, read in the step's transaction.
  BlobHandle OpenBlob(TransactionScope& transaction, ISC_QUAD* id) const;
  // Prepares inside a transaction of the caller, when not prepared.
  void PrepareIn(TransactionScope& transaction);
  // Binds the parameters and executes; `output` receives the row of an EXECUTE PROCEDURE.
  void ExecuteIn(TransactionScope& transaction, SqlDescriptor* output);
  bool ReturnsCursor() const;
  bool ReturnsSingleRow() const;
  ClientLibrary& Library() const { return *GetConnection().Library(); }

  // Drops what an open statement holds (a query's rows) when it closes with its connection.
  virtual void DropResults() {}

  StatementHandle handle_;
  SqlDescriptor output_;

 private:
  friend class Connection;
  void ConnectionClosing();

  Connection* connection_;
  std::string sql_;
  MarkedSql marked_;
  std::vector<std::pair<std::string, Value>> params_;  // one per distinct name
  std::vector<std::size_t> marker_params_;              // for each marker, its entry in params_
  SqlDescriptor input_;
  std::vector<XSQLVAR> described_markers_;  // as the server described them, before binding
  int statement_type_ = 0;
};

// A field of the current row of a query. Without a current row (the query is empty, at its
// end or closed) every field reads as NULL.
class Field {
 public:
  Field(const std::string& name, const Value& value) : name_(&name), value_(&value) {}

  const std::string& FieldName() const { return *name_; }
  const Value& GetValue() const { return *value_; }
  bool IsNull() const { return value_->IsNull(); }
  std::string AsString() const { return value_->AsString(); }
  std::int32_t AsInteger() const { return value_->AsInteger(); }
  std::int64_t AsLargeInt() const { return value_->AsLargeInt(); }
  platform::TDateTime AsDateTime() const { return value_->AsDateTime(); }

 private:
  const std::string* name_;
  const Value* value_;
};

// A SELECT (or an EXECUTE PROCEDURE that returns values) on a connection, run in its
// read-only transaction. Open reads every row and commits at once, so no transaction stays
// open while the caller works through the rows.
class Query : public Statement {
 public:
  explicit Query(Connection& connection, std::string_view sql = {});

  // Connects first when needed; nothing when open.
  void Open();
  void Close();
  // Reads the rows afresh (opens when closed).
  void Refresh();
  bool Active() const { return active_; }

  bool Eof() const { return !active_ || row_ >= rows_.size(); }
  void Next();
  std::size_t RecordCount() const { return rows_.size(); }

  int FieldCount() const { return static_cast<int>(columns_.size()); }
  // Throws FirebirdError for a name that is not a column of the query.
  Field FieldByName(std::string_view name) const;
  Field Fields(int index) const;

  // Writes changed columns of the current row: UPDATE `table` SET ... WHERE `key_column` =
  // the row's key value, in the read-write transaction, committed at once; the row then
  // holds the new values. Throws FirebirdError when no row was updated.
  void Post(std::string_view table, std::string_view key_column, const std::vector<ColumnValue>& changes);

 private:
  struct Column {
    std::string name;
    XSQLVAR described;
  };
  void DropResults() override { Close(); }
  void OpenOnce();
  std::vector<Value> ReadRow(TransactionScope& transaction);
  int ColumnIndex(std::string_view name) const;

  std::vector<Column> columns_;
  std::vector<std::vector<Value>> rows_;
  std::size_t row_ = 0;
  bool active_ = false;
};

// A statement that changes data, run in the connection's read-write transaction and
// committed as it completes.
class Command : public Statement {
 public:
  explicit Command(Connection& connection, std::string_view sql = {});

  // Prepares when needed, executes and commits.
  void Execute();
  // Rows inserted, updated or deleted by the last Execute.
  std::int64_t RowsAffected() const { return rows_affected_; }

 private:
  std::int64_t CountRowsAffected();

  std::int64_t rows_affected_ = 0;
};

// Runs UPDATE `table` SET `column` = ?, ... WHERE `key_column` = ? on the connection, in
// its read-write transaction, committed at once. Returns the number of rows updated;
// nothing is run, and 0 returned, without changes.
std::int64_t UpdateRow(Connection& connection, std::string_view table, std::string_view key_column, const Value& key,
                       const std::vector<ColumnValue>& changes);

// Runs INSERT INTO `table` (`column`, ...) VALUES (?, ...) on the connection, in its
// read-write transaction, committed at once.
void InsertRow(Connection& connection, std::string_view table, const std::vector<ColumnValue>& values);

}  // namespace nuvexa::firebird
