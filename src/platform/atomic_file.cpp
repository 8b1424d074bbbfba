#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/regular_file.h"

namespace banklore {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// The process umask without changing it: umask() can only be read by setting it, which would race
// with other threads creating files, so the kernel's report in /proc is preferred.
mode_t currentUmask() {
  if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    unsigned int mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, status) != nullptr) {
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    }
    std::fclose(status);
    if (found) return static_cast<mode_t>(mask);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

// A replaced file keeps its permission bits; a new one gets what open(..., 0666) would give it.
mode_t modeFor(const std::string& target) {
  struct stat info;
  if (::stat(target.c_str(), &info) == 0) return info.st_mode & 07777;
  return 0666 & ~currentUmask();
}

// Makes the rename itself durable; a failure here does not undo a rename that already happened.
void syncFolderOf(const std::string& target) {
  const std::size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// A target that is a symbolic link is replaced where the link points, so the link survives.
std::string resolveLink(const std::string& target) {
  struct stat info;
  if (::lstat(target.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return target;
  char* resolved = ::realpath(target.c_str(), nullptr);
  if (resolved == nullptr) return target;  // a dangling link: replaced by the file itself
  std::string path(resolved);
  std::free(resolved);
  return path;
}

// The existing target opened as this user may write it: also for reading when it can be read, so
// that an in-place write can keep its old bytes. -1, errno ENOENT, when there is none.
int openTarget(const std::string& target, bool& readable) {
  readable = true;
  const int fd = openRegularFile(target, O_RDWR);
  if (fd >= 0 || errno != EACCES) return fd;
  readable = false;
  return openRegularFile(target, O_WRONLY);
}

}  // namespace

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
  if (!committed_) discard();
}

bool AtomicFile::open() {
  if (stream_ != nullptr || committed_ || targetFd_ >= 0 || target_.empty()) return false;
  target_ = resolveLink(target_);
  // A target this user may not write, or that is no regular file, is never replaced, even where
  // the folder would allow a rename over it.
  bool readable = false;
  Descriptor existing(openTarget(target_, readable));
  if (existing.get() < 0 && errno != ENOENT) return false;
  std::string pattern = target_ + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    // A folder this user cannot write takes no temporary file; a writable target in it is written
    // in place, as long as its old bytes can be kept.
    const bool folderClosed = errno == EACCES || errno == EPERM;
    return folderClosed && existing.get() >= 0 && readable && openInPlace(existing.release());
  }
  // mkstemp creates the file 0600; give it the bits the target has or would get.
  if (::fchmod(fd, modeFor(target_)) == 0) stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    ::close(fd);
    ::unlink(pattern.c_str());
    return false;
  }
  temp_ = pattern;
  return true;
}

bool AtomicFile::openInPlace(int fd) {
  Descriptor target(fd);
  struct stat info;
  if (::fstat(fd, &info) != 0 || static_cast<std::size_t>(info.st_size) > kInPlaceLimit) {
    return false;
  }
  std::string old;
  char block[65536];
  for (;;) {
    const ssize_t got = ::pread(fd, block, sizeof block, static_cast<off_t>(old.size()));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0 || old.size() + static_cast<std::size_t>(got) > kInPlaceLimit) return false;
    if (got == 0) break;
    old.append(block, static_cast<std::size_t>(got));
  }
  // The stream gets a descriptor of its own: the target's stays open to put the old bytes back.
  const int streamFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  std::FILE* stream = streamFd < 0 ? nullptr : ::fdopen(streamFd, "wb");
  if (stream == nullptr) {
    if (streamFd >= 0) ::close(streamFd);
    return false;
  }
  if (::ftruncate(fd, 0) != 0) {
    std::fclose(stream);
    return false;
  }
  stream_ = stream;
  targetFd_ = target.release();
  oldContent_ = std::move(old);
  return true;
}

void AtomicFile::putBack() {
  bool ok = true;
  for (std::size_t done = 0; ok && done < oldContent_.size();) {
    const ssize_t put = ::pwrite(targetFd_, oldContent_.data() + done, oldContent_.size() - done,
                                 static_cast<off_t>(done));
    if (put < 0 && errno == EINTR) continue;
    ok = put > 0;
    if (ok) done += static_cast<std::size_t>(put);
  }
  ok = ok && ::ftruncate(targetFd_, static_cast<off_t>(oldContent_.size())) == 0;
  ok = ok && ::fsync(targetFd_) == 0;
  oldContentLost_ = !ok;
  ::close(std::exchange(targetFd_, -1));
  std::string().swap(oldContent_);
}

void AtomicFile::discard() {
  if (committed_) return;
  if (stream_ != nullptr) std::fclose(std::exchange(stream_, nullptr));
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  if (targetFd_ >= 0) putBack();
}

bool AtomicFile::commit() {
  if (committed_ || (temp_.empty() && targetFd_ < 0)) return false;
  if (stream_ != nullptr) {
    std::FILE* stream = std::exchange(stream_, nullptr);
    bool ok = std::ferror(stream) == 0;
    ok = std::fflush(stream) == 0 && ok;
    ok = ::fsync(::fileno(stream)) == 0 && ok;
    ok = std::fclose(stream) == 0 && ok;
    // A temporary that failed once is never renamed later: a second commit() must not succeed.
    if (!ok) {
      discard();
      return false;
    }
  }
  if (targetFd_ >= 0) {  // written in place: nothing to rename
    committed_ = true;
    ::close(std::exchange(targetFd_, -1));
    std::string().swap(oldContent_);
    return true;
  }
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    discard();
    return false;
  }
  committed_ = true;
  temp_.clear();
  syncFolderOf(target_);
  return true;
}

}  // namespace banklore
