#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

class ControlSignals;

// The service manager's own error codes, numbered as Windows numbers them.
inline constexpr int kErrorServiceDoesNotExist = 1060;
inline constexpr int kErrorFailedServiceControllerConnect = 1063;
inline constexpr int kErrorServiceExists = 1073;

// The system's message for an error code: the service manager's codes above, or an errno value.
std::string SystemErrorMessage(int code);

// A failed call into the operating system. Its message is the one the user sees:
// "System Error.  Code: 1073.\r\nThe specified service already exists."
class OSError : public std::runtime_error {
 public:
  explicit OSError(int code);
  int Code() const { return code_; }

 private:
  int code_;
};

// What the service manager is given to run the service.
struct ServiceRegistration {
  std::string name;             // the service's name ("SrvNuvexa")
  std::string display_name;     // what the operator sees ("Nuvexa")
  std::string executable_path;  // the program the manager starts, as a full path
};

// Registration with the service manager. Under systemd: the unit file `<name>.service` in the
// unit folder ($NUVEXA_UNIT_DIR, or /etc/systemd/system); systemctl enables and disables the
// unit only when it exists and the folder is the system's; daemon-reload runs only while
// systemd is the running init. On Windows: CreateServiceW for a service of its own process,
// started automatically, running the quoted executable path, and DeleteService. Both throw
// OSError (1073 when the service is already there, 1060 when it is missing, or the system's
// error), or std::runtime_error naming the systemctl step that failed; an installation that
// systemctl could not enable is taken back.
void InstallService(const ServiceRegistration& service);
void RemoveService(const std::string& name);

// Whether systemd started this process (INVOCATION_ID or NOTIFY_SOCKET is set). Windows cannot
// tell before the dispatcher connects: there, whether ServiceDispatcher::Run is serving the manager.
bool StartedByServiceManager();

// One status report, the fields as SERVICE_STATUS holds them.
struct ServiceStatusFields {
  std::uint32_t service_type = 0;
  std::uint32_t current_state = 0;
  std::uint32_t controls_accepted = 0;
  std::uint32_t win32_exit_code = 0;
  std::uint32_t service_specific_exit_code = 0;
  std::uint32_t check_point = 0;
  std::uint32_t wait_hint = 0;
};

// Reports the service's status: SetServiceStatus with `fields` on Windows; to systemd the
// notification text (READY=1, STATUS=...), nothing when it is not listening. Throws OSError
// when the report cannot be delivered.
void ReportServiceStatus(const ServiceStatusFields& fields, std::string_view notification);

// The service control dispatcher (StartServiceCtrlDispatcher). Under systemd the control
// requests are signals, turned into control codes on a thread of their own.
class ServiceDispatcher {
 public:
  using ServiceMain = std::function<void(const std::vector<std::string>& args)>;
  using ControlHandler = std::function<void(std::uint32_t control_code)>;

  // Construct it on the main thread before any other thread starts: under systemd the control
  // signals are blocked from here on, so only the dispatcher receives them.
  explicit ServiceDispatcher(ControlHandler handler);
  ServiceDispatcher(const ServiceDispatcher&) = delete;
  ServiceDispatcher& operator=(const ServiceDispatcher&) = delete;
  ~ServiceDispatcher();

  // Runs `service_main` with the service's name as its only argument on a service-main thread
  // and returns 0 once it has returned; returns 1063 at once when no service manager started
  // the process.
  int Run(const std::string& service_name, const ServiceMain& service_main);

 private:
  std::unique_ptr<ControlSignals> signals_;
};

}  // namespace platform
