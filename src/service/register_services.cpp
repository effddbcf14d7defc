#include "service/register_services.h"

#include <cstdio>
#include <exception>

#include "platform/service_manager.h"

namespace nuvexa {
namespace {

void InstallService(const TService& service, const std::string& executable_path) {
  platform::InstallService({service.Name(), service.DisplayName(), executable_path});
}

void UninstallService(const TService& service) { platform::RemoveService(service.Name()); }

std::string FailureMessage(bool Install, const std::string& display_name, const std::string& error) {
  const char* format = Install ? "Service \"%s\" failed to install with error: \"%s\""
                               : "Service \"%s\" failed to uninstall with error: \"%s\"";
  const int size = std::snprintf(nullptr, 0, format, display_name.c_str(), error.c_str());
  std::string message(static_cast<std::size_t>(size) + 1, '\0');
  std::snprintf(message.data(), message.size(), format, display_name.c_str(), error.c_str());
  message.resize(static_cast<std::size_t>(size));
  return message;
}

}  // namespace

bool RegisterServices(const std::vector<const TService*>& services, bool Install, bool Silent,
                      const std::string& executable_path, std::ostream& out) {
  bool Success = true;
  for (const TService* service : services) {
    try {
      if (Install) {
        InstallService(*service, executable_path);
      } else {
        UninstallService(*service);
      }
    } catch (const std::exception& E) {
      Success = false;
      out << FailureMessage(Install, service->DisplayName(), E.what()) << std::endl;
    }
  }
  if (Success && !Silent) out << (Install ? "Service installed successfully" : "Service uninstalled successfully") << std::endl;
  return Success;
}

}  // namespace nuvexa
