#include "storage.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "cloud_path.h"
#include "content_hash.h"
#include "errors.h"
#include "timestamps.h"

namespace fake_cloud {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kIdAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-";
constexpr std::string_view kHexAlphabet = "0123456789abcdef";

std::string NewId() { return "id:" + RandomText(22, kIdAlphabet); }
std::string NewRev() { return RandomText(16, kHexAlphabet); }

int64_t DiskStamp(const fs::path& file) {
  return static_cast<int64_t>(fs::last_write_time(file).time_since_epoch().count());
}

// A file put in the root by hand has no upload time; its modification time stands
// in for both times, which lets a test arrange files by age.
std::string ModificationTime(const fs::path& file) {
  using namespace std::chrono;
  return FormatTimestamp(floor<seconds>(file_clock::to_sys(fs::last_write_time(file))));
}

std::vector<std::string> PartsOf(std::string_view path) {
  auto parts = SplitCloudPath(path);
  if (!parts) throw PathProblem{"malformed_path"};
  return std::move(*parts);
}

std::vector<std::string> ParentParts(const std::vector<std::string>& parts) {
  return {parts.begin(), parts.end() - 1};
}

}  // namespace

std::string RandomText(size_t length, std::string_view alphabet) {
  thread_local std::mt19937_64 generator{std::random_device{}()};
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  std::string text(length, ' ');
  for (auto& c : text) c = alphabet[pick(generator)];
  return text;
}

Storage::Storage(fs::path root)
    : root_(std::move(root)),
      staging_folder_(root_ / kStateFolderName / "staging"),
      sessions_folder_(root_ / kStateFolderName / "sessions"),
      store_(root_ / kStateFolderName / "metadata.json") {
  // Partial uploads and sessions of an earlier run cannot be resumed: the sessions
  // lived in memory.
  fs::remove_all(staging_folder_);
  fs::remove_all(sessions_folder_);
  fs::create_directories(staging_folder_);
  fs::create_directories(sessions_folder_);
}

std::vector<Storage::Located> Storage::Children(const Located& folder) const {
  std::vector<Located> children;
  for (const auto& item : fs::directory_iterator(folder.disk)) {
    const std::string name = item.path().filename().string();
    if (folder.disk == root_ && PathLower(name) == kStateFolderName) continue;
    if (!item.is_directory() && !item.is_regular_file()) continue;
    children.push_back(Located{item.path(), folder.display + "/" + name, item.is_directory()});
  }
  // By name, so that listings and their pages keep a stable order.
  std::sort(children.begin(), children.end(), [](const Located& a, const Located& b) {
    const auto key_a = PathLower(a.disk.filename().string());
    const auto key_b = PathLower(b.disk.filename().string());
    return key_a != key_b ? key_a < key_b : a.disk.filename() < b.disk.filename();
  });
  return children;
}

std::optional<Storage::Located> Storage::FindChild(const Located& folder, std::string_view name) const {
  const std::string wanted = PathLower(name);
  for (auto& child : Children(folder)) {
    if (PathLower(child.disk.filename().string()) == wanted) return std::move(child);
  }
  return std::nullopt;
}

std::optional<Storage::Located> Storage::Find(const std::vector<std::string>& parts) const {
  Located current{root_, "", true};
  for (const auto& part : parts) {
    if (!current.is_folder) return std::nullopt;
    auto child = FindChild(current, part);
    if (!child) return std::nullopt;
    current = std::move(*child);
  }
  return current;
}

// Writes create the folders above them, as the service does.
Storage::Located Storage::MakeFolders(const std::vector<std::string>& parts) {
  Located current{root_, "", true};
  for (const auto& part : parts) {
    auto child = FindChild(current, part);
    if (!child) {
      fs::create_directory(current.disk / part);
      child = Located{current.disk / part, current.display + "/" + part, true};
    } else if (!child->is_folder) {
      throw PathProblem{"conflict", "file_ancestor"};
    }
    current = std::move(*child);
  }
  return current;
}

std::string Storage::FreeName(const Located& folder, std::string_view name, bool is_file) const {
  for (int n = 1;; ++n) {
    std::string candidate = NumberedName(name, n, is_file);
    if (!FindChild(folder, candidate)) return candidate;
  }
}

