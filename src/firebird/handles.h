#pragma once

#include <ibase.h>

#include <memory>
#include <string>
#include <string_view>

#include "firebird/client_library.h"

// Owners of the client library's handles: a handle still held when its owner goes is
// released quietly (the error of a release that fails then has nowhere to go), so a failure
// midway never leaves one behind. The explicit calls report their errors as FirebirdError.
namespace nuvexa::firebird {

class DatabaseHandle {
 public:
  DatabaseHandle() = default;
  // isc_attach_database with a database parameter buffer.
  DatabaseHandle(std::shared_ptr<ClientLibrary> library, const std::string& database, const std::string& dpb);
  DatabaseHandle(DatabaseHandle&& other) noexcept;
  DatabaseHandle& operator=(DatabaseHandle&& other) noexcept;
  ~DatabaseHandle() { Abandon(); }

  // Detaches ignoring errors: the attachment may be gone already, and a closing connection
  // has nobody to report to.
  void Abandon() noexcept;

  explicit operator bool() const { return handle_ != 0; }
  isc_db_handle* Get() { return &handle_; }

 private:
  std::shared_ptr<ClientLibrary> library_;
  isc_db_handle handle_ = 0;
};

class TransactionHandle {
 public:
  TransactionHandle() = default;
  // isc_start_multiple on one database with a transaction parameter buffer.
  TransactionHandle(std::shared_ptr<ClientLibrary> library, isc_db_handle* database, std::string_view tpb);
  TransactionHandle(TransactionHandle&& other) noexcept;
  TransactionHandle& operator=(TransactionHandle&& other) noexcept;
  ~TransactionHandle() { Abandon(); }

  // On failure the transaction stays active, for the caller to roll back.
  void Commit();
  // Rolls back ignoring errors.
  void Abandon() noexcept;

  explicit operator bool() const { return handle_ != 0; }
  isc_tr_handle* Get() { return &handle_; }

 private:
  std::shared_ptr<ClientLibrary> library_;
  isc_tr_handle handle_ = 0;
};

class StatementHandle {
 public:
  StatementHandle() = default;
  // isc_dsql_allocate_statement.
  StatementHandle(std::shared_ptr<ClientLibrary> library, isc_db_handle* database);
  StatementHandle(StatementHandle&& other) noexcept;
  StatementHandle& operator=(StatementHandle&& other) noexcept;
  ~StatementHandle() { Abandon(); }

  // Closes the open cursor, keeping the prepared statement.
  void CloseCursor();
  // Frees the statement, ignoring errors.
  void Abandon() noexcept;

  explicit operator bool() const { return handle_ != 0; }
  isc_stmt_handle* Get() { return &handle_; }

 private:
  std::shared_ptr<ClientLibrary> library_;
  isc_stmt_handle handle_ = 0;
};

class BlobHandle {
 public:
  // isc_open_blob2 for reading.
  BlobHandle(std::shared_ptr<ClientLibrary> library, isc_db_handle* database, isc_tr_handle* transaction,
             ISC_QUAD* id);
  BlobHandle(BlobHandle&& other) noexcept;
  BlobHandle& operator=(BlobHandle&&) = delete;
  ~BlobHandle();

  // The whole content, segment by segment.
  std::string ReadAll();

 private:
  std::shared_ptr<ClientLibrary> library_;
  isc_blob_handle handle_ = 0;
};

}  // namespace nuvexa::firebird
