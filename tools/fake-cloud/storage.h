#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "metadata_store.h"

namespace fake_cloud {

struct Entry {
  bool is_folder = false;
  std::string name;
  std::string id;
  std::string path_lower;
  std::string path_display;
  // Files only.
  uint64_t size = 0;
  std::string client_modified;
  std::string server_modified;
  std::string rev;
  std::string content_hash;
};

enum class WriteMode { kAdd, kOverwrite, kUpdate };

struct Commit {
  std::string path;
  WriteMode mode = WriteMode::kAdd;
  std::string update_rev;  // for kUpdate
  bool autorename = false;
  std::optional<std::string> client_modified;
};

struct OpenFile {
  Entry entry;
  std::unique_ptr<std::ifstream> stream;
};

// The cloud's files and folders, kept in a folder on disk: cloud path "/a/b.zip" is
// <root>/a/b.zip. Names on disk keep the case they were created with (path_display);
// lookups ignore case as the service does. Failures about a path are thrown as
// PathProblem. Safe to call from several threads.
class Storage {
 public:
  explicit Storage(std::filesystem::path root);

  // The entries of a folder ("" is the root), ordered by name.
  std::vector<Entry> List(std::string_view folder);
  Entry CreateFolder(std::string_view path, bool autorename);
  // Deletes a file, or a folder with all it holds; returns what was deleted.
  Entry Delete(std::string_view path);
  // Moves a file written in the staging folder to its place in the cloud. Adding what
  // the path already holds leaves the staged file where it is and returns the file
  // that was there.
  Entry CommitFile(const std::filesystem::path& staged, const std::string& content_hash,
                   const Commit& commit);
  OpenFile Open(std::string_view path);

  // A new name in the staging folder, on the same file system as the root so that a
  // commit is a rename.
  std::filesystem::path NewStagingPath();
  const std::filesystem::path& sessions_folder() const { return sessions_folder_; }

 private:
  struct Located {
    std::filesystem::path disk;
    std::string display;  // "" for the root
    bool is_folder = true;
  };

  std::vector<Located> Children(const Located& folder) const;
  std::optional<Located> Find(const std::vector<std::string>& parts) const;
  std::optional<Located> FindChild(const Located& folder, std::string_view name) const;
  Located MakeFolders(const std::vector<std::string>& parts);
  std::string FreeName(const Located& folder, std::string_view name, bool is_file) const;
  Entry Describe(const Located& located);

  std::filesystem::path root_;
  std::filesystem::path staging_folder_;
  std::filesystem::path sessions_folder_;
  std::mutex mutex_;
  MetadataStore store_;
};

// Fresh random text for ids, revisions and session ids.
std::string RandomText(size_t length, std::string_view alphabet);

}  // namespace fake_cloud
