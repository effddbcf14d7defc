#include "firebird/named_params.h"

namespace nuvexa::firebird {
namespace {

bool IsNameStart(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; }
bool IsNamePart(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '$'; }

// The end of the quoted text, comment or name that starts at `i`, or `i` when none does.
std::size_t SkipVerbatim(std::string_view sql, std::size_t i) {
  const char c = sql[i];
  if (c == '\'' || c == '"') {
    // a doubled quote inside is an escaped quote: closing and reopening gives the same end
    const std::size_t close = sql.find(c, i + 1);
    return close == std::string_view::npos ? sql.size() : close + 1;
  }
  if (sql.substr(i, 2) == "--") {
    const std::size_t eol = sql.find('\n', i);
    return eol == std::string_view::npos ? sql.size() : eol;
  }
  if (sql.substr(i, 2) == "/*") {
    const std::size_t close = sql.find("*/", i + 2);
    return close == std::string_view::npos ? sql.size() : close + 2;
  }
  return i;
}

}  // namespace

MarkedSql MarkNamedParams(std::string_view sql) {
  MarkedSql result;
  std::size_t i = 0;
  while (i < sql.size()) {
    if (const std::size_t end = SkipVerbatim(sql, i); end != i) {
      result.sql.append(sql.substr(i, end - i));
      i = end;
    } else if (sql[i] == ':' && i + 1 < sql.size() && IsNameStart(sql[i + 1])) {
      std::size_t end_of_name = i + 1;
      while (end_of_name < sql.size() && IsNamePart(sql[end_of_name])) ++end_of_name;
      result.markers.emplace_back(sql.substr(i + 1, end_of_name - i - 1));
      result.sql += '?';
      i = end_of_name;
    } else {
      result.sql += sql[i++];
    }
  }
  return result;
}

}  // namespace nuvexa::firebird
