#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace fake_cloud {

// An upload session: the bytes received so far, in a file of its own.
struct UploadSession {
  std::filesystem::path file;
  uint64_t size = 0;
  bool closed = false;
};

// Open upload sessions, in memory. A request holds its session's lock while it
// streams its body in, so two requests on one session cannot interleave their bytes.
class UploadSessions {
 public:
  class Lease {
   public:
    UploadSession& operator*() const { return slot_->session; }
    UploadSession* operator->() const { return &slot_->session; }

   private:
    friend class UploadSessions;
    struct Slot {
      std::mutex mutex;
      UploadSession session;
    };
    explicit Lease(std::shared_ptr<Slot> slot) : slot_(std::move(slot)), lock_(slot_->mutex) {}

    std::shared_ptr<Slot> slot_;
    std::unique_lock<std::mutex> lock_;
  };

  explicit UploadSessions(std::filesystem::path folder);

  // Opens a new, empty session and returns its id.
  std::string Start();
  // Holds the session until the lease ends; nothing for an unknown id.
  std::optional<Lease> Acquire(const std::string& id);
  void Remove(const std::string& id);

 private:
  std::filesystem::path folder_;
  std::mutex mutex_;
  std::map<std::string, std::shared_ptr<Lease::Slot>> sessions_;
};

}  // namespace fake_cloud
