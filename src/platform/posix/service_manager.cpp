#include "platform/service_manager.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>

#include "platform/control_signals.h"
#include "platform/os_primitives.h"
#include "platform/posix/systemd_unit.h"

extern char** environ;

namespace platform {
namespace {

constexpr const char* kSystemUnitFolder = "/etc/systemd/system";

std::string EnvironmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string UnitFolder() {
  std::string folder = EnvironmentValue("NUVEXA_UNIT_DIR");
  if (folder.empty()) folder = kSystemUnitFolder;
  if (folder.back() != '/') folder += '/';
  return folder;
}

// systemctl acts on the system's units, so it must stay out of a folder of our own (tests, staging).
bool IsSystemUnitFolder() {
  const std::string folder = EnvironmentValue("NUVEXA_UNIT_DIR");
  if (folder.empty()) return true;
  std::error_code ignored;
  return std::filesystem::equivalent(folder, kSystemUnitFolder, ignored);
}

std::optional<std::string> FindProgram(const std::string& name) {
  std::string search_path = EnvironmentValue("PATH");
  if (search_path.empty()) search_path = "/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin";
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = search_path.find(':', start);
    const std::string folder = search_path.substr(start, end == std::string::npos ? end : end - start);
    if (!folder.empty()) {
      const std::string candidate = folder + "/" + name;
      if (::access(candidate.c_str(), X_OK) == 0) return candidate;
    }
    if (end == std::string::npos) return std::nullopt;
    start = end + 1;
  }
}

// Runs systemctl with these arguments and waits for it; its own messages reach the console.
void RunSystemctl(const std::string& program, const std::vector<std::string>& arguments) {
  std::vector<std::string> words{"systemctl", "--quiet"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (auto& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid = 0;
  const int error = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ);
  if (error != 0) throw OSError(error);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) throw OSError(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return;

  std::string command = "systemctl";
  for (const auto& argument : arguments) command += " " + argument;
  const std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                            : "signal " + std::to_string(WTERMSIG(status));
  throw std::runtime_error(command + " ended with " + how);
}

// The systemctl steps apply only to the system's own unit folder.
std::optional<std::string> SystemctlForUnits() {
  if (!IsSystemUnitFolder()) return std::nullopt;
  return FindProgram("systemctl");
}

// A running systemd must re-read its units; without one (a container, a chroot) there is
// nothing to tell and systemctl would fail.
void ReloadUnits(const std::string& systemctl) {
  if (sd_booted() > 0) RunSystemctl(systemctl, {"daemon-reload"});
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int Get() const { return fd_; }
  // Closes now, so that a failure to write back is seen.
  int Close() {
    const int result = ::close(fd_);
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

void WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      throw OSError(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
}

// A new unit file, 0644 whatever the umask (it holds no secrets, and systemd's tools read it
// as any user); never through a link planted at its name.
void CreateUnitFile(const std::string& path, std::string_view text) {
  FileDescriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
  if (file.Get() < 0) throw OSError(errno == EEXIST ? kErrorServiceExists : errno);
  try {
    if (::fchmod(file.Get(), 0644) != 0) throw OSError(errno);
    WriteAll(file.Get(), text);
    if (file.Close() != 0) throw OSError(errno);
  } catch (...) {
    ::unlink(path.c_str());
    throw;
  }
}

void RemoveUnitFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0) throw OSError(errno == ENOENT ? kErrorServiceDoesNotExist : errno);
}


}  // namespace

namespace os {

std::string ErrorCodeText(int code) { return std::generic_category().message(code); }

}  // namespace os

void InstallService(const ServiceRegistration& service) {
  const std::string unit_name = service.name + ".service";
  const std::string path = UnitFolder() + unit_name;
  CreateUnitFile(path, SystemdUnitText(service.display_name, service.executable_path));
  const std::optional<std::string> systemctl = SystemctlForUnits();
  if (!systemctl) return;
  try {
    ReloadUnits(*systemctl);
    RunSystemctl(*systemctl, {"enable", unit_name});
  } catch (...) {
    // a unit that systemd does not start is no installation: leave nothing behind
    ::unlink(path.c_str());
    try {
      ReloadUnits(*systemctl);
    } catch (const std::exception&) {
      // the first failure is the one to report
    }
    throw;
  }
}

void RemoveService(const std::string& name) {
  const std::string unit_name = name + ".service";
  const std::string path = UnitFolder() + unit_name;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) throw OSError(errno == ENOENT ? kErrorServiceDoesNotExist : errno);
  const std::optional<std::string> systemctl = SystemctlForUnits();
  // disabled first: its links in the target's .wants folder name the unit
  if (systemctl) RunSystemctl(*systemctl, {"disable", unit_name});
  RemoveUnitFile(path);
  if (systemctl) ReloadUnits(*systemctl);
}

bool StartedByServiceManager() {
  return !EnvironmentValue("INVOCATION_ID").empty() || !EnvironmentValue("NOTIFY_SOCKET").empty();
}

void ReportServiceStatus(const ServiceStatusFields&, std::string_view notification) {
  const std::string text(notification);
  const int result = sd_notify(0, text.c_str());
  if (result < 0) throw OSError(-result);
}

ServiceDispatcher::ServiceDispatcher(ControlHandler handler) {
  // a process started by hand keeps the signals' default actions: Ctrl-C still ends it
  if (StartedByServiceManager()) signals_ = std::make_unique<ControlSignals>(std::move(handler));
}

ServiceDispatcher::~ServiceDispatcher() = default;

int ServiceDispatcher::Run(const std::string& service_name, const ServiceMain& service_main) {
  if (!signals_) return kErrorFailedServiceControllerConnect;
  std::exception_ptr failure;
  std::thread service_main_thread([&] {
    try {
      service_main({service_name});
    } catch (...) {
      failure = std::current_exception();
    }
  });
  service_main_thread.join();
  if (failure) std::rethrow_exception(failure);
  return 0;
}

}  // namespace platform
