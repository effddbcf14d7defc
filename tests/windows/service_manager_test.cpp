#include "platform/service_manager.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/windows/wide.h"
#include "support/temp_folder.h"

namespace {

using platform::windows::Narrow;
using platform::windows::Widen;

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

ServiceHandle OpenManager() { return ServiceHandle(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS)); }

// A name of this run only, so that runs side by side and leftovers of a crashed one do not meet.
std::string ThrowawayServiceName() { return "NuvexaTest" + std::to_string(::GetCurrentProcessId()); }

platform::ServiceRegistration TestRegistration() {
  // a space in the path, which only the quotes keep whole, and a name beyond ASCII
  return {ThrowawayServiceName(), "Nuvexa Prüfung " + std::to_string(::GetCurrentProcessId()),
          "C:\\Program Files\\Nuvexa Test\\nuvexa.exe"};
}

class ServiceManagerTest : public ::testing::Test {
 protected:
  // whatever a test left behind goes, without the code under test
  void TearDown() override {
    const ServiceHandle manager = OpenManager();
    ASSERT_TRUE(manager);
    const ServiceHandle service(::OpenServiceW(manager.get(), Widen(registration_.name).c_str(), DELETE));
    if (service) ::DeleteService(service.get());
  }

  const platform::ServiceRegistration registration_ = TestRegistration();
};

// The manager's own view of the service, read back through its API.
struct ReadBackConfig {
  DWORD service_type = 0;
  DWORD start_type = 0;
  DWORD error_control = 0;
  std::string binary_path;
  std::string display_name;
  std::string account;
  std::wstring dependencies;
};

ReadBackConfig ReadConfig(const std::string& name) {
  const ServiceHandle manager = OpenManager();
  EXPECT_TRUE(manager);
  const ServiceHandle service(::OpenServiceW(manager.get(), Widen(name).c_str(), SERVICE_QUERY_CONFIG));
  EXPECT_TRUE(service) << "OpenServiceW: " << ::GetLastError();
  if (!service) return {};
  DWORD needed = 0;
  ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
  std::vector<unsigned char> buffer(needed);
  auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
  EXPECT_TRUE(::QueryServiceConfigW(service.get(), config, needed, &needed)) << ::GetLastError();
  auto text = [](const wchar_t* value) { return value != nullptr ? Narrow(value) : std::string(); };
  return {config->dwServiceType,
          config->dwStartType,
          config->dwErrorControl,
          text(config->lpBinaryPathName),
          text(config->lpDisplayName),
          text(config->lpServiceStartName),
          config->lpDependencies != nullptr ? std::wstring(config->lpDependencies) : std::wstring()};
}

TEST_F(ServiceManagerTest, InstallRegistersAnAutomaticServiceOfItsOwnProcess) {
  platform::InstallService(registration_);

  const ReadBackConfig config = ReadConfig(registration_.name);
  EXPECT_EQ(config.service_type, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
  EXPECT_EQ(config.start_type, static_cast<DWORD>(SERVICE_AUTO_START));
  EXPECT_EQ(config.error_control, static_cast<DWORD>(SERVICE_ERROR_NORMAL));
  EXPECT_EQ(config.binary_path, "\"" + registration_.executable_path + "\"");
  EXPECT_EQ(config.display_name, registration_.display_name);
  EXPECT_EQ(config.account, "LocalSystem");
  EXPECT_EQ(config.dependencies, L"");
}

// The operator reads these messages in INSTALL's and UNINSTALL's output.
void ExpectOSError(void (*action)(const platform::ServiceRegistration&), const platform::ServiceRegistration& service,
                   int code, const std::string& text) {
  try {
    action(service);
    ADD_FAILURE() << "no OSError " << code;
  } catch (const platform::OSError& e) {
    EXPECT_EQ(e.Code(), code);
    EXPECT_EQ(std::string(e.what()), "System Error.  Code: " + std::to_string(code) + ".\r\n" + text);
    EXPECT_EQ(platform::SystemErrorMessage(code), text);
  }
}

void Install(const platform::ServiceRegistration& service) { platform::InstallService(service); }
void Remove(const platform::ServiceRegistration& service) { platform::RemoveService(service.name); }

TEST_F(ServiceManagerTest, InstallingTwiceFailsAndKeepsTheFirstRegistration) {
  platform::InstallService(registration_);
  platform::ServiceRegistration second = registration_;
  second.display_name += " again";
  second.executable_path = "C:\\elsewhere\\nuvexa.exe";

  ExpectOSError(Install, second, 1073, "The specified service already exists.");
  EXPECT_EQ(ReadConfig(registration_.name).display_name, registration_.display_name);
}

TEST_F(ServiceManagerTest, RemoveDeletesTheServiceAndThenFindsNoneToRemove) {
  platform::InstallService(registration_);
  platform::RemoveService(registration_.name);

  const ServiceHandle manager = OpenManager();
  ASSERT_TRUE(manager);
  EXPECT_FALSE(ServiceHandle(::OpenServiceW(manager.get(), Widen(registration_.name).c_str(), SERVICE_QUERY_CONFIG)));
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SERVICE_DOES_NOT_EXIST));
  ExpectOSError(Remove, registration_, 1060, "The specified service does not exist as an installed service.");
}

