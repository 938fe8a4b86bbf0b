// Blocking system calls as the interpreter makes them: a call that a signal interrupts (EINTR) is
// retried once the thread's interruptions have had their say (after_interrupted_call: the host
// runs its signal handlers and raises what they raise; a stopped worker gives up).
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace vombrelle {

// open(2); -1 with errno on failure.
int open_file(const std::string& path, int flags, mode_t mode = 0);

// read(2) of up to `size` bytes: the count read, 0 at the end. Raises the OS error for `path`.
std::size_t read_some(int fd, char* into, std::size_t size, const std::string& path);

// pread(2); -1 with errno on failure.
ssize_t pread_some(int fd, char* into, std::size_t size, off_t offset);

// Writes all of `size` bytes. Raises the OS error for `path`.
void write_all(int fd, const char* from, std::size_t size, const std::string& path);

// fsync(2); -1 with errno on failure.
int sync_file(int fd);

} // namespace vombrelle
