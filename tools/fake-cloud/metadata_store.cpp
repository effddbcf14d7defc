#include "metadata_store.h"

#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace fake_cloud {

MetadataStore::MetadataStore(std::filesystem::path file) : file_(std::move(file)) {
  std::ifstream in(file_);
  if (!in) return;
  const auto saved = nlohmann::json::parse(in, nullptr, /*allow_exceptions=*/false);
  if (!saved.is_object()) return;  // a damaged store only costs the ids
  for (const auto& [path_lower, r] : saved.items()) {
    records_[path_lower] = EntryRecord{r.value("id", ""),
                                       r.value("rev", ""),
                                       r.value("client_modified", ""),
                                       r.value("server_modified", ""),
                                       r.value("content_hash", ""),
                                       r.value("size", uint64_t{0}),
                                       r.value("disk_stamp", int64_t{0})};
  }
}

const EntryRecord* MetadataStore::Find(const std::string& path_lower) const {
  const auto found = records_.find(path_lower);
  return found == records_.end() ? nullptr : &found->second;
}

void MetadataStore::Put(const std::string& path_lower, EntryRecord record) {
  records_[path_lower] = std::move(record);
  changed_ = true;
}

void MetadataStore::EraseTree(const std::string& path_lower) {
  const std::string below = path_lower + "/";
  for (auto it = records_.begin(); it != records_.end();) {
    if (it->first == path_lower || it->first.starts_with(below)) {
      it = records_.erase(it);
      changed_ = true;
    } else {
      ++it;
    }
  }
}

void MetadataStore::SaveIfChanged() {
  if (!changed_) return;
  nlohmann::json saved = nlohmann::json::object();
  for (const auto& [path_lower, r] : records_) {
    saved[path_lower] = {{"id", r.id},
                         {"rev", r.rev},
                         {"client_modified", r.client_modified},
                         {"server_modified", r.server_modified},
                         {"content_hash", r.content_hash},
                         {"size", r.size},
                         {"disk_stamp", r.disk_stamp}};
  }
  // Written aside and renamed, so a crash never leaves half a store.
  const std::filesystem::path temporary = file_.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::trunc);
    out << saved.dump(1, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
    if (!out.flush()) throw std::runtime_error("cannot write " + temporary.string());
  }
  std::filesystem::rename(temporary, file_);
  changed_ = false;
}

}  // namespace fake_cloud
