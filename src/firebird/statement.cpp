#include "firebird/statement.h"

#include <algorithm>

#include "firebird/firebird_error.h"
#include "platform/code_page.h"

namespace nuvexa::firebird {
namespace {

// Room for the usual statement; a bigger one is described again with the count the server gave.
constexpr int kInitialDescriptorCapacity = 16;
constexpr ISC_STATUS kEndOfCursor = 100;

bool IsTextType(const XSQLVAR& column) {
  const int type = column.sqltype & ~1;
  return type == SQL_TEXT || type == SQL_VARYING;
}

// The value a column holds after `value` was written to it.
Value AsWritten(const Value& value, const XSQLVAR& column) {
  if (!value.IsText()) return value;
  std::string bytes = platform::FromUtf8(value.AsString(), platform::CodePage::Iso8859_1);
  if (IsTextType(column) && bytes.size() > static_cast<std::size_t>(column.sqllen)) bytes.resize(column.sqllen);
  if (bytes.empty()) return Value::Null();
  return Value::Text(platform::ToUtf8(bytes, platform::CodePage::Iso8859_1));
}

std::string ColumnName(const XSQLVAR& column) {
  return platform::ToUtf8(std::string_view(column.aliasname, static_cast<std::size_t>(column.aliasname_length)),
                          platform::CodePage::Iso8859_1);
}

const Value kNullValue;

}  // namespace

Statement::Statement(Connection& connection, std::string_view sql) : connection_(&connection) {
  connection.statements_.push_back(this);
  SetSql(sql);
}

Statement::~Statement() {
  if (connection_ != nullptr) std::erase(connection_->statements_, this);
}

Connection& Statement::GetConnection() const {
  if (connection_ == nullptr) throw FirebirdError("The connection of this statement no longer exists.");
  return *connection_;
}

void Statement::SetSql(std::string_view sql) {
  DropResults();
  Unprepare();
  sql_ = std::string(sql);
  marked_ = MarkNamedParams(sql_);
  params_.clear();
  marker_params_.clear();
  for (const std::string& name : marked_.markers) {
    const auto same = std::find_if(params_.begin(), params_.end(),
                                   [&name](const auto& param) { return platform::EqualsNoCase(param.first, name); });
    marker_params_.push_back(static_cast<std::size_t>(same - params_.begin()));
    if (same == params_.end()) params_.emplace_back(name, Value::Null());
  }
}

Value& Statement::ParamByName(std::string_view name) {
  for (auto& [param_name, value] : params_) {
    if (platform::EqualsNoCase(param_name, name)) return value;
  }
  throw FirebirdError("Parameter [" + std::string(name) + "] not found.");
}

BlobHandle Statement::OpenBlob(TransactionScope& transaction, ISC_QUAD* id) const {
  Connection& connection = GetConnection();
  return BlobHandle(connection.library_, connection.database_.Get(), transaction.Handle(), id);
}

void Statement::Prepare() {
  if (Prepared()) return;
  Connection& connection = GetConnection();
  RunWithReconnect([&] {
    TransactionScope transaction(connection.TransReadOnly());
    PrepareIn(transaction);
    transaction.Commit();
  });
}

void Statement::Unprepare() {
  handle_.Abandon();
  output_ = SqlDescriptor();
  input_ = SqlDescriptor();
  described_markers_.clear();
  statement_type_ = 0;
}

void Statement::ConnectionClosing() {
  DropResults();
  Unprepare();
}

void Statement::PrepareIn(TransactionScope& transaction) {
  if (Prepared()) return;
  Connection& connection = GetConnection();
  ClientLibrary& library = *connection.library_;
  StatementHandle handle(connection.library_, connection.database_.Get());
  ISC_STATUS_ARRAY status{};

  const std::string text = platform::FromUtf8(marked_.sql, platform::CodePage::Iso8859_1);
  SqlDescriptor output(kInitialDescriptorCapacity);
  library.isc_dsql_prepare(status, transaction.Handle(), handle.Get(), static_cast<unsigned short>(text.size()),
                           text.data(), static_cast<unsigned short>(connection.dialect_), output.Get());
  CheckStatus(library, status);
  if (output.Count() > output.Capacity()) {
    output = SqlDescriptor(output.Count());
    library.isc_dsql_describe(status, handle.Get(), SQLDA_VERSION1, output.Get());
    CheckStatus(library, status);
  }
  output.AllocateForOutput();

  SqlDescriptor input(kInitialDescriptorCapacity);
  library.isc_dsql_describe_bind(status, handle.Get(), SQLDA_VERSION1, input.Get());
  CheckStatus(library, status);
  if (input.Count() > input.Capacity()) {
    input = SqlDescriptor(input.Count());
    library.isc_dsql_describe_bind(status, handle.Get(), SQLDA_VERSION1, input.Get());
    CheckStatus(library, status);
  }
  if (static_cast<std::size_t>(input.Count()) != marked_.markers.size()) {
    throw FirebirdError("The statement has " + std::to_string(input.Count()) + " parameter markers for " +
                        std::to_string(marked_.markers.size()) + " named parameters.");
  }

  const char request[] = {isc_info_sql_stmt_type};
  char reply[16] = {};
  library.isc_dsql_sql_info(status, handle.Get(), sizeof request, request, sizeof reply, reply);
  CheckStatus(library, status);
  int statement_type = 0;
  if (reply[0] == isc_info_sql_stmt_type) {
    const short length = static_cast<short>(library.isc_vax_integer(reply + 1, 2));
    statement_type = static_cast<int>(library.isc_vax_integer(reply + 3, length));
  }

  described_markers_.clear();
  for (int i = 0; i < input.Count(); ++i) described_markers_.push_back(input[i]);
  handle_ = std::move(handle);
  output_ = std::move(output);
  input_ = std::move(input);
  statement_type_ = statement_type;
}

void Statement::ExecuteIn(TransactionScope& transaction, SqlDescriptor* output) {
  for (std::size_t i = 0; i < marker_params_.size(); ++i) {
    input_.Bind(static_cast<int>(i), BindParam(params_[marker_params_[i]].second, described_markers_[i]));
  }
  const XSQLDA* input = marker_params_.empty() ? nullptr : input_.Get();
  ClientLibrary& library = Library();
  ISC_STATUS_ARRAY status{};
  if (output != nullptr) {
    library.isc_dsql_execute2(status, transaction.Handle(), handle_.Get(), SQLDA_VERSION1, input, output->Get());
  } else {
    library.isc_dsql_execute(status, transaction.Handle(), handle_.Get(), SQLDA_VERSION1, input);
  }
  CheckStatus(library, status);
}

bool Statement::ReturnsCursor() const {
  return statement_type_ == isc_info_sql_stmt_select || statement_type_ == isc_info_sql_stmt_select_for_upd;
}

bool Statement::ReturnsSingleRow() const {
  return statement_type_ == isc_info_sql_stmt_exec_procedure && output_.Count() > 0;
}

Query::Query(Connection& connection, std::string_view sql) : Statement(connection, sql) {}

void Query::Open() {
  if (active_) return;
  RunWithReconnect([this] { OpenOnce(); });
}

void Query::OpenOnce() {
  rows_.clear();
  row_ = 0;
  Connection& connection = GetConnection();
  TransactionScope transaction(connection.TransReadOnly());
  PrepareIn(transaction);
  columns_.clear();
  for (int i = 0; i < output_.Count(); ++i) columns_.push_back({ColumnName(output_[i]), output_[i]});

  if (ReturnsSingleRow()) {
    ExecuteIn(transaction, &output_);
    rows_.push_back(ReadRow(transaction));
  } else {
    ExecuteIn(transaction, nullptr);
    if (ReturnsCursor()) {
      ClientLibrary& library = Library();
      for (;;) {
        ISC_STATUS_ARRAY status{};
        if (library.isc_dsql_fetch(status, handle_.Get(), SQLDA_VERSION1, output_.Get()) == kEndOfCursor) break;
        CheckStatus(library, status);
        rows_.push_back(ReadRow(transaction));
      }
      handle_.CloseCursor();
    }
  }
  transaction.Commit();
  active_ = true;
}

std::vector<Value> Query::ReadRow(TransactionScope& transaction) {
  std::vector<Value> row;
  row.reserve(static_cast<std::size_t>(output_.Count()));
  for (int i = 0; i < output_.Count(); ++i) {
    XSQLVAR& column = output_[i];
    const bool null = (column.sqltype & 1) != 0 && *column.sqlind < 0;
    if ((column.sqltype & ~1) == SQL_BLOB && !null) {
      // the row holds only the blob's id: its content is read in the same transaction
      std::string content = OpenBlob(transaction, reinterpret_cast<ISC_QUAD*>(column.sqldata)).ReadAll();
      row.push_back(Value::Text(column.sqlsubtype == isc_blob_text
                                    ? platform::ToUtf8(content, platform::CodePage::Iso8859_1)
                                    : std::move(content)));
    } else {
      row.push_back(DecodeColumn(column));
    }
  }
  return row;
}

void Query::Close() {
  active_ = false;
  rows_.clear();
  row_ = 0;
}

void Query::Refresh() {
  Close();
  Open();
}

void Query::Next() {
  if (!Eof()) ++row_;
}

int Query::ColumnIndex(std::string_view name) const {
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    if (platform::EqualsNoCase(columns_[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

Field Query::FieldByName(std::string_view name) const {
  const int index = ColumnIndex(name);
  if (index < 0) throw FirebirdError("Field [" + std::string(name) + "] not found.");
  return Fields(index);
}

Field Query::Fields(int index) const {
  if (index < 0 || index >= FieldCount()) {
    throw FirebirdError("Field index [" + std::to_string(index) + "] out of range.");
  }
  const auto column = static_cast<std::size_t>(index);
  return Field(columns_[column].name, Eof() ? kNullValue : rows_[row_][column]);
}

void Query::Post(std::string_view table, std::string_view key_column, const std::vector<ColumnValue>& changes) {
  if (Eof()) throw FirebirdError("There is no current row to post.");
  const Value key = FieldByName(key_column).GetValue();
  if (UpdateRow(GetConnection(), table, key_column, key, changes) == 0) {
    throw FirebirdError("Update command updated [0] instead of [1] record.");
  }
  for (const ColumnValue& change : changes) {
    const int index = ColumnIndex(change.column);
    if (index >= 0) {
      const auto column = static_cast<std::size_t>(index);
      rows_[row_][column] = AsWritten(change.value, columns_[column].described);
    }
  }
}

Command::Command(Connection& connection, std::string_view sql) : Statement(connection, sql) {}

void Command::Execute() {
  RunWithReconnect([this] {
    TransactionScope transaction(GetConnection().TransReadWrite());
    PrepareIn(transaction);
    ExecuteIn(transaction, ReturnsSingleRow() ? &output_ : nullptr);
    if (ReturnsCursor()) handle_.CloseCursor();
    rows_affected_ = CountRowsAffected();
    transaction.Commit();
  });
}

std::int64_t Command::CountRowsAffected() {
  ClientLibrary& library = Library();
  const char request[] = {isc_info_sql_records};
  char reply[64] = {};
  ISC_STATUS_ARRAY status{};
  library.isc_dsql_sql_info(status, handle_.Get(), sizeof request, request, sizeof reply, reply);
  CheckStatus(library, status);
  if (reply[0] != isc_info_sql_records) return 0;
  std::int64_t count = 0;
  // items of a tag, a 2-byte length and a number, until isc_info_end
  const char* item = reply + 3;
  const char* const end = reply + sizeof reply;
  while (item + 3 <= end && *item != isc_info_end) {
    const short length = static_cast<short>(library.isc_vax_integer(item + 1, 2));
    if (item + 3 + length > end) break;
    const char tag = *item;
    if (tag == isc_info_req_insert_count || tag == isc_info_req_update_count || tag == isc_info_req_delete_count) {
      count += library.isc_vax_integer(item + 3, length);
    }
    item += 3 + length;
  }
  return count;
}

std::int64_t UpdateRow(Connection& connection, std::string_view table, std::string_view key_column, const Value& key,
                       const std::vector<ColumnValue>& changes) {
  if (changes.empty()) return 0;
  std::string sql = "UPDATE " + std::string(table) + " SET ";
  for (std::size_t i = 0; i < changes.size(); ++i) {
    sql += (i == 0 ? "" : ", ") + changes[i].column + " = :P" + std::to_string(i);
  }
  sql += " WHERE " + std::string(key_column) + " = :KEY";
  Command command(connection, sql);
  for (std::size_t i = 0; i < changes.size(); ++i) command.ParamByName("P" + std::to_string(i)) = changes[i].value;
  command.ParamByName("KEY") = key;
  command.Execute();
  return command.RowsAffected();
}

void InsertRow(Connection& connection, std::string_view table, const std::vector<ColumnValue>& values) {
  std::string columns;
  std::string markers;
  for (std::size_t i = 0; i < values.size(); ++i) {
    columns += (i == 0 ? "" : ", ") + values[i].column;
    markers += (i == 0 ? ":P" : ", :P") + std::to_string(i);
  }
  Command command(connection, "INSERT INTO " + std::string(table) + " (" + columns + ") VALUES (" + markers + ")");
  for (std::size_t i = 0; i < values.size(); ++i) command.ParamByName("P" + std::to_string(i)) = values[i].value;
  command.Execute();
}

}  // namespace nuvexa::firebird
