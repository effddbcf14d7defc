// nuvexa.exe as the installer and the service manager run it: its switches, its registration
// read back from the service manager, and the start by hand that no manager asked for.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "deploy/deployment_table.h"
#include "platform/file_version.h"
#include "platform/windows/wide.h"
#include "support/temp_folder.h"

namespace {

using ::testing::HasSubstr;
using platform::windows::Narrow;
using platform::windows::Widen;

namespace fs = std::filesystem;

// The build's path of the executable; built on Linux, it is reached through Wine's Z: drive.
std::string BuiltExecutable() {
  std::string path = NUVEXA_BINARY;
  if (!path.empty() && path.front() == '/') {
    for (char& c : path) c = c == '/' ? '\\' : c;
    path = "Z:" + path;
  }
  return path;
}

struct ProgramRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::string output;  // standard output and standard error together
};

// Runs the program with the arguments for at most a minute; `environment` entries are added
// to the child's environment ("NAME=value").
ProgramRun RunProgram(const std::string& program, const std::string& arguments,
               const std::vector<std::wstring>& environment = {}) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr, write_end = nullptr;
  if (!::CreatePipe(&read_end, &write_end, &inherit, 0)) return {};
  platform::windows::Handle reader(read_end), writer(write_end);
  ::SetHandleInformation(reader.get(), HANDLE_FLAG_INHERIT, 0);

  std::wstring block;
  if (!environment.empty()) {
    const std::unique_ptr<wchar_t, decltype(&::FreeEnvironmentStringsW)> current(::GetEnvironmentStringsW(),
                                                                                  &::FreeEnvironmentStringsW);
    for (const wchar_t* entry = current.get(); *entry != L'\0'; entry += std::wcslen(entry) + 1)
      block.append(entry).push_back(L'\0');
    for (const std::wstring& entry : environment) block.append(entry).push_back(L'\0');
    block.push_back(L'\0');
  }

  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = writer.get();
  startup.hStdError = writer.get();
  PROCESS_INFORMATION process{};
  std::wstring command = L"\"" + Widen(program) + L"\" " + Widen(arguments);
  if (!::CreateProcessW(nullptr, command.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        block.empty() ? nullptr : block.data(), nullptr, &startup, &process))
    return {};
  platform::windows::Handle child(process.hProcess), thread(process.hThread);
  writer.reset();
  ProgramRun run;
  char buffer[4096];
  DWORD got = 0;
  while (::ReadFile(reader.get(), buffer, sizeof buffer, &got, nullptr) && got > 0) run.output.append(buffer, got);
  if (::WaitForSingleObject(child.get(), 60'000) != WAIT_OBJECT_0) ::TerminateProcess(child.get(), 99);
  ::GetExitCodeProcess(child.get(), &run.exit_code);
  return run;
}

struct ServiceHandleCloser {
  void operator()(SC_HANDLE handle) const { ::CloseServiceHandle(handle); }
};
using ServiceHandle = std::unique_ptr<std::remove_pointer_t<SC_HANDLE>, ServiceHandleCloser>;

// The path as the system spells it, with its own separators.
std::string WindowsPath(std::string path) {
  for (char& c : path) c = c == '/' ? '\\' : c;
  return path;
}

class NuvexaExe : public ::testing::Test {
 protected:
  void SetUp() override {
    // its own copy in a folder of its own, so its runtime files land there
    executable_ = WindowsPath(folder_.Path() + "nuvexa.exe");
    fs::copy_file(nuvexa::test::Utf8Path(BuiltExecutable()), nuvexa::test::Utf8Path(executable_));
  }
  void TearDown() override { Nuvexa("-UNINSTALL -SILENT"); }

  // Wine, unlike Windows, loads a kernel32.dll or zlib1.dll found beside the program before
  // its own (Windows takes kernel32 from the system alone, and no system library of it needs
  // zlib1): the carried stand-ins of those two go before each start under Wine.
  ProgramRun Nuvexa(const std::string& arguments, const std::vector<std::wstring>& environment = {}) const {
    for (const char* shadowing : {"kernel32.dll", "zlib1.dll"}) {
      std::error_code ignored;
      fs::remove(nuvexa::test::Utf8Path(folder_.Path() + shadowing), ignored);
    }
    return RunProgram(executable_, arguments, environment);
  }

  nuvexa::test::TempFolder folder_;
  std::string executable_;
};

TEST_F(NuvexaExe, InstallRegistersTheServiceAndTheSwitchesReportTheManagersErrors) {
  const ProgramRun install = Nuvexa("-INSTALL");
  EXPECT_EQ(install.exit_code, 0u) << install.output;
  EXPECT_THAT(install.output, HasSubstr("Service installed successfully"));

  {
    // closed before the removal below: an open handle keeps a deleted service marked for deletion
    const ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CONNECT));
    ASSERT_TRUE(manager) << ::GetLastError();
    const ServiceHandle service(::OpenServiceW(manager.get(), L"SrvNuvexa", SERVICE_QUERY_CONFIG));
    ASSERT_TRUE(service) << "SrvNuvexa is not registered: " << ::GetLastError();
    DWORD needed = 0;
    ::QueryServiceConfigW(service.get(), nullptr, 0, &needed);
    std::vector<unsigned char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGW*>(buffer.data());
    ASSERT_TRUE(::QueryServiceConfigW(service.get(), config, needed, &needed)) << ::GetLastError();
    EXPECT_EQ(Narrow(config->lpDisplayName), "Nuvexa");
    EXPECT_EQ(config->dwServiceType, static_cast<DWORD>(SERVICE_WIN32_OWN_PROCESS));
    EXPECT_EQ(config->dwStartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(Narrow(config->lpBinaryPathName), "\"" + executable_ + "\"");
  }

  for (const char* switches : {"-INSTALL", "/install -silent"}) {
    const ProgramRun again = Nuvexa(switches);
    EXPECT_EQ(again.exit_code, 1u) << switches;
    EXPECT_THAT(again.output, HasSubstr("Service \"Nuvexa\" failed to install with error: \"System Error.  Code: "
                                        "1073.\r\nThe specified service already exists.\""))
        << switches << ": " << again.output;
  }

  const ProgramRun uninstall = Nuvexa("-UNINSTALL");
  EXPECT_EQ(uninstall.exit_code, 0u) << uninstall.output;
  EXPECT_THAT(uninstall.output, HasSubstr("Service uninstalled successfully"));
  const ProgramRun missing = Nuvexa("-UNINSTALL -SILENT");
  EXPECT_EQ(missing.exit_code, 1u);
  EXPECT_THAT(missing.output, HasSubstr("Service \"Nuvexa\" failed to uninstall with error: \"System Error.  Code: "
                                        "1060.\r\nThe specified service does not exist as an installed service.\""))
      << missing.output;
}