TEST(ServiceManagerErrorText, OtherCodesCarryTheSystemsText) {
  // not the C library's text for the errno of the same number ("Input/output error")
  const std::string text = platform::windows::ErrorText(ERROR_ACCESS_DENIED);
  EXPECT_EQ(platform::SystemErrorMessage(ERROR_ACCESS_DENIED), text);
  EXPECT_EQ(std::string(platform::OSError(ERROR_ACCESS_DENIED).what()), "System Error.  Code: 5.\r\n" + text);
}

// Windows answers at once; Wine first waits some seconds for a manager's pipe.
TEST(ServiceDispatcherTest, RunWithoutTheServiceManagerReturns1063) {
  std::vector<std::uint32_t> controls;
  bool service_main_ran = false;
  platform::ServiceDispatcher dispatcher([&](std::uint32_t code) { controls.push_back(code); });

  const int result =
      dispatcher.Run(ThrowawayServiceName(), [&](const std::vector<std::string>&) { service_main_ran = true; });

  EXPECT_EQ(result, platform::kErrorFailedServiceControllerConnect);
  EXPECT_EQ(platform::SystemErrorMessage(result), "The service process could not connect to the service controller.");
  EXPECT_FALSE(service_main_ran);
  EXPECT_TRUE(controls.empty());
  EXPECT_FALSE(platform::StartedByServiceManager());
}

TEST(ServiceDispatcherTest, StatusReportsOutsideTheServiceManagerGoNowhere) {
  // a foreground run reports its status as a service does; with no manager there is no one to tell
  EXPECT_NO_THROW(platform::ReportServiceStatus(
      {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0}, "READY=1"));
}

// The service side of the run below: this executable, started by the service manager with only
// this test selected. Disabled in ordinary runs, where no manager started the process.
constexpr const wchar_t* kServiceSideArguments =
    L" --gtest_also_run_disabled_tests --gtest_filter=ServiceUnderManager.DISABLED_ServiceSide";

// Start arguments after the name: where to write what it saw, the event that says it runs,
// and whether its service main ends by throwing; the last one only travels.
enum ServiceArgument { kResultsPath = 1, kRunningEvent, kEnding, kTraveller };

TEST(ServiceUnderManager, DISABLED_ServiceSide) {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::uint32_t> controls;
  platform::ServiceDispatcher dispatcher([&](std::uint32_t code) {
    {
      std::lock_guard lock(mutex);
      controls.push_back(code);
    }
    changed.notify_all();
  });
  std::vector<std::string> seen;
  std::string outcome;
  try {
    const int result = dispatcher.Run("NuvexaTestChild", [&](const std::vector<std::string>& args) {
      seen = args;
      EXPECT_TRUE(platform::StartedByServiceManager());
      platform::ReportServiceStatus({SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0},
                                    "READY=1");
      const platform::windows::Handle running(
          ::OpenEventW(EVENT_MODIFY_STATE, FALSE, Widen(args.at(kRunningEvent)).c_str()));
      ::SetEvent(running.get());
      std::unique_lock lock(mutex);
      changed.wait(lock, [&] { return !controls.empty() && controls.back() == SERVICE_CONTROL_STOP; });
      if (args.at(kEnding) == "throw") throw std::runtime_error("service main failed");
      platform::ReportServiceStatus({SERVICE_WIN32_OWN_PROCESS, SERVICE_STOPPED, 0, 0, 0, 0, 0}, "");
    });
    outcome = "returned " + std::to_string(result);
  } catch (const std::exception& e) {
    outcome = std::string("threw ") + e.what();
  }
  ASSERT_GT(seen.size(), static_cast<std::size_t>(kResultsPath));
  std::ofstream results(seen[kResultsPath], std::ios::binary);
  for (const auto& arg : seen) results << arg << '|';
  results << '\n';
  for (auto code : controls) results << code << ',';
  results << '\n' << outcome << '\n';
}

