// The content endpoints: upload, upload sessions, download. Bodies go to disk as they
// arrive; none is held in memory.
#include <fstream>

#include "content_hash.h"
#include "fake_cloud.h"
#include "timestamps.h"

namespace fake_cloud {
namespace fs = std::filesystem;

namespace {

// The most one request may carry.
constexpr uint64_t kLargestBody = 150ull * 1024 * 1024;

const ApiError kPayloadTooLarge("payload_too_large/..", {{".tag", "payload_too_large"}});

// A file in the staging folder, removed at the end of the request unless a commit
// has moved it into the cloud.
class StagedFile {
 public:
  explicit StagedFile(fs::path path) : path_(std::move(path)) {}
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;
  ~StagedFile() {
    std::error_code ignored;
    fs::remove(path_, ignored);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

// Appends the body to the file and returns how many bytes it had. A body that does
// not arrive whole leaves the file as it was.
uint64_t ReceiveBody(Call& call, const fs::path& file) {
  const uint64_t before = fs::exists(file) ? fs::file_size(file) : 0;
  std::ofstream out(file, std::ios::binary | std::ios::app);
  const bool whole = call.ReadBody([&](const char* data, size_t size) {
    out.write(data, static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
  });
  out.close();
  if (!whole || !out) {
    std::error_code ignored;
    fs::resize_file(file, before, ignored);
    throw std::runtime_error("the request body did not arrive whole");
  }
  return fs::file_size(file) - before;
}

Commit ParseCommit(const Call& call, const Json& argument) {
  Commit commit;
  commit.path = PathArgument(call, argument, /*root_allowed=*/false);
  commit.autorename = argument.value("autorename", false);
  if (argument.contains("mode")) {
    // Either "add" or {".tag": "add"}; update carries the revision it expects.
    const Json& mode = argument["mode"];
    const std::string tag = mode.is_string() ? mode.get<std::string>() : mode.at(".tag").get<std::string>();
    if (tag == "add") {
      commit.mode = WriteMode::kAdd;
    } else if (tag == "overwrite") {
      commit.mode = WriteMode::kOverwrite;
    } else if (tag == "update" && mode.is_object()) {
      commit.mode = WriteMode::kUpdate;
      commit.update_rev = mode.at("update").get<std::string>();
    } else {
      call.RejectArgument("mode: unknown write mode " + mode.dump());
    }
  }
  if (argument.contains("client_modified")) {
    const std::string text = argument["client_modified"].get<std::string>();
    if (!ParseTimestamp(text)) call.RejectArgument("client_modified: '" + text + "' is not %Y-%m-%dT%H:%M:%SZ");
    commit.client_modified = text;
  }
  return commit;
}

void CheckContentHash(const Json& argument, const std::string& received) {
  if (argument.contains("content_hash") && argument["content_hash"].get<std::string>() != received) {
    throw ApiError("content_hash_mismatch/..", {{".tag", "content_hash_mismatch"}});
  }
}

struct SessionCursor {
  std::string session_id;
  uint64_t offset = 0;
};

SessionCursor ParseCursor(const Json& argument) {
  const Json& cursor = argument.at("cursor");
  return {cursor.at("session_id").get<std::string>(), cursor.at("offset").get<uint64_t>()};
}

}  // namespace

void FakeCloud::Upload(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const Commit commit = ParseCommit(call, argument);
  const StagedFile staged(storage_.NewStagingPath());
  if (ReceiveBody(call, staged.path()) > kLargestBody) throw kPayloadTooLarge;
  const std::string content_hash = ContentHashOfFile(staged.path());
  CheckContentHash(argument, content_hash);
  try {
    SendJson(response, 200, EntryJson(storage_.CommitFile(staged.path(), content_hash, commit), false));
  } catch (const PathProblem& problem) {
    // The upload's error names the write failure "reason", not "path".
    throw ApiError("path/" + JoinTags(problem.tags()) + "..",
                   {{".tag", "path"}, {"reason", NestedTags(problem.tags())}, {"upload_session_id", ""}});
  }
}

void FakeCloud::SessionStart(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const std::string id = sessions_.Start();
  auto lease = sessions_.Acquire(id);
  UploadSession& session = **lease;
  session.size = ReceiveBody(call, session.file);
  if (session.size > kLargestBody) {
    sessions_.Remove(id);
    throw kPayloadTooLarge;
  }
  session.closed = argument.value("close", false);
  SendJson(response, 200, {{"session_id", id}});
}

void FakeCloud::SessionAppend(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const SessionCursor cursor = ParseCursor(argument);
  auto lease = sessions_.Acquire(cursor.session_id);
  if (!lease) throw ApiError("not_found/..", {{".tag", "not_found"}});
  UploadSession& session = **lease;
  if (session.closed) throw ApiError("closed/..", {{".tag", "closed"}});
  if (cursor.offset != session.size) {
    throw ApiError("incorrect_offset/..", {{".tag", "incorrect_offset"}, {"correct_offset", session.size}});
  }
  const uint64_t received = ReceiveBody(call, session.file);
  if (received > kLargestBody) {
    fs::resize_file(session.file, session.size);
    throw kPayloadTooLarge;
  }
  session.size += received;
  session.closed = argument.value("close", false);
  SendJson(response, 200, nullptr);
}

void FakeCloud::SessionFinish(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const SessionCursor cursor = ParseCursor(argument);
  const Commit commit = ParseCommit(call, argument.at("commit"));
  auto lease = sessions_.Acquire(cursor.session_id);
  if (!lease) throw NestedError("lookup_failed", {"not_found"});
  UploadSession& session = **lease;
  if (cursor.offset != session.size) {
    Json error = {{".tag", "lookup_failed"},
                  {"lookup_failed", {{".tag", "incorrect_offset"}, {"correct_offset", session.size}}}};
    throw ApiError("lookup_failed/incorrect_offset/..", std::move(error));
  }
  const uint64_t received = ReceiveBody(call, session.file);
  if (received > kLargestBody) {
    fs::resize_file(session.file, session.size);
    throw kPayloadTooLarge;
  }
  session.size += received;
  const std::string content_hash = ContentHashOfFile(session.file);
  CheckContentHash(argument, content_hash);
  Entry committed;
  try {
    committed = storage_.CommitFile(session.file, content_hash, commit);
  } catch (const PathProblem& problem) {
    throw NestedError("path", problem.tags());
  }
  session.closed = true;  // for a request that waits on this session's lock
  sessions_.Remove(cursor.session_id);
  SendJson(response, 200, EntryJson(committed, /*with_tag=*/false));
}

void FakeCloud::Download(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const std::string path = PathArgument(call, argument, /*root_allowed=*/false);
  OpenFile file;
  try {
    file = storage_.Open(path);
  } catch (const PathProblem& problem) {
    throw NestedError("path", problem.tags());
  }
  response.status = 200;
  // Header safe: every character from 0x7F up written as \uXXXX.
  response.set_header("Dropbox-API-Result",
                      EntryJson(file.entry, false).dump(-1, ' ', /*ensure_ascii=*/true, Json::error_handler_t::replace));
  if (file.entry.size == 0) {
    response.set_content("", "application/octet-stream");
    return;
  }
  std::shared_ptr<std::ifstream> stream = std::move(file.stream);
  response.set_content_provider(
      file.entry.size, "application/octet-stream", [stream](size_t offset, size_t length, httplib::DataSink& sink) {
        std::vector<char> buffer(std::min<size_t>(length, 256 * 1024));
        stream->seekg(static_cast<std::streamoff>(offset));
        stream->read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        return stream->gcount() > 0 && sink.write(buffer.data(), static_cast<size_t>(stream->gcount()));
      });
}

}  // namespace fake_cloud
