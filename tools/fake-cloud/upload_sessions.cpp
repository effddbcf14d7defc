#include "upload_sessions.h"

#include <fstream>
#include <stdexcept>

#include "storage.h"

namespace fake_cloud {

UploadSessions::UploadSessions(std::filesystem::path folder) : folder_(std::move(folder)) {}

std::string UploadSessions::Start() {
  const std::string id = RandomText(32, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  auto slot = std::make_shared<Lease::Slot>();
  slot->session.file = folder_ / id;
  if (!std::ofstream(slot->session.file, std::ios::binary)) {
    throw std::runtime_error("cannot create " + slot->session.file.string());
  }
  std::lock_guard lock(mutex_);
  sessions_.emplace(id, std::move(slot));
  return id;
}

std::optional<UploadSessions::Lease> UploadSessions::Acquire(const std::string& id) {
  std::shared_ptr<Lease::Slot> slot;
  {
    std::lock_guard lock(mutex_);
    const auto found = sessions_.find(id);
    if (found == sessions_.end()) return std::nullopt;
    slot = found->second;
  }
  return Lease(std::move(slot));
}

void UploadSessions::Remove(const std::string& id) {
  std::shared_ptr<Lease::Slot> slot;
  {
    std::lock_guard lock(mutex_);
    const auto found = sessions_.find(id);
    if (found == sessions_.end()) return;
    slot = std::move(found->second);
    sessions_.erase(found);
  }
  std::error_code ignored;
  std::filesystem::remove(slot->session.file, ignored);
}

}  // namespace fake_cloud