struct ServiceRegistrationGuard {
  SC_HANDLE service;
  ~ServiceRegistrationGuard() { ::DeleteService(service); }
};

std::vector<std::string> ReadLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ServiceUnderManager, RunsTheServiceMainAndForwardsTheManagersControls) {
  struct Case {
    std::string ending;
    std::string outcome;    // of Run, in the service's process
    DWORD win32_exit_code;  // the manager's view once it has stopped
  };
  const Case cases[] = {
      {"report", "returned 0", NO_ERROR},
      // a service main that fails still lets the dispatcher return, and Run hands the failure on
      {"throw", "threw service main failed", ERROR_SERVICE_SPECIFIC_ERROR},
  };

  wchar_t executable[MAX_PATH];
  ASSERT_GT(::GetModuleFileNameW(nullptr, executable, MAX_PATH), 0u);
  const std::wstring command = L"\"" + std::wstring(executable) + L"\"" + kServiceSideArguments;
  const std::string name = ThrowawayServiceName() + "Run";
  const ServiceHandle manager = OpenManager();
  ASSERT_TRUE(manager);
  const ServiceHandle service(::CreateServiceW(
      manager.get(), Widen(name).c_str(), Widen(name).c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
      SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, command.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
  ASSERT_TRUE(service) << ::GetLastError();
  const ServiceRegistrationGuard registration{service.get()};

  for (const Case& c : cases) {
    SCOPED_TRACE(c.ending);
    const nuvexa::test::TempFolder folder;
    const std::string results_path = folder.Path() + "results.txt";
    const std::string event_name = name + "Running";
    const platform::windows::Handle running(::CreateEventW(nullptr, TRUE, FALSE, Widen(event_name).c_str()));
    ASSERT_TRUE(running);
    const std::vector<std::string> start_args = {results_path, event_name, c.ending, "Prüfung ü"};
    std::vector<std::wstring> wide_args;
    for (const auto& arg : start_args) wide_args.push_back(Widen(arg));
    std::vector<const wchar_t*> arg_pointers;
    for (const auto& arg : wide_args) arg_pointers.push_back(arg.c_str());
    ASSERT_TRUE(::StartServiceW(service.get(), static_cast<DWORD>(arg_pointers.size()), arg_pointers.data()))
        << ::GetLastError();

    // bounded only so that a broken dispatcher fails the test instead of hanging it
    ASSERT_EQ(::WaitForSingleObject(running.get(), 60'000), WAIT_OBJECT_0);
    SERVICE_STATUS_PROCESS process_status{};
    DWORD needed = 0;
    ASSERT_TRUE(::QueryServiceStatusEx(service.get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process_status),
                                       sizeof process_status, &needed));
    EXPECT_EQ(process_status.dwCurrentState, static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(process_status.dwControlsAccepted, static_cast<DWORD>(SERVICE_ACCEPT_STOP));
    const platform::windows::Handle process(
        ::OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_status.dwProcessId));
    ASSERT_TRUE(process);

    SERVICE_STATUS status{};
    constexpr DWORD kUserControl = 200;
    EXPECT_TRUE(::ControlService(service.get(), kUserControl, &status)) << ::GetLastError();
    EXPECT_TRUE(::ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) << ::GetLastError();
    ASSERT_EQ(::WaitForSingleObject(process.get(), 60'000), WAIT_OBJECT_0);
    DWORD exit_code = 1;
    EXPECT_TRUE(::GetExitCodeProcess(process.get(), &exit_code));
    EXPECT_EQ(exit_code, 0u);
    ASSERT_TRUE(::QueryServiceStatus(service.get(), &status));
    EXPECT_EQ(status.dwCurrentState, static_cast<DWORD>(SERVICE_STOPPED));
    EXPECT_EQ(status.dwWin32ExitCode, c.win32_exit_code);

    std::string expected_args = name + "|";
    for (const auto& arg : start_args) expected_args += arg + "|";
    const std::vector<std::string> lines = ReadLines(results_path);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], expected_args);
    EXPECT_EQ(lines[1], std::to_string(kUserControl) + "," + std::to_string(SERVICE_CONTROL_STOP) + ",");
    EXPECT_EQ(lines[2], c.outcome);
  }
}

}  // namespace
