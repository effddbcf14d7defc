// What the log reads of an existing file before it appends (the byte-order mark at its start,
// whether its last bytes end a line), and the entry encoded the way the file was written.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "service/activity_log.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace nuvexa;
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  // the reads the log makes of its file, served from the input as a file would serve them
  const LogFileState state = InspectLog(file.size(), [&](std::uint64_t offset, std::size_t count) {
    if (offset > file.size()) __builtin_trap();
    return std::string(file.substr(static_cast<std::size_t>(offset), count));
  });
  if (!state.read_error.empty()) __builtin_trap();
  if (!file.starts_with(ByteOrderMark(state.encoding))) __builtin_trap();
  // the same bytes as an entry's text: messages carry whatever the server or the disk said
  EncodeLogText(file, state.encoding);
  return 0;
}
