#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>

namespace fake_cloud {

// What the service knows of an entry beyond the folder on disk. Folders use only the
// id. A file's record holds while the file on disk keeps the size and modification
// stamp it had when the record was made; a file changed behind the server's back
// gets a new one.
struct EntryRecord {
  std::string id;
  std::string rev;
  std::string client_modified;
  std::string server_modified;
  std::string content_hash;
  uint64_t size = 0;
  int64_t disk_stamp = 0;
};

// Records by path_lower, kept in one JSON file in the state folder so that ids and
// client times survive a restart. Not thread-safe: the storage's lock covers it.
class MetadataStore {
 public:
  explicit MetadataStore(std::filesystem::path file);

  const EntryRecord* Find(const std::string& path_lower) const;
  void Put(const std::string& path_lower, EntryRecord record);
  // Forgets the entry and everything below it.
  void EraseTree(const std::string& path_lower);
  void SaveIfChanged();

 private:
  std::filesystem::path file_;
  std::map<std::string, EntryRecord> records_;
  bool changed_ = false;
};

}  // namespace fake_cloud
