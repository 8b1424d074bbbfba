#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace banklore {
namespace {

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

}  // namespace

AtomicFile::AtomicFile(std::string target) : target_(std::move(target)) {}

AtomicFile::~AtomicFile() {
  if (!committed_) discard();
}

bool AtomicFile::open() {
  if (stream_ != nullptr || committed_ || target_.empty()) return false;
  target_ = resolveLink(target_);
  std::string pattern = target_ + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return false;
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

void AtomicFile::discard() {
  if (stream_ != nullptr) std::fclose(std::exchange(stream_, nullptr));
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

bool AtomicFile::commit() {
  if (committed_ || temp_.empty()) return false;
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
  if (std::rename(temp_.c_str(), target_.c_str()) != 0) {
    discard();
    return false;
  }
  committed_ = true;
  syncFolderOf(target_);
  return true;
}

}  // namespace banklore
