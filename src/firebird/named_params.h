#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace nuvexa::firebird {

// A statement text with its named parameters (":NAME") turned into the "?" markers that
// the server takes.
struct MarkedSql {
  std::string sql;
  std::vector<std::string> markers;  // the parameter name of each marker, in order
};

// Names start with a letter or "_" and go on with letters, digits, "_" and "$". Colons
// inside quoted strings, quoted identifiers and comments stay as they are, and so does a
// colon that no name follows. A name used twice gives two markers.
MarkedSql MarkNamedParams(std::string_view sql);

}  // namespace nuvexa::firebird
