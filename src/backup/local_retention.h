#pragma once

#include <string>
#include <vector>

#include "platform/date_time.h"

namespace nuvexa::backup {

// The files of one folder trim: full path and last-write time at MS-DOS resolution, kept
// oldest first. Files of the same time are kept in path order, so a trim is repeatable.
class TBArquivos {
 public:
  struct Row {
    std::string ARQUIVO;
    platform::TDateTime DATAHORAARQUIVO;
  };

  void Clear() { rows_.clear(); }
  void Append(Row row);
  const std::vector<Row>& Rows() const { return rows_; }

  // The paths to delete so that at most `keep` files remain: the oldest ones.
  std::vector<std::string> OldestBeyond(int keep) const;

 private:
  std::vector<Row> rows_;
};

// The names (without folder) of the files in `folder` that match the mask: neither folders
// nor hidden nor system files, subfolders not searched.
std::vector<std::string> GetFileList(const std::string& folder, const std::string& mask);

// A file's last-write time as the trim orders it: local time cut to MS-DOS's 2-second steps.
// Throws std::invalid_argument when the file has no time (it vanished meanwhile).
platform::TDateTime RetentionTime(const std::string& path);

}  // namespace nuvexa::backup
