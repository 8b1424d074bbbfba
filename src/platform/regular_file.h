// Opening the files a user names (bank files) or the program keeps (settings, definitions) only
// when they are regular files, and never blocking while doing so: a FIFO or a device standing at
// such a path would otherwise hang the open for good.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <memory>
#include <string>

namespace banklore {

// Descriptor of the regular file at `path`, opened with `flags` (an access mode, optionally
// O_CREAT; never O_TRUNC, which would empty a FIFO's or device's target before it is refused) and
// close-on-exec; -1 otherwise, with errno set: ENOENT when nothing is there (and no O_CREAT),
// EINVAL when something other than a regular file is. The open itself does not block.
int openRegularFile(const std::string& path, int flags, mode_t mode = 0666);

struct FileHandleCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileHandleCloser>;

// Binary stream on the regular file at `path`: for reading an existing file, or for writing
// (created when missing, emptied when present). Null, errno set as above, for anything else.
FileHandle openRegularForReading(const std::string& path);
FileHandle openRegularForWriting(const std::string& path);

}  // namespace banklore
