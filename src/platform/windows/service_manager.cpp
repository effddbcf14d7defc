#include "platform/service_manager.h"

#include <atomic>
#include <exception>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/control_signals.h"
#include "platform/os_primitives.h"
#include "platform/windows/wide.h"

namespace platform {
namespace {

using windows::Narrow;
using windows::Widen;

// A handle of the service control manager or of one of its services.
class ServiceHandle {
 public:
  explicit ServiceHandle(SC_HANDLE handle) : handle_(handle) {}
  ServiceHandle(ServiceHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ServiceHandle(const ServiceHandle&) = delete;
  ServiceHandle& operator=(const ServiceHandle&) = delete;
  ~ServiceHandle() {
    if (handle_ != nullptr) ::CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

ServiceHandle OpenManager(DWORD access) {
  ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, access));
  if (!manager) throw OSError(static_cast<int>(::GetLastError()));
  return manager;
}

// The dispatcher's state. The system calls ServiceMain without a context of ours, so it and the
// control handler find it here: one service per process.
std::mutex g_handler_mutex;
ServiceDispatcher::ControlHandler g_control_handler;  // the live dispatcher's, while it exists

// What one Run hands to its ServiceMain.
struct DispatchRun {
  std::wstring service_name;
  const ServiceDispatcher::ServiceMain* service_main = nullptr;
  std::exception_ptr failure;
};
DispatchRun* g_run = nullptr;  // set only while StartServiceCtrlDispatcherW runs

// Registered by ServiceMain; null while the process is not a running service.
std::atomic<SERVICE_STATUS_HANDLE> g_status_handle{nullptr};

DWORD WINAPI ControlHandlerEx(DWORD control, DWORD, LPVOID, LPVOID) {
  ServiceDispatcher::ControlHandler handler;
  {
    std::lock_guard lock(g_handler_mutex);
    handler = g_control_handler;
  }
  if (handler) handler(control);
  return NO_ERROR;
}

// The manager waits for a stopped report before it lets the dispatcher return: a service main
// that failed must still send one, or Run would never hand its exception on.
void ReportFailedStop(SERVICE_STATUS_HANDLE handle) {
  SERVICE_STATUS status{};
  status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  status.dwCurrentState = SERVICE_STOPPED;
  status.dwWin32ExitCode = ERROR_SERVICE_SPECIFIC_ERROR;
  status.dwServiceSpecificExitCode = 1;
  ::SetServiceStatus(handle, &status);
}

void WINAPI DispatchedServiceMain(DWORD argc, LPWSTR* argv) {
  DispatchRun& run = *g_run;
  // the manager's own spelling of the name comes first in argv
  const wchar_t* name = argc > 0 ? argv[0] : run.service_name.c_str();
  const SERVICE_STATUS_HANDLE handle = ::RegisterServiceCtrlHandlerExW(name, ControlHandlerEx, nullptr);
  if (handle == nullptr) {
    run.failure = std::make_exception_ptr(OSError(static_cast<int>(::GetLastError())));
    return;
  }
  g_status_handle = handle;
  std::vector<std::string> args;
  for (DWORD i = 0; i < argc; ++i) args.push_back(Narrow(argv[i]));
  if (args.empty()) args.push_back(Narrow(run.service_name));
  try {
    (*run.service_main)(args);
  } catch (...) {
    run.failure = std::current_exception();
    ReportFailedStop(handle);
  }
}

}  // namespace

namespace os {

std::string ErrorCodeText(int code) { return windows::ErrorText(static_cast<DWORD>(code)); }

}  // namespace os

void InstallService(const ServiceRegistration& service) {
  const ServiceHandle manager = OpenManager(SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
  // quoted: a path with spaces must not be read as a program and its arguments
  const std::wstring binary_path = L"\"" + Widen(service.executable_path) + L"\"";
  const ServiceHandle created(::CreateServiceW(manager.get(), Widen(service.name).c_str(),
                                               Widen(service.display_name).c_str(), SERVICE_QUERY_STATUS,
                                               SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START, SERVICE_ERROR_NORMAL,
                                               binary_path.c_str(), nullptr, nullptr, nullptr,
                                               nullptr /* LocalSystem */, nullptr));
  if (!created) throw OSError(static_cast<int>(::GetLastError()));
}

void RemoveService(const std::string& name) {
  const ServiceHandle manager = OpenManager(SC_MANAGER_CONNECT);
  const ServiceHandle service(
      ::OpenServiceW(manager.get(), Widen(name).c_str(), DELETE | SERVICE_STOP | SERVICE_QUERY_STATUS));
  if (!service) throw OSError(static_cast<int>(::GetLastError()));
  if (!::DeleteService(service.get())) throw OSError(static_cast<int>(::GetLastError()));
}

// Windows cannot tell beforehand: only StartServiceCtrlDispatcherW finds out (1063 when no
// manager started the process). So this answers whether the dispatcher has connected and a
// service main registered with the manager.
bool StartedByServiceManager() { return g_status_handle.load() != nullptr; }

void ReportServiceStatus(const ServiceStatusFields& fields, std::string_view) {
  const SERVICE_STATUS_HANDLE handle = g_status_handle.load();
  if (handle == nullptr) return;  // no manager is listening: a run in the foreground
  SERVICE_STATUS status{};
  status.dwServiceType = fields.service_type;
  status.dwCurrentState = fields.current_state;
  status.dwControlsAccepted = fields.controls_accepted;
  status.dwWin32ExitCode = fields.win32_exit_code;
  status.dwServiceSpecificExitCode = fields.service_specific_exit_code;
  status.dwCheckPoint = fields.check_point;
  status.dwWaitHint = fields.wait_hint;
  if (!::SetServiceStatus(handle, &status)) throw OSError(static_cast<int>(::GetLastError()));
}

// The manager delivers the control requests itself, to the dispatcher's thread: no signals.
ServiceDispatcher::ServiceDispatcher(ControlHandler handler) {
  std::lock_guard lock(g_handler_mutex);
  g_control_handler = std::move(handler);
}

ServiceDispatcher::~ServiceDispatcher() {
  std::lock_guard lock(g_handler_mutex);
  g_control_handler = nullptr;
}

int ServiceDispatcher::Run(const std::string& service_name, const ServiceMain& service_main) {
  DispatchRun run{Widen(service_name), &service_main, nullptr};
  std::wstring table_name = run.service_name;
  SERVICE_TABLE_ENTRYW table[] = {{table_name.data(), DispatchedServiceMain}, {nullptr, nullptr}};
  g_run = &run;
  const BOOL dispatched = ::StartServiceCtrlDispatcherW(table);
  const DWORD error = dispatched ? ERROR_SUCCESS : ::GetLastError();
  g_run = nullptr;
  g_status_handle = nullptr;
  if (!dispatched) {
    if (error == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT) return kErrorFailedServiceControllerConnect;
    throw OSError(static_cast<int>(error));
  }
  if (run.failure) std::rethrow_exception(run.failure);
  return 0;
}

}  // namespace platform