Entry Storage::Describe(const Located& located) {
  Entry entry;
  entry.is_folder = located.is_folder;
  entry.name = located.disk.filename().string();
  entry.path_display = located.display;
  entry.path_lower = PathLower(located.display);

  const EntryRecord* record = store_.Find(entry.path_lower);
  if (located.is_folder) {
    if (record == nullptr || record->id.empty()) {
      EntryRecord folder;
      folder.id = NewId();
      store_.Put(entry.path_lower, std::move(folder));
      record = store_.Find(entry.path_lower);
    }
    entry.id = record->id;
    return entry;
  }

  const uint64_t size = fs::file_size(located.disk);
  const int64_t stamp = DiskStamp(located.disk);
  if (record == nullptr || record->rev.empty() || record->size != size || record->disk_stamp != stamp) {
    const std::string modified = ModificationTime(located.disk);
    store_.Put(entry.path_lower, EntryRecord{record != nullptr && !record->id.empty() ? record->id : NewId(),
                                             NewRev(), modified, modified,
                                             ContentHashOfFile(located.disk), size, stamp});
    record = store_.Find(entry.path_lower);
  }
  entry.id = record->id;
  entry.size = record->size;
  entry.client_modified = record->client_modified;
  entry.server_modified = record->server_modified;
  entry.rev = record->rev;
  entry.content_hash = record->content_hash;
  return entry;
}

std::vector<Entry> Storage::List(std::string_view folder) {
  std::lock_guard lock(mutex_);
  const auto located = Find(PartsOf(folder));
  if (!located) throw PathProblem{"not_found"};
  if (!located->is_folder) throw PathProblem{"not_folder"};
  std::vector<Entry> entries;
  for (const auto& child : Children(*located)) entries.push_back(Describe(child));
  store_.SaveIfChanged();
  return entries;
}

Entry Storage::CreateFolder(std::string_view path, bool autorename) {
  std::lock_guard lock(mutex_);
  const auto parts = PartsOf(path);
  if (parts.empty()) throw PathProblem{"malformed_path"};
  const Located parent = MakeFolders(ParentParts(parts));
  std::string name = parts.back();
  if (const auto existing = FindChild(parent, name)) {
    if (!autorename) throw PathProblem{"conflict", existing->is_folder ? "folder" : "file"};
    name = FreeName(parent, name, /*is_file=*/false);
  }
  const Located made{parent.disk / name, parent.display + "/" + name, true};
  fs::create_directory(made.disk);
  store_.EraseTree(PathLower(made.display));  // a new folder gets a new id
  Entry entry = Describe(made);
  store_.SaveIfChanged();
  return entry;
}

Entry Storage::Delete(std::string_view path) {
  std::lock_guard lock(mutex_);
  const auto parts = PartsOf(path);
  if (parts.empty()) throw PathProblem{"malformed_path"};
  const auto located = Find(parts);
  if (!located) throw PathProblem{"not_found"};
  Entry entry = Describe(*located);
  fs::remove_all(located->disk);
  store_.EraseTree(entry.path_lower);
  store_.SaveIfChanged();
  return entry;
}

Entry Storage::CommitFile(const fs::path& staged, const std::string& content_hash, const Commit& commit) {
  std::lock_guard lock(mutex_);
  const auto parts = PartsOf(commit.path);
  if (parts.empty()) throw PathProblem{"malformed_path"};
  const Located parent = MakeFolders(ParentParts(parts));
  std::string name = parts.back();
  std::string id = NewId();
  if (const auto existing = FindChild(parent, name)) {
    const Entry current = Describe(*existing);
    // Adding the very content a file already holds is no conflict for the service, so
    // autorename has nothing to avoid either: the file stays as it is.
    if (!existing->is_folder && commit.mode == WriteMode::kAdd && current.content_hash == content_hash) {
      store_.SaveIfChanged();
      return current;
    }
    const bool replace = !existing->is_folder &&
                         (commit.mode == WriteMode::kOverwrite ||
                          (commit.mode == WriteMode::kUpdate && current.rev == commit.update_rev));
    if (replace) {
      name = current.name;  // an overwrite keeps the name's case and the file's id
      id = current.id;
    } else if (commit.autorename) {
      name = FreeName(parent, name, /*is_file=*/true);
    } else {
      throw PathProblem{"conflict", existing->is_folder ? "folder" : "file"};
    }
  }
  const Located target{parent.disk / name, parent.display + "/" + name, false};
  fs::rename(staged, target.disk);
  const std::string now = FormatTimestamp(Now());
  store_.Put(PathLower(target.display),
             EntryRecord{id, NewRev(), commit.client_modified.value_or(now), now, content_hash,
                         fs::file_size(target.disk), DiskStamp(target.disk)});
  Entry entry = Describe(target);
  store_.SaveIfChanged();
  return entry;
}

OpenFile Storage::Open(std::string_view path) {
  std::lock_guard lock(mutex_);
  const auto located = Find(PartsOf(path));
  if (!located) throw PathProblem{"not_found"};
  if (located->is_folder) throw PathProblem{"not_file"};
  OpenFile open{Describe(*located), std::make_unique<std::ifstream>(located->disk, std::ios::binary)};
  if (!*open.stream) throw std::runtime_error("cannot read " + located->disk.string());
  store_.SaveIfChanged();
  return open;
}

fs::path Storage::NewStagingPath() { return staging_folder_ / RandomText(24, kHexAlphabet); }

}  // namespace fake_cloud
