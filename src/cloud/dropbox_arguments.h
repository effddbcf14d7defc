#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The JSON texts the client sends: fixed pieces joined with the caller's values. The
// pieces, with their spaces, are what the service has always been sent; values are
// escaped as JSON string content, which leaves the service's own paths (ASCII letters,
// digits, "_", "." and "/") unchanged.
namespace nuvexa::cloud {

// A value as the content of a JSON string, UTF-8 kept as it is. Throws on invalid UTF-8.
std::string JsonStringContent(std::string_view value);
// The same for "Dropbox-API-Arg": every character above 0x7E written as \uXXXX (surrogate
// pairs above the BMP), since raw non-ASCII bytes are refused in that header.
std::string HeaderSafeJsonStringContent(std::string_view value);

// The path itself; throws CloudError when it holds a line break (CR or LF), which would end
// a header line or split an argument. Every builder below that takes a path checks it.
std::string_view CheckedPath(std::string_view path);

// list_folder and delete_v2 body: { "path":"<path>"}
std::string PathBody(std::string_view path);
// upload and download "Dropbox-API-Arg": { "path":"<path>"}
std::string PathArgument(std::string_view path);
// list_folder/continue body: { "cursor": "<cursor>"}
std::string ListFolderContinueBody(std::string_view cursor);
// create_folder_v2 body: {"path": "<path>", "autorename": false}
std::string CreateFolderBody(std::string_view path);

// upload_session/start: {"close": true} or {"close": false}
std::string SessionStartArgument(bool close);
// upload_session/append_v2, compact: {"cursor":{"session_id":"<id>","offset":<n>},"close":<b>}
std::string SessionAppendArgument(std::string_view session_id, std::int64_t offset, bool close);
// upload_session/finish, committing in mode "add" with automatic renaming, on one line.
std::string SessionFinishArgument(std::string_view session_id, std::int64_t offset, std::string_view path);

}  // namespace nuvexa::cloud
