// A write target set up for one case: a file of a given mode, a FIFO or nothing, alone in a
// folder of a given mode. The write itself runs in a child as an unprivileged user (root's rights
// would hide a fault), and afterwards the target says what became of it.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/temp_dir.h"

namespace banklore::test {

enum class Target { None, File, Fifo };

struct ProtectedTarget {
  ProtectedTarget(std::string folderPath, const std::string& name, mode_t folderMode, Target kind,
                  mode_t mode, std::string oldContents)
      : folder(std::move(folderPath)), path(folder + "/" + name), old(std::move(oldContents)) {
    std::filesystem::create_directories(folder);
    if (kind == Target::File) {
      writeFile(path, old);
      ::chmod(path.c_str(), mode);
    } else if (kind == Target::Fifo) {
      ::mkfifo(path.c_str(), 0666);
    }
    ::chmod(folder.c_str(), folderMode);
    inode = inodeOf(path);
  }
  // Writable again, so that the test's folder can be removed.
  ~ProtectedTarget() { ::chmod(folder.c_str(), 0755); }
  ProtectedTarget(const ProtectedTarget&) = delete;
  ProtectedTarget& operator=(const ProtectedTarget&) = delete;

  static ino_t inodeOf(const std::string& file) {
    struct stat info;
    return ::lstat(file.c_str(), &info) == 0 ? info.st_ino : 0;
  }
  // "none", "fifo", "old", "new" (as `isNew` judges the file) or "damaged".
  std::string contents(const std::function<bool(const std::string&)>& isNew) const {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return "none";
    if (S_ISFIFO(info.st_mode)) return "fifo";
    return readFile(path) == old ? "old" : isNew(path) ? "new" : "damaged";
  }
  bool replaced() const { return inode != 0 && inodeOf(path) != inode; }
  // Temporary files of the target ("name.XXXXXX") left in its folder.
  long leftovers() const {
    const std::string prefix = std::filesystem::path(path).filename().string() + ".";
    long count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      count += entry.path().filename().string().starts_with(prefix);
    return count;
  }

  std::string folder, path, old;
  ino_t inode = 0;
};

}  // namespace banklore::test
