#include "support/firebird_database.h"

#include <sstream>

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <utility>
#include <stdexcept>

namespace nuvexa::test {
namespace {

std::string Credentials() { return std::string(" USER 'SYSDBA' PASSWORD '") + kSysdbaPassword + "'"; }

std::string ServerPath(const std::string& path) { return std::string(kFirebirdHost) + ":" + path; }

// A child process's output, read through popen.
class Pipe {
 public:
  explicit Pipe(const std::string& command) : file_(::popen(command.c_str(), "r")) {
    if (file_ == nullptr) throw std::runtime_error("cannot run " + command);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    if (file_ != nullptr) ::pclose(file_);
  }
  FILE* Get() const { return file_; }
  // The child's exit status as waitpid gives it.
  int Close() { return ::pclose(std::exchange(file_, nullptr)); }

 private:
  FILE* file_;
};

}  // namespace

std::string RunIsql(const TempFolder& scratch, std::string_view script) {
  const std::string script_path = scratch.WriteFile("script.sql", "SET NAMES UTF8;\n" + std::string(script) + "\n");
  const std::string command = "isql-fb -q -b -i '" + script_path + "' 2>&1";
  Pipe pipe(command);
  std::string output;
  std::array<char, 4096> buffer{};
  while (const std::size_t read = std::fread(buffer.data(), 1, buffer.size(), pipe.Get())) {
    output.append(buffer.data(), read);
  }
  const int status = pipe.Close();
  std::remove(script_path.c_str());
  if (status != 0) throw std::runtime_error("isql-fb failed:\n" + output);
  return output;
}

FirebirdDatabase::FirebirdDatabase(std::string_view setup_sql) {
  // the server creates and opens the file in its own account
  ::chmod(folder_.Path().c_str(), 0777);
  path_ = folder_.Path() + "test.fdb";
  RunIsql(folder_, "CREATE DATABASE '" + ServerPath(path_) + "'" + Credentials() +
                       " DEFAULT CHARACTER SET ISO8859_1;\n" + std::string(setup_sql) + "\nCOMMIT;");
}

FirebirdDatabase::~FirebirdDatabase() {
  try {
    RunIsql(folder_, "CONNECT '" + ServerPath(path_) + "'" + Credentials() + ";\nDROP DATABASE;");
  } catch (const std::exception&) {
    // the folder and the file go with the temporary folder anyway
  }
}

std::vector<std::string> FirebirdDatabase::ConnectionParams(std::string_view password) const {
  return {"DriverID=FB",
          "Pooled=false",
          "Database=" + path_,
          "User_Name=SYSDBA",
          "Password=" + std::string(password),
          "Protocol=TCPIP",
          std::string("Server=") + kFirebirdHost,
          "Port=" + std::to_string(kFirebirdPort),
          "SQLDialect=3",
          "CharacterSet=ISO8859_1",
          "ExtendedMetaData=False",
          "OpenMode=Open"};
}

std::string FirebirdDatabase::RunSql(std::string_view sql) const {
  return RunIsql(folder_, "CONNECT '" + ServerPath(path_) + "'" + Credentials() + ";\n" + std::string(sql) +
                              "\nCOMMIT;");
}

std::string FirebirdDatabase::Scalar(std::string_view select) const {
  std::istringstream words(RunSql("SET HEADING OFF; " + std::string(select) + ";"));
  std::string value, word;
  while (words >> word) value += (value.empty() ? "" : " ") + word;
  return value;
}

}  // namespace nuvexa::test
