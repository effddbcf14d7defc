// The RPC endpoints: listing, folder creation, deletion.
#include <algorithm>

#include "cloud_path.h"
#include "fake_cloud.h"

namespace fake_cloud {
namespace {

constexpr int64_t kLargestLimit = 2000;

// Where a listing goes on: the folder, the last name sent and the page size. Kept in
// the cursor itself, in hex so that it is safe inside any JSON text.
struct CursorState {
  std::string folder;
  std::string after;
  size_t limit = 0;
};

std::string EncodeCursor(const CursorState& state) {
  const std::string text = Json{{"folder", state.folder}, {"after", state.after}, {"limit", state.limit}}.dump();
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (const unsigned char c : text) {
    hex += kHex[c >> 4];
    hex += kHex[c & 0x0F];
  }
  return hex;
}

std::optional<CursorState> DecodeCursor(const std::string& cursor) {
  if (cursor.size() % 2 != 0) return std::nullopt;
  std::string text;
  for (size_t i = 0; i < cursor.size(); i += 2) {
    const auto digit = [](char c) { return c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= '0' && c <= '9' ? c - '0' : -1; };
    const int high = digit(cursor[i]), low = digit(cursor[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    text += static_cast<char>(high * 16 + low);
  }
  const Json state = Json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (!state.is_object() || !state.value("folder", Json()).is_string() || !state.value("after", Json()).is_string() ||
      !state.value("limit", Json()).is_number_unsigned() || state["limit"] == 0) {
    return std::nullopt;
  }
  return CursorState{state["folder"].get<std::string>(), state["after"].get<std::string>(),
                     state["limit"].get<size_t>()};
}

}  // namespace

Json FakeCloud::ListPage(const std::string& folder, const std::string& after, size_t limit) {
  const std::vector<Entry> entries = storage_.List(folder);
  auto next = std::find_if(entries.begin(), entries.end(),
                           [&](const Entry& e) { return after.empty() || PathLower(e.name) > after; });
  CursorState state{PathLower(folder), after, limit};
  Json page = Json::array();
  for (; next != entries.end() && page.size() < limit; ++next) {
    page.push_back(EntryJson(*next, /*with_tag=*/true));
    state.after = PathLower(next->name);
  }
  return {{"entries", std::move(page)}, {"cursor", EncodeCursor(state)}, {"has_more", next != entries.end()}};
}

void FakeCloud::ListFolder(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const std::string path = PathArgument(call, argument, /*root_allowed=*/true);
  if (path == "/") call.RejectArgument("path: Specify the root folder as an empty string rather than as \"/\".");
  if (argument.value("recursive", false)) call.RejectArgument("recursive: this server lists one level only");
  size_t limit = page_size_;
  if (argument.contains("limit")) {
    const auto asked = argument["limit"].get<int64_t>();
    if (asked < 1 || asked > kLargestLimit) {
      call.RejectArgument("limit: " + std::to_string(asked) + " is not within the range [1, 2000]");
    }
    limit = std::min(limit, static_cast<size_t>(asked));
  }
  try {
    SendJson(response, 200, ListPage(path, "", limit));
  } catch (const PathProblem& problem) {
    throw NestedError("path", problem.tags());
  }
}

void FakeCloud::ListFolderContinue(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const auto state = DecodeCursor(argument.at("cursor").get<std::string>());
  if (!state) call.RejectArgument("cursor: not a cursor of this server");
  try {
    SendJson(response, 200, ListPage(state->folder, state->after, state->limit));
  } catch (const PathProblem& problem) {
    throw NestedError("path", problem.tags());
  }
}

void FakeCloud::CreateFolder(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const std::string path = PathArgument(call, argument, /*root_allowed=*/false);
  try {
    const Entry made = storage_.CreateFolder(path, argument.value("autorename", false));
    SendJson(response, 200, {{"metadata", EntryJson(made, /*with_tag=*/false)}});
  } catch (const PathProblem& problem) {
    throw NestedError("path", problem.tags());
  }
}

void FakeCloud::Delete(Call& call, httplib::Response& response) {
  const Json argument = call.Argument();
  const std::string path = PathArgument(call, argument, /*root_allowed=*/false);
  try {
    const Entry deleted = storage_.Delete(path);
    SendJson(response, 200, {{"metadata", EntryJson(deleted, /*with_tag=*/true)}});
  } catch (const PathProblem& problem) {
    throw NestedError("path_lookup", problem.tags());
  }
}

}  // namespace fake_cloud
