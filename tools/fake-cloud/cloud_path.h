#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fake_cloud {

// The name of the folder under the root that holds the server's own state. It is
// never listed and no cloud path may name it.
inline constexpr std::string_view kStateFolderName = ".fake-cloud";

// Lower-cases text the way the service builds path_lower: every letter that has a
// lower-case form, not only A to Z. Bytes that are not UTF-8 stay as they are.
std::string PathLower(std::string_view text);

bool IsUtf8(std::string_view text);

// The components of a cloud path ("/a/b" gives {"a", "b"}, "" gives {}), or nothing
// when the service would call the path malformed: no leading slash, an empty, "." or
// ".." component, a trailing slash, a control character, text that is not UTF-8.
std::optional<std::vector<std::string>> SplitCloudPath(std::string_view path);

// The n-th name that autorename tries: "b.zip" gives "b (1).zip"; a folder, or a file
// without an extension, gets the number at the end.
std::string NumberedName(std::string_view name, int n, bool is_file);

}  // namespace fake_cloud
