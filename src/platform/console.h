#pragma once

namespace platform {

// Whether standard error is a terminal that someone may be watching, rather than a file,
// a pipe or the journal.
bool StandardErrorIsTerminal();

// Standard output and error carry the bytes as written: the Windows C library would otherwise
// turn each "\n" into "\r\n", and the system's messages, which hold "\r\n" already, would
// reach the installer with "\r\r\n". Nothing to do elsewhere.
void KeepLineEndsOnStandardStreams();

}  // namespace platform
