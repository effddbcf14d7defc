// Code page conversions on the C library's iconv. iconv stops at what it
// cannot convert; the loops below put in the replacement Windows would and go
// on, so a conversion never fails for content.

#include "platform/code_page.h"
#include "platform/os_primitives.h"

#include <iconv.h>
#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace platform {
namespace {

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("Cannot convert from ") + from + " to " + to + ": " +
                               std::strerror(errno));
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts `in` onto the end of `out` until the input ends (returns 0) or
  // iconv stops (returns EILSEQ or EINVAL, `in` then starts at the bytes it
  // stopped at).
  int Convert(std::string_view& in, std::string& out) {
    char buffer[4096];
    while (!in.empty()) {
      char* in_ptr = const_cast<char*>(in.data());  // iconv's signature, it only reads
      std::size_t in_left = in.size();
      char* out_ptr = buffer;
      std::size_t out_left = sizeof buffer;
      const bool stopped = iconv(cd_, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1);
      const int error = stopped ? errno : 0;
      out.append(buffer, static_cast<std::size_t>(out_ptr - buffer));
      in.remove_prefix(in.size() - in_left);
      if (error != 0 && error != E2BIG) return error;
    }
    return 0;
  }

 private:
  iconv_t cd_;
};

const char* IconvName(CodePage page) {
  switch (page) {
    case CodePage::Windows1252:
    case CodePage::Ansi: return "WINDOWS-1252";
    case CodePage::Iso8859_1: return "ISO-8859-1";
    case CodePage::Cp850: return "CP850";
    case CodePage::Utf16LE: return "UTF-16LE";
    case CodePage::Utf16BE: return "UTF-16BE";
  }
  throw std::invalid_argument("Unknown code page");
}

bool IsUtf16(CodePage page) { return page == CodePage::Utf16LE || page == CodePage::Utf16BE; }

// Linux has no ANSI code page of its own: the one of the pharmacies' Windows stands for it.
CodePage Resolved(CodePage page) { return page == CodePage::Ansi ? CodePage::Windows1252 : page; }

// Windows maps these bytes to the C1 controls of the same value both ways;
// glibc leaves them undefined.
bool IsUndefinedIn1252(unsigned char b) {
  return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

std::size_t Utf8SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

namespace os {

std::string EncodeValidUtf8(std::string_view utf8, CodePage to, bool& exact) {
  to = Resolved(to);
  Iconv cd(IconvName(to), "UTF-8");
  std::string out;
  out.reserve(IsUtf16(to) ? utf8.size() * 2 : utf8.size());
  while (cd.Convert(utf8, out) != 0) {
    const std::size_t length = std::min(Utf8SequenceLength(static_cast<unsigned char>(utf8[0])), utf8.size());
    const auto second = length == 2 ? static_cast<unsigned char>(utf8[1]) : 0;
    if (to == CodePage::Windows1252 && utf8[0] == '\xC2' && IsUndefinedIn1252(second)) {
      out.push_back(static_cast<char>(second));
    } else {
      exact = false;
      if (to == CodePage::Utf16LE)
        out.append("\xFD\xFF", 2);
      else if (to == CodePage::Utf16BE)
        out.append("\xFF\xFD", 2);
      else
        out.push_back('?');
    }
    utf8.remove_prefix(length);
  }
  return out;
}

}  // namespace os

std::string ToUtf8(std::string_view bytes, CodePage from) {
  from = Resolved(from);
  Iconv cd("UTF-8", IconvName(from));
  std::string out;
  out.reserve(bytes.size());
  while (cd.Convert(bytes, out) != 0) {
    const auto b = static_cast<unsigned char>(bytes[0]);
    if (from == CodePage::Windows1252 && IsUndefinedIn1252(b)) {
      out.push_back('\xC2');
      out.push_back(static_cast<char>(b));
      bytes.remove_prefix(1);
    } else {
      // A stray surrogate is one code unit; an odd trailing byte is what is left.
      out.append("\xEF\xBF\xBD");
      bytes.remove_prefix(std::min<std::size_t>(IsUtf16(from) ? 2 : 1, bytes.size()));
    }
  }
  return out;
}

Utf8CodeSetScope::Utf8CodeSetScope() {
  const locale_t current = duplocale(uselocale(static_cast<locale_t>(nullptr)));
  if (current == static_cast<locale_t>(nullptr)) return;
  for (const char* name : {"C.UTF-8", "C.utf8", "en_US.UTF-8"}) {
    // on success the copy becomes the new locale; on failure it is left as it was
    if (const locale_t utf8 = newlocale(LC_CTYPE_MASK, name, current); utf8 != static_cast<locale_t>(nullptr)) {
      utf8_ = utf8;
      previous_ = uselocale(utf8);
      return;
    }
  }
  freelocale(current);
}

Utf8CodeSetScope::~Utf8CodeSetScope() {
  if (utf8_ == nullptr) return;
  uselocale(static_cast<locale_t>(previous_));
  freelocale(static_cast<locale_t>(utf8_));
}

}  // namespace platform
