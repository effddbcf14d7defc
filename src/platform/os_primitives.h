#pragma once

// What each side (posix/, windows/) defines for the platform-neutral code of this folder;
// nothing outside src/platform/ includes it.
#include <string>
#include <string_view>

#include "platform/code_page.h"

namespace platform::os {

// The system's text for an error code that the service manager's own texts do not cover:
// an errno value on POSIX, a Windows error code on Windows.
std::string ErrorCodeText(int code);

// `utf8`, valid UTF-8, in the code page; a character it cannot hold becomes its replacement
// ('?', U+FFFD in UTF-16) and turns `exact` false.
std::string EncodeValidUtf8(std::string_view utf8, CodePage to, bool& exact);

}  // namespace platform::os
