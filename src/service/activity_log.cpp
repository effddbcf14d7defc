#include "service/activity_log.h"

#include <algorithm>
#include <cstdio>
#include <optional>

#include "platform/code_page.h"
#include "platform/file.h"

namespace nuvexa {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LEBom = "\xFF\xFE";
constexpr std::string_view kUtf16BEBom = "\xFE\xFF";

// Opens the log for reading and appending; when it cannot be read, for appending alone,
// keeping the read error for the entry to carry.
platform::File OpenLog(const std::string& path, std::optional<platform::FileError>& read_error) {
  try {
    return platform::File::OpenForAppend(path, platform::File::Access::ReadAppend);
  } catch (const platform::FileError& error) {
    read_error = error;
    return platform::File::OpenForAppend(path, platform::File::Access::WriteAppend);
  }
}

}  // namespace

LogEncoding DetectLogEncoding(std::string_view head) {
  if (head.starts_with(kUtf8Bom)) return LogEncoding::Utf8;
  if (head.starts_with(kUtf16LEBom)) return LogEncoding::Utf16LE;
  if (head.starts_with(kUtf16BEBom)) return LogEncoding::Utf16BE;
  return LogEncoding::Ansi;
}

std::string_view ByteOrderMark(LogEncoding encoding) {
  switch (encoding) {
    case LogEncoding::Utf8: return kUtf8Bom;
    case LogEncoding::Utf16LE: return kUtf16LEBom;
    case LogEncoding::Utf16BE: return kUtf16BEBom;
    case LogEncoding::Ansi: break;
  }
  return {};
}

bool EndsWithLineBreak(std::string_view tail, LogEncoding encoding) {
  auto is_break = [](char c) { return c == '\r' || c == '\n'; };
  switch (encoding) {
    case LogEncoding::Utf16LE:
      return tail.size() >= 2 && is_break(tail[tail.size() - 2]) && tail.back() == '\0';
    case LogEncoding::Utf16BE:
      return tail.size() >= 2 && tail[tail.size() - 2] == '\0' && is_break(tail.back());
    case LogEncoding::Ansi:
    case LogEncoding::Utf8:
      break;
  }
  return !tail.empty() && is_break(tail.back());
}

std::string FormatLogTimestamp(platform::TDateTime when, platform::DateTimeSeparators separators) {
  const platform::DateParts d = platform::DecodeDate(when);
  const platform::TimeParts t = platform::DecodeTime(when);
  char text[32];
  std::snprintf(text, sizeof text, "%02d%c%02d%c%04d %02d%c%02d%c%02d", d.day, separators.date, d.month,
                separators.date, d.year, t.hour, separators.time, t.minute, separators.time, t.second);
  return text;
}

std::string BuildLogEntry(std::string_view timestamp, std::string_view message) {
  std::string entry;
  entry.reserve(timestamp.size() + 3 + message.size() + 2);
  entry.append(timestamp).append(" - ");
  for (std::size_t i = 0; i < message.size(); ++i) {
    const char c = message[i];
    if (c == '\r' || c == '\n') {
      entry.append("\r\n");
      if (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n') ++i;
    } else {
      entry.push_back(c);
    }
  }
  entry.append("\r\n");
  return entry;
}

std::string EncodeLogText(std::string_view utf8, LogEncoding encoding) {
  switch (encoding) {
    case LogEncoding::Ansi: return platform::FromUtf8(utf8, platform::CodePage::Ansi);
    case LogEncoding::Utf16LE: return platform::FromUtf8(utf8, platform::CodePage::Utf16LE);
    case LogEncoding::Utf16BE: return platform::FromUtf8(utf8, platform::CodePage::Utf16BE);
    case LogEncoding::Utf8: break;
  }
  return std::string(utf8);
}

LogFileState InspectLog(std::uint64_t size,
                        const std::function<std::string(std::uint64_t offset, std::size_t count)>& read_at) {
  LogFileState state;
  auto attempt = [&](std::uint64_t offset, std::size_t count) -> std::optional<std::string> {
    try {
      return read_at(offset, count);
    } catch (const platform::FileError& error) {
      if (state.read_error.empty()) state.read_error = error.what();
      return std::nullopt;
    }
  };
  // A mark that cannot be read is taken for no mark: Windows-1252, the encoding in which
  // the service creates the log.
  if (const std::optional<std::string> head = attempt(0, 3)) state.encoding = DetectLogEncoding(*head);
  const std::uint64_t bom = ByteOrderMark(state.encoding).size();
  if (size <= bom) return state;
  const std::uint64_t tail_size = std::min<std::uint64_t>(2, size - bom);
  const std::optional<std::string> tail = attempt(size - tail_size, static_cast<std::size_t>(tail_size));
  // Last bytes that cannot be read are taken for an unended line: an empty line at worst,
  // never an entry glued to the end of the last one.
  state.needs_line_break = !tail || !EndsWithLineBreak(*tail, state.encoding);
  return state;
}

std::string ActivityLog::Write(std::string_view message) const {
  std::optional<platform::FileError> read_error;
  platform::File file = OpenLog(path_, read_error);
  file.LockExclusive(lock_patience_);
  const LogFileState state = InspectLog(file.Size(), [&](std::uint64_t offset, std::size_t count) {
    if (read_error) throw *read_error;
    return file.ReadAt(offset, count);
  });
  // the lines in the file stay where they are; the entry tells why it replaced the message
  const std::string_view text = state.read_error.empty() ? message : std::string_view(state.read_error);

  std::string entry = BuildLogEntry(FormatLogTimestamp(platform::Now(), platform::LocaleDateTimeSeparators()), text);
  const std::string written = state.needs_line_break ? "\r\n" + entry : entry;
  file.Append(EncodeLogText(written, state.encoding));
  return entry;
}

}  // namespace nuvexa
