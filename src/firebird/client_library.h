#pragma once

#include <ibase.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/dynamic_library.h"

namespace nuvexa::firebird {

// The name under which the system asks for the client library everywhere.
inline constexpr const char* kDefaultVendorLib = "fbclient.dll";
// What that name means on this platform, unless $NUVEXA_FBCLIENT names another file.
inline constexpr const char* kDefaultClientLibrary = platform::kFirebirdClientLibrary;

// The file to load for a vendor library setting: the setting itself, unless it is empty or
// the system's usual "fbclient.dll"; then `environment_override` ($NUVEXA_FBCLIENT) when
// set, else kDefaultClientLibrary.
std::string ClientLibraryFileName(std::string_view vendor_lib, const char* environment_override);

// The Firebird client library, loaded at run time, with the entry points the system calls.
// One instance per file name, shared by the connections and the service requests.
class ClientLibrary {
  struct ConstructionKey {
    explicit ConstructionKey() = default;
  };

 public:
  // The loaded library for this vendor library setting (see ClientLibraryFileName), loading
  // it on first use. Throws FirebirdError when the file or one of its entry points is missing.
  static std::shared_ptr<ClientLibrary> Load(std::string_view vendor_lib = {});

  // Resolves the entry points; Load() is the way in.
  ClientLibrary(ConstructionKey, platform::DynamicLibrary library);
  ClientLibrary(const ClientLibrary&) = delete;
  ClientLibrary& operator=(const ClientLibrary&) = delete;

  const std::string& FileName() const { return library_.Name(); }
  int MajorVersion() const { return major_version_; }
  // Clients older than 2.0 share state between attachments without locking.
  bool ThreadSafe() const { return major_version_ >= 2; }
  // Serialises attaching and detaching (databases and services) for a client that is not
  // thread-safe; holds nothing otherwise.
  std::unique_lock<std::mutex> LockForAttach();

  decltype(&::isc_attach_database) isc_attach_database = nullptr;
  decltype(&::isc_detach_database) isc_detach_database = nullptr;
  decltype(&::isc_start_multiple) isc_start_multiple = nullptr;
  decltype(&::isc_commit_transaction) isc_commit_transaction = nullptr;
  decltype(&::isc_rollback_transaction) isc_rollback_transaction = nullptr;
  decltype(&::isc_dsql_allocate_statement) isc_dsql_allocate_statement = nullptr;
  decltype(&::isc_dsql_prepare) isc_dsql_prepare = nullptr;
  decltype(&::isc_dsql_describe) isc_dsql_describe = nullptr;
  decltype(&::isc_dsql_describe_bind) isc_dsql_describe_bind = nullptr;
  decltype(&::isc_dsql_execute) isc_dsql_execute = nullptr;
  decltype(&::isc_dsql_execute2) isc_dsql_execute2 = nullptr;
  decltype(&::isc_dsql_fetch) isc_dsql_fetch = nullptr;
  decltype(&::isc_dsql_free_statement) isc_dsql_free_statement = nullptr;
  decltype(&::isc_dsql_sql_info) isc_dsql_sql_info = nullptr;
  decltype(&::isc_open_blob2) isc_open_blob2 = nullptr;
  decltype(&::isc_get_segment) isc_get_segment = nullptr;
  decltype(&::isc_close_blob) isc_close_blob = nullptr;
  decltype(&::isc_service_attach) isc_service_attach = nullptr;
  decltype(&::isc_service_start) isc_service_start = nullptr;
  decltype(&::isc_service_query) isc_service_query = nullptr;
  decltype(&::isc_service_detach) isc_service_detach = nullptr;
  decltype(&::fb_interpret) fb_interpret = nullptr;  // null in clients before 2.0
  // declared deprecated in ibase.h; older clients have nothing else
  ISC_LONG (*isc_interprete)(ISC_SCHAR*, ISC_STATUS**) = nullptr;
  decltype(&::isc_sqlcode) isc_sqlcode = nullptr;
  decltype(&::isc_sql_interprete) isc_sql_interprete = nullptr;
  decltype(&::fb_sqlstate) fb_sqlstate = nullptr;  // null in clients before 2.5
  decltype(&::isc_get_client_major_version) isc_get_client_major_version = nullptr;
  decltype(&::isc_vax_integer) isc_vax_integer = nullptr;

 private:
  enum class Need { Required, Optional };
  template <typename Function>
  void Resolve(Function& entry, const char* name, Need need = Need::Required);

  platform::DynamicLibrary library_;
  int major_version_ = 0;
  std::mutex attach_mutex_;
};

}  // namespace nuvexa::firebird
