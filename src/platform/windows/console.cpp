#include "platform/console.h"

#include <windows.h>

namespace platform {

// A console answers GetConsoleMode; a pipe or a file does not.
bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace platform
