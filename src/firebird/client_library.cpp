#include "firebird/client_library.h"

#include <cstdlib>
#include <map>

#include "firebird/firebird_error.h"
#include "platform/code_page.h"

namespace nuvexa::firebird {

std::string ClientLibraryFileName(std::string_view vendor_lib, const char* environment_override) {
  if (!vendor_lib.empty() && !platform::EqualsNoCase(vendor_lib, kDefaultVendorLib)) return std::string(vendor_lib);
  if (environment_override != nullptr && *environment_override != '\0') return environment_override;
  return kDefaultClientLibrary;
}

std::shared_ptr<ClientLibrary> ClientLibrary::Load(std::string_view vendor_lib) {
  const std::string file_name = ClientLibraryFileName(vendor_lib, std::getenv("NUVEXA_FBCLIENT"));

  // A library once loaded stays loaded for the life of the process: connections and
  // service requests come and go every cycle, and the client keeps state between them.
  static std::mutex registry_mutex;
  static std::map<std::string, std::shared_ptr<ClientLibrary>> registry;
  const std::lock_guard lock(registry_mutex);
  if (const auto found = registry.find(file_name); found != registry.end()) return found->second;

  std::shared_ptr<ClientLibrary> library;
  try {
    library = std::make_shared<ClientLibrary>(ConstructionKey{}, platform::DynamicLibrary(file_name));
  } catch (const platform::DynamicLibraryError& error) {
    throw FirebirdError("Cannot load vendor library [" + file_name + "]. " + error.Reason());
  }
  registry.emplace(file_name, library);
  return library;
}

template <typename Function>
void ClientLibrary::Resolve(Function& entry, const char* name, Need need) {
  try {
    entry = reinterpret_cast<Function>(library_.Symbol(name));
  } catch (const platform::DynamicLibraryError& error) {
    if (need == Need::Optional) return;
    throw FirebirdError("Cannot get vendor library entry point [" + std::string(name) + "] in [" + library_.Name() +
                        "]. " + error.Reason());
  }
  if (entry == nullptr) {
    throw FirebirdError("Cannot get vendor library entry point [" + std::string(name) + "] in [" + library_.Name() +
                        "].");
  }
}

ClientLibrary::ClientLibrary(ConstructionKey, platform::DynamicLibrary library) : library_(std::move(library)) {
  Resolve(isc_attach_database, "isc_attach_database");
  Resolve(isc_detach_database, "isc_detach_database");
  Resolve(isc_start_multiple, "isc_start_multiple");
  Resolve(isc_commit_transaction, "isc_commit_transaction");
  Resolve(isc_rollback_transaction, "isc_rollback_transaction");
  Resolve(isc_dsql_allocate_statement, "isc_dsql_allocate_statement");
  Resolve(isc_dsql_prepare, "isc_dsql_prepare");
  Resolve(isc_dsql_describe, "isc_dsql_describe");
  Resolve(isc_dsql_describe_bind, "isc_dsql_describe_bind");
  Resolve(isc_dsql_execute, "isc_dsql_execute");
  Resolve(isc_dsql_execute2, "isc_dsql_execute2");
  Resolve(isc_dsql_fetch, "isc_dsql_fetch");
  Resolve(isc_dsql_free_statement, "isc_dsql_free_statement");
  Resolve(isc_dsql_sql_info, "isc_dsql_sql_info");
  Resolve(isc_open_blob2, "isc_open_blob2");
  Resolve(isc_get_segment, "isc_get_segment");
  Resolve(isc_close_blob, "isc_close_blob");
  Resolve(isc_service_attach, "isc_service_attach");
  Resolve(isc_service_start, "isc_service_start");
  Resolve(isc_service_query, "isc_service_query");
  Resolve(isc_service_detach, "isc_service_detach");
  Resolve(fb_interpret, "fb_interpret", Need::Optional);
  Resolve(isc_interprete, "isc_interprete");
  Resolve(isc_sqlcode, "isc_sqlcode");
  Resolve(isc_sql_interprete, "isc_sql_interprete");
  Resolve(fb_sqlstate, "fb_sqlstate", Need::Optional);
  Resolve(isc_get_client_major_version, "isc_get_client_major_version");
  Resolve(isc_vax_integer, "isc_vax_integer");
  major_version_ = isc_get_client_major_version();
}

std::unique_lock<std::mutex> ClientLibrary::LockForAttach() {
  if (ThreadSafe()) return {};
  return std::unique_lock(attach_mutex_);
}

}  // namespace nuvexa::firebird
