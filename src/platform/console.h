#pragma once

namespace platform {

// Whether standard error is a terminal that someone may be watching, rather than a file,
// a pipe or the journal.
bool StandardErrorIsTerminal();

}  // namespace platform
