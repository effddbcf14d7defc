#include "cloud/dropbox_arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace nuvexa::cloud {
namespace {

struct Piece {
  std::string_view text;
  std::size_t length;  // 0 for an inserted value
};

// Joins the pieces, checking each literal against the length the service was built with,
// so a lost or extra space shows as the piece that holds it.
std::string Joined(const std::vector<Piece>& pieces) {
  std::string text;
  for (const auto& piece : pieces) {
    if (piece.length != 0) {
      EXPECT_EQ(piece.text.size(), piece.length) << "[" << piece.text << "]";
    }
    text += piece.text;
  }
  return text;
}

TEST(CloudArguments, FinishArgumentIsTheSixteenPiecesOnOneLine) {
  const std::string expected = Joined({
      {"{      \"cursor\": {         \"session_id\": \"", 42},
      {"S", 0},
      {"\",", 2},
      {"         \"offset\": ", 19},
      {"250000000", 0},
      {"     },", 7},
      {"     \"commit\": {", 16},
      {"         \"path\": \"", 18},
      {"/0123/f.zip", 0},
      {"\",", 2},
      {"         \"mode\": \"add\",", 23},
      {"         \"autorename\": true,", 28},
      {"         \"mute\": false,", 23},
      {"         \"strict_conflict\": false ", 34},
      {"    }", 5},
      {"}", 1},
  });
  EXPECT_EQ(SessionFinishArgument("S", 250000000, "/0123/f.zip"), expected);
}

TEST(CloudArguments, FixedPiecesAroundTheValue) {
  struct Case {
    const char* why;
    std::string actual;
    std::vector<Piece> expected;
  };
  const Case cases[] = {
      {"create_folder_v2 of /0123", CreateFolderBody("/0123"),
       {{"{\"path\": \"", 10}, {"/0123", 0}, {"\", \"autorename\": false}", 23}}},
      {"list_folder of a folder", PathBody("/0123"), {{"{ \"path\":\"", 10}, {"/0123", 0}, {"\"}", 2}}},
      {"list_folder of the root is an empty path", PathBody(""), {{"{ \"path\":\"", 10}, {"\"}", 2}}},
      {"upload and download argument", PathArgument("/0123/f.zip"),
       {{"{ \"path\":\"", 10}, {"/0123/f.zip", 0}, {"\"}", 2}}},
      {"list_folder/continue", ListFolderContinueBody("AAE-cursor_1"),
       {{"{ \"cursor\": \"", 13}, {"AAE-cursor_1", 0}, {"\"}", 2}}},
      {"session start, open", SessionStartArgument(false), {{"{\"close\": false}", 16}}},
      {"session start, closed", SessionStartArgument(true), {{"{\"close\": true}", 15}}},
      {"append is compact, cursor first and session id before offset",
       SessionAppendArgument("S", 100000000, false),
       {{"{\"cursor\":{\"session_id\":\"S\",\"offset\":100000000},\"close\":false}", 0}}},
      {"append that closes", SessionAppendArgument("pid:AbC", 0, true),
       {{"{\"cursor\":{\"session_id\":\"pid:AbC\",\"offset\":0},\"close\":true}", 0}}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, Joined(c.expected)) << c.why;
}

TEST(CloudArguments, ValuesAreEscapedAndHeadersStayAscii) {
  struct Case {
    const char* why;
    std::string value;
    std::string in_body;    // JSON string content in a request body
    std::string in_header;  // the same in Dropbox-API-Arg
  };
  const Case cases[] = {
      {"the service's own paths are sent unchanged", "/12345/NuvexaDrovana_01022024_1030.zip",
       "/12345/NuvexaDrovana_01022024_1030.zip", "/12345/NuvexaDrovana_01022024_1030.zip"},
      {"a quote and a backslash", "/a\"b\\c", "/a\\\"b\\\\c", "/a\\\"b\\\\c"},
      {"a control character", "/a\tb\x01", "/a\\tb\\u0001", "/a\\tb\\u0001"},
      {"a non-ASCII letter stays UTF-8 in a body only", "/a\xC3\xA7\xC3\xA3o", "/a\xC3\xA7\xC3\xA3o",
       "/a\\u00e7\\u00e3o"},
      {"DEL is not header safe", "/a\x7F", "/a\x7F", "/a\\u007f"},
      {"above the BMP a surrogate pair", "/\xF0\x9F\x98\x80", "/\xF0\x9F\x98\x80", "/\\ud83d\\ude00"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JsonStringContent(c.value), c.in_body) << c.why;
    EXPECT_EQ(HeaderSafeJsonStringContent(c.value), c.in_header) << c.why;
  }
  EXPECT_EQ(PathArgument("/\xC3\xA7"), "{ \"path\":\"/\\u00e7\"}");
  EXPECT_EQ(SessionAppendArgument("s\xC3\xA7", 1, false), "{\"cursor\":{\"session_id\":\"s\\u00e7\",\"offset\":1},\"close\":false}");
  EXPECT_EQ(SessionFinishArgument("S", 1, "/\xC3\xA7").find("\xC3"), std::string::npos);
  EXPECT_ANY_THROW(PathBody("/\xC3")) << "text that is not UTF-8 cannot be sent as JSON";
}

}  // namespace
}  // namespace nuvexa::cloud
