#pragma once

// Texts are UTF-8 inside the program; these convert them at the edges (log,
// Firebird's tables, ZIP names, settings file) with the behaviour of the Windows
// conversions the data was made for. Paths handed to Firebird stay UTF-8.

#include <string>
#include <string_view>

namespace platform {

// Ansi: the system's ANSI code page (GetACP on Windows); Windows-1252 where the system has
// none, as on Linux.
enum class CodePage { Windows1252, Iso8859_1, Cp850, Utf16LE, Utf16BE, Ansi };

// Lossy, like WideCharToMultiByte: a character the code page cannot hold and
// each invalid UTF-8 sequence become one '?' (U+FFFD for the UTF-16 code
// pages, which hold everything). No BOM is written. Never throws for content.
std::string FromUtf8(std::string_view utf8, CodePage to);

// Windows-1252's five undefined bytes become U+0081, U+008D, U+008F, U+0090
// and U+009D, as on Windows. In UTF-16, an odd trailing byte and an unpaired
// surrogate become U+FFFD. A BOM is not looked at: callers strip it.
std::string ToUtf8(std::string_view bytes, CodePage from);

// True when `utf8` is valid and every character converts exactly.
bool CanEncode(std::string_view utf8, CodePage to);

bool IsValidUtf8(std::string_view text);

// Each invalid sequence (a maximal invalid subpart) becomes U+FFFD.
std::string ReplaceInvalidUtf8(std::string_view text);

// Case-insensitive equality for names (settings keys, file names): ASCII,
// Latin-1 and Latin Extended-A letters fold; other characters and invalid
// bytes compare exactly.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The code points of `text` folded as EqualsNoCase folds them; an invalid byte becomes a
// value above U+10FFFF of its own, so it still only matches itself.
std::u32string FoldedCodePoints(std::string_view text);

// While it lives, the calling thread's character type (LC_CTYPE) is UTF-8, whatever locale
// the process runs under; its other categories stay. A library that converts names from
// "the system's code set" then takes UTF-8 names, the file system's own, as they are: the
// Firebird client does so for every name it is handed. Where no UTF-8 locale exists it
// changes nothing.
class Utf8CodeSetScope {
 public:
  Utf8CodeSetScope();
  ~Utf8CodeSetScope();
  Utf8CodeSetScope(const Utf8CodeSetScope&) = delete;
  Utf8CodeSetScope& operator=(const Utf8CodeSetScope&) = delete;

 private:
  // the OS's locale handles, opaque here
  void* utf8_ = nullptr;
  void* previous_ = nullptr;
};

}  // namespace platform
