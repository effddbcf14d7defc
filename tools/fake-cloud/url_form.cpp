#include "url_form.h"

namespace fake_cloud {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Decoded(std::string_view text) {
  std::string decoded;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      decoded += ' ';
    } else if (text[i] != '%') {
      decoded += text[i];
    } else {
      const int high = i + 2 < text.size() ? HexDigit(text[i + 1]) : -1;
      const int low = high >= 0 ? HexDigit(text[i + 2]) : -1;
      if (low < 0) throw std::invalid_argument("bad percent escape in \"" + std::string(text) + "\"");
      decoded += static_cast<char>(high * 16 + low);
      i += 2;
    }
  }
  return decoded;
}

}  // namespace

std::map<std::string, std::string> ParseUrlForm(std::string_view body) {
  std::map<std::string, std::string> fields;
  while (!body.empty()) {
    const size_t end = body.find('&');
    const std::string_view pair = body.substr(0, end);
    body = end == std::string_view::npos ? std::string_view() : body.substr(end + 1);
    if (pair.empty()) continue;  // "a=1&&b=2", or a trailing "&"
    const size_t equals = pair.find('=');
    const std::string name = Decoded(pair.substr(0, equals));
    const std::string value = equals == std::string_view::npos ? "" : Decoded(pair.substr(equals + 1));
    if (!fields.emplace(name, value).second) throw std::invalid_argument(name + " is given more than once");
  }
  return fields;
}

}  // namespace fake_cloud
