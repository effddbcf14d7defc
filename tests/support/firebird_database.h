#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "support/firebird_server.h"
#include "support/temp_folder.h"

namespace nuvexa::test {

// A fresh database on the local Firebird server, in a folder of its own, dropped when the
// object goes. Set up and inspected with isql-fb, so a test never checks the client layer
// with itself.
class FirebirdDatabase {
 public:
  // Creates the database (character set ISO8859_1) and runs `setup_sql` in it: isql
  // statements, each ending with ";", UTF-8 text.
  explicit FirebirdDatabase(std::string_view setup_sql = {});
  ~FirebirdDatabase();
  FirebirdDatabase(const FirebirdDatabase&) = delete;
  FirebirdDatabase& operator=(const FirebirdDatabase&) = delete;

  // The database file's path, as the server sees it.
  const std::string& Path() const { return path_; }
  // The folder that holds it (ending with '/'), writable by the server.
  const std::string& Folder() const { return folder_.Path(); }

  // The twelve entries of the local connection, for this database and password.
  std::vector<std::string> ConnectionParams(std::string_view password = kSysdbaPassword) const;

  // Runs isql statements (UTF-8) in the database and returns isql's output. Throws
  // std::runtime_error with that output when isql fails.
  std::string RunSql(std::string_view sql) const;
  // The one value a SELECT (without its ";") returns, as isql prints it, its words joined
  // by single spaces; "<null>" for NULL.
  std::string Scalar(std::string_view select) const;

 private:
  TempFolder folder_;
  std::string path_;
};

// Runs an isql script and returns its output; throws std::runtime_error when isql fails.
std::string RunIsql(const TempFolder& scratch, std::string_view script);

}  // namespace nuvexa::test
