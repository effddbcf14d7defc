#include "firebird/handles.h"

#include <utility>

#include <iberror.h>

#include "firebird/firebird_error.h"
#include "platform/code_page.h"

namespace nuvexa::firebird {
namespace {

// The transaction existence block of isc_start_multiple; `long` matches both the old
// documented layout and the 64-bit client's int length on little-endian machines.
struct TransactionExistenceBlock {
  isc_db_handle* database;
  long tpb_length;
  const char* tpb;
};

}  // namespace

DatabaseHandle::DatabaseHandle(std::shared_ptr<ClientLibrary> library, const std::string& database,
                               const std::string& dpb)
    : library_(std::move(library)) {
  ISC_STATUS_ARRAY status{};
  {
    const auto lock = library_->LockForAttach();
    // the client converts the name from the thread's code set, and keeps the converter that
    // its first attachment made: that code set must be UTF-8, as the name is
    const platform::Utf8CodeSetScope utf8_names;
    library_->isc_attach_database(status, static_cast<short>(database.size()), database.data(), &handle_,
                                  static_cast<short>(dpb.size()), dpb.data());
  }
  if (IsErrorStatus(status)) {
    handle_ = 0;
    throw FirebirdError::FromStatus(*library_, status);
  }
}

DatabaseHandle::DatabaseHandle(DatabaseHandle&& other) noexcept
    : library_(std::move(other.library_)), handle_(std::exchange(other.handle_, 0)) {}

DatabaseHandle& DatabaseHandle::operator=(DatabaseHandle&& other) noexcept {
  if (this != &other) {
    Abandon();
    library_ = std::move(other.library_);
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void DatabaseHandle::Abandon() noexcept {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  const auto lock = library_->LockForAttach();
  library_->isc_detach_database(status, &handle_);
  handle_ = 0;
}

TransactionHandle::TransactionHandle(std::shared_ptr<ClientLibrary> library, isc_db_handle* database,
                                     std::string_view tpb)
    : library_(std::move(library)) {
  TransactionExistenceBlock block{database, static_cast<long>(tpb.size()), tpb.data()};
  ISC_STATUS_ARRAY status{};
  library_->isc_start_multiple(status, &handle_, 1, &block);
  if (IsErrorStatus(status)) {
    handle_ = 0;
    throw FirebirdError::FromStatus(*library_, status);
  }
}

TransactionHandle::TransactionHandle(TransactionHandle&& other) noexcept
    : library_(std::move(other.library_)), handle_(std::exchange(other.handle_, 0)) {}

TransactionHandle& TransactionHandle::operator=(TransactionHandle&& other) noexcept {
  if (this != &other) {
    Abandon();
    library_ = std::move(other.library_);
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void TransactionHandle::Commit() {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  library_->isc_commit_transaction(status, &handle_);
  CheckStatus(*library_, status);
  handle_ = 0;
}

void TransactionHandle::Abandon() noexcept {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  library_->isc_rollback_transaction(status, &handle_);
  handle_ = 0;
}

StatementHandle::StatementHandle(std::shared_ptr<ClientLibrary> library, isc_db_handle* database)
    : library_(std::move(library)) {
  ISC_STATUS_ARRAY status{};
  library_->isc_dsql_allocate_statement(status, database, &handle_);
  if (IsErrorStatus(status)) {
    handle_ = 0;
    throw FirebirdError::FromStatus(*library_, status);
  }
}

StatementHandle::StatementHandle(StatementHandle&& other) noexcept
    : library_(std::move(other.library_)), handle_(std::exchange(other.handle_, 0)) {}

StatementHandle& StatementHandle::operator=(StatementHandle&& other) noexcept {
  if (this != &other) {
    Abandon();
    library_ = std::move(other.library_);
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

void StatementHandle::CloseCursor() {
  ISC_STATUS_ARRAY status{};
  library_->isc_dsql_free_statement(status, &handle_, DSQL_close);
  CheckStatus(*library_, status);
}

void StatementHandle::Abandon() noexcept {
  if (handle_ == 0) return;
  ISC_STATUS_ARRAY status{};
  library_->isc_dsql_free_statement(status, &handle_, DSQL_drop);
  handle_ = 0;
}

BlobHandle::BlobHandle(std::shared_ptr<ClientLibrary> library, isc_db_handle* database,
                       isc_tr_handle* transaction, ISC_QUAD* id)
    : library_(std::move(library)) {
  ISC_STATUS_ARRAY status{};
  library_->isc_open_blob2(status, database, transaction, &handle_, id, 0, nullptr);
  if (IsErrorStatus(status)) {
    handle_ = 0;
    throw FirebirdError::FromStatus(*library_, status);
  }
}

BlobHandle::BlobHandle(BlobHandle&& other) noexcept
    : library_(std::move(other.library_)), handle_(std::exchange(other.handle_, 0)) {}

BlobHandle::~BlobHandle() {
  ISC_STATUS_ARRAY status{};
  if (handle_ != 0) library_->isc_close_blob(status, &handle_);
}

std::string BlobHandle::ReadAll() {
  std::string content;
  char segment[32768];
  for (;;) {
    ISC_STATUS_ARRAY status{};
    unsigned short length = 0;
    const ISC_STATUS result = library_->isc_get_segment(status, &handle_, &length, sizeof segment, segment);
    // isc_segment: a part of a segment larger than the buffer; more follows
    if (result == isc_segstr_eof) break;
    if (result != 0 && result != isc_segment) CheckStatus(*library_, status);
    content.append(segment, length);
  }
  return content;
}

}  // namespace nuvexa::firebird
