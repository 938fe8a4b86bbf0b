// Opening an input file the way the interpreter's open() does, so that a missing file, a
// folder or a file without read permission fails with the same OS error and file name.
#pragma once

#include <string>

namespace vombrelle {

// Opens `path` for reading (close-on-exec) and returns the descriptor, which the caller owns. An
// open that a signal interrupts is retried as interruptible_io.hpp says.
// Raises HostError of kind OS with the interpreter's errno and file name: FileNotFoundError,
// PermissionError, IsADirectoryError (a folder opens under POSIX, but open() refuses it).
int open_readable(const std::string& path);

} // namespace vombrelle