TEST_F(NuvexaExe, SilentInstallSaysNothing) {
  const ProgramRun install = Nuvexa("-INSTALL -SILENT");
  EXPECT_EQ(install.exit_code, 0u) << install.output;
  EXPECT_EQ(install.output, "");
}

TEST_F(NuvexaExe, StartedByHandItReports1063ToTheEventLogAndRunsNoCycle) {
  // Wine keeps the event log's entries in its debug channel, on standard error
  const ProgramRun run = Nuvexa("", {L"WINEDEBUG=+eventlog"});
  EXPECT_EQ(run.exit_code, 1u) << run.output;
  EXPECT_THAT(run.output, HasSubstr("The service process could not connect to the service controller."));
  EXPECT_FALSE(fs::exists(nuvexa::test::Utf8Path(folder_.Path() + "Nuvexa.log"))) << "no cycle ran";
}

TEST_F(NuvexaExe, AnEmptyFolderGetsTheRuntimeFilesAtTheFirstRun) {
  Nuvexa("-UNINSTALL -SILENT");
  for (const auto& entry : nuvexa::deploy::kDeploymentTable)
    EXPECT_TRUE(fs::is_regular_file(nuvexa::test::Utf8Path(folder_.Path() + std::string(entry.file_name))))
        << entry.file_name;
  EXPECT_EQ(platform::FileVersionText(folder_.Path() + "libeay32.dll"), "1.0.2.21");
  EXPECT_EQ(platform::FileVersionText(executable_), std::string(NUVEXA_VERSION) + ".0") << "its own version";
}

}  // namespace
