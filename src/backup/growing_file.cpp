#include "backup/growing_file.h"

#include <utility>

#include "backup/zip_error.h"
#include "platform/file.h"

namespace nuvexa::backup {

GrowingFile::GrowingFile(std::string path, std::chrono::milliseconds poll) : path_(std::move(path)), poll_(poll) {}

GrowingFile::Writer GrowingFile::State() {
  const std::lock_guard lock(mutex_);
  return writer_;
}

void GrowingFile::Settle(Writer state) {
  {
    const std::lock_guard lock(mutex_);
    if (writer_ != Writer::working) return;
    writer_ = state;
  }
  changed_.notify_all();
}

void GrowingFile::WriterFinished() { Settle(Writer::finished); }
void GrowingFile::WriterFailed() { Settle(Writer::failed); }

bool GrowingFile::OpenWhenThere() {
  if (file_) return true;
  if (!platform::FileExists(path_)) return false;
  try {
    file_.emplace(platform::InputFile::Open(path_));
  } catch (const platform::FileError&) {
    return false;  // not yet openable: the server may be making it
  }
  return true;
}

std::size_t GrowingFile::Read(std::span<char> buffer) {
  std::size_t done = 0;
  while (done < buffer.size()) {
    // Taken before reading: a writer that had finished by then had written everything the
    // read below can see.
    const Writer state = State();
    if (state == Writer::failed) throw ZipError("o backup falhou enquanto era compactado");
    if (OpenWhenThere()) {
      const std::size_t n = file_->Read(buffer.subspan(done));
      done += n;
      read_ += n;
      if (n > 0) continue;
    }
    if (state == Writer::finished) {
      if (file_) break;
      if (!platform::FileExists(path_)) throw ZipError("o arquivo de backup " + path_ + " não foi encontrado");
      file_.emplace(platform::InputFile::Open(path_));  // now its error is the one to report
      continue;
    }
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, poll_, [&] { return writer_ != Writer::working; });
  }
  return done;
}

bool GrowingFile::ReadWhole() const {
  return file_ && file_->IsFileAt(path_) && file_->Size() == read_;
}

}  // namespace nuvexa::backup
