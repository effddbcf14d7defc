#include "cloud/dropbox_arguments.h"

#include <nlohmann/json.hpp>

#include "cloud/cloud_error.h"

namespace nuvexa::cloud {
namespace {

std::string Escaped(std::string_view value, bool ascii_only) {
  const std::string quoted = nlohmann::json(std::string(value)).dump(-1, ' ', ascii_only);
  return quoted.substr(1, quoted.size() - 2);
}

std::string_view Path(std::string_view path) { return CheckedPath(path); }

}  // namespace

std::string_view CheckedPath(std::string_view path) {
  if (path.find_first_of("\r\n") != std::string_view::npos) {
    throw CloudError("O caminho \"" + JsonStringContent(path) +
                     "\" contém uma quebra de linha (CR ou LF); nenhum pedido foi enviado");
  }
  return path;
}

std::string JsonStringContent(std::string_view value) { return Escaped(value, false); }

std::string HeaderSafeJsonStringContent(std::string_view value) { return Escaped(value, true); }

std::string PathBody(std::string_view path) { return "{ \"path\":\"" + JsonStringContent(Path(path)) + "\"}"; }

std::string PathArgument(std::string_view path) {
  return "{ \"path\":\"" + HeaderSafeJsonStringContent(Path(path)) + "\"}";
}

std::string ListFolderContinueBody(std::string_view cursor) {
  return "{ \"cursor\": \"" + JsonStringContent(cursor) + "\"}";
}

std::string CreateFolderBody(std::string_view path) {
  return "{\"path\": \"" + JsonStringContent(Path(path)) + "\", \"autorename\": false}";
}

std::string SessionStartArgument(bool close) { return close ? "{\"close\": true}" : "{\"close\": false}"; }

std::string SessionAppendArgument(std::string_view session_id, std::int64_t offset, bool close) {
  // ordered_json keeps the members in the order the service documents.
  nlohmann::ordered_json argument;
  argument["cursor"]["session_id"] = std::string(session_id);
  argument["cursor"]["offset"] = offset;
  argument["close"] = close;
  return argument.dump(-1, ' ', true);
}

std::string SessionFinishArgument(std::string_view session_id, std::int64_t offset, std::string_view path) {
  return "{      \"cursor\": {         \"session_id\": \"" + HeaderSafeJsonStringContent(session_id) + "\"," +
         "         \"offset\": " + std::to_string(offset) + "     }," + "     \"commit\": {" +
         "         \"path\": \"" + HeaderSafeJsonStringContent(Path(path)) + "\"," + "         \"mode\": \"add\"," +
         "         \"autorename\": true," + "         \"mute\": false," + "         \"strict_conflict\": false " +
         "    }" + "}";
}

}  // namespace nuvexa::cloud
