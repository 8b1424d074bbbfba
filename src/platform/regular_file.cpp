#include "platform/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace banklore {
namespace {

FileHandle streamOn(int fd, const char* mode) {
  if (fd < 0) return nullptr;
  FileHandle stream(::fdopen(fd, mode));
  if (!stream) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return stream;
}

}  // namespace

int openRegularFile(const std::string& path, int flags, mode_t mode) {
  // Looked at first, so that nothing else is opened at all (opening some devices has effects).
  struct stat info;
  if (::stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return -1;
  }
  // The path may change between the look and the open: O_NONBLOCK keeps even then a FIFO from
  // holding the open, and the descriptor is checked again.
  const int fd = ::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  // Reads and writes that follow block as any stream expects.
  const int status = ::fcntl(fd, F_GETFL);
  if (status == -1 || ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

FileHandle openRegularForReading(const std::string& path) {
  return streamOn(openRegularFile(path, O_RDONLY), "rb");
}

FileHandle openRegularForWriting(const std::string& path) {
  // Emptied only once known to be a regular file.
  const int fd = openRegularFile(path, O_WRONLY | O_CREAT);
  if (fd >= 0 && ::ftruncate(fd, 0) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return nullptr;
  }
  return streamOn(fd, "wb");
}

}  // namespace banklore
