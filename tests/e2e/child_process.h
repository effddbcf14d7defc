#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/test_files.h"

extern char** environ;

namespace nuvexa::test {

// The built executable run as a child process, with its standard output and standard error in
// files of `output_folder`. The child sees the test's environment less the variables by which
// systemd announces itself and the unit folder, so that a test decides about each of them;
// `environment` adds (a value) or removes (nullopt) variables on top.
class ChildProcess {
 public:
  using Environment = std::map<std::string, std::optional<std::string>>;

  ChildProcess(const std::string& program, const std::vector<std::string>& arguments, Environment environment,
               const std::string& output_folder)
      : stdout_path_(output_folder + "stdout.txt"), stderr_path_(output_folder + "stderr.txt") {
    std::vector<std::string> argv_text{program};
    argv_text.insert(argv_text.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& a : argv_text) argv.push_back(a.data());
    argv.push_back(nullptr);

    for (const char* name : {"INVOCATION_ID", "NOTIFY_SOCKET", "NUVEXA_UNIT_DIR"}) environment.try_emplace(name);
    std::vector<std::string> env_text;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry = *e;
      if (!environment.contains(entry.substr(0, entry.find('=')))) env_text.push_back(entry);
    }
    for (const auto& [name, value] : environment) {
      if (value) env_text.push_back(name + "=" + *value);
    }
    std::vector<char*> envp;
    for (auto& e : env_text) envp.push_back(e.data());
    envp.push_back(nullptr);

    // standard input: a pipe the test writes into (WriteStdin), read as the person's typing;
    // a child that has gone must fail the write, not end the test
    ::signal(SIGPIPE, SIG_IGN);
    int input[2];
    if (::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("cannot make a pipe");
    stdin_ = input[1];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_addopen(&actions, 1, stdout_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, stderr_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int error = posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    if (error != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(error));
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ~ChildProcess() {
    CloseStdin();
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  void Signal(int signal) const { ::kill(pid_, signal); }
  // Writes to the child's standard input; CloseStdin ends it.
  void WriteStdin(const std::string& text) const {
    if (stdin_ >= 0 && ::write(stdin_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      throw std::runtime_error("cannot write to the child's standard input");
  }
  void CloseStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }

  // The exit status (128 + the signal when a signal ended it); -1 when it has not ended in
  // time, and it is then killed.
  int WaitExit(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  std::string Stdout() const { return ReadFileBytes(stdout_path_); }
  std::string Stderr() const { return ReadFileBytes(stderr_path_); }

 private:
  std::string stdout_path_;
  std::string stderr_path_;
  pid_t pid_ = -1;
  int stdin_ = -1;
};

struct ChildResult {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the executable to its end (at most 60 s).
inline ChildResult RunToEnd(const std::string& program, const std::vector<std::string>& arguments,
                            ChildProcess::Environment environment, const std::string& output_folder) {
  ChildProcess child(program, arguments, std::move(environment), output_folder);
  child.CloseStdin();  // nobody types
  const int status = child.WaitExit(std::chrono::seconds(60));
  return {status, child.Stdout(), child.Stderr()};
}

}  // namespace nuvexa::test
