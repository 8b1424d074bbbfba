// Writing where the target or its folder is protected, past the file-size limit, or where a FIFO
// stands: real folders with real permissions, each case in a child that runs as an unprivileged
// user, so that nothing blocks the test and root's rights do not hide a fault.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include "platform/atomic_file.h"
#include "platform/profile.h"
#include "platform/regular_file.h"
#include "platform/temp_dir.h"
#include "support/child_process.h"

namespace banklore {
namespace {

using test::ChildLimits;
using test::runInChild;

enum class Target { None, File, Fifo };

ino_t inodeOf(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

bool isFifo(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
}

// A folder of its own for one case, holding `name` as `target` says; made writable again when the
// case ends, so that the temporary folder can be removed.
struct CaseFolder {
  CaseFolder(const TempDir& dir, int index, mode_t folderMode, Target target, mode_t mode,
             const std::string& content)
      : folder(dir.file(std::to_string(index))), path(folder + "/target") {
    ::chmod(dir.path.c_str(), 0755);
    std::filesystem::create_directory(folder);
    if (target == Target::File) {
      writeFile(path, content);
      ::chmod(path.c_str(), mode);
    } else if (target == Target::Fifo) {
      ::mkfifo(path.c_str(), 0666);
    }
    ::chmod(folder.c_str(), folderMode);
    inode = inodeOf(path);
  }
  ~CaseFolder() { ::chmod(folder.c_str(), 0755); }
  long entries() const { return std::distance(std::filesystem::directory_iterator(folder), {}); }

  std::string folder, path;
  ino_t inode = 0;
};

const ChildLimits kNobody{.unprivileged = true};

TEST(AtomicFileTest, ReplacesOnlyWritableFilesWritesInPlaceWhereItMustAndPutsOldBytesBack) {
  constexpr rlim_t kNone = RLIM_INFINITY;
  struct Case {
    const char* name;
    mode_t folder;
    Target target;
    mode_t mode;
    std::size_t oldSize, newSize;
    rlim_t limit;
    bool commit;           // false: dropped without a commit
    const char* outcome;   // what open, commit and oldContentLost said
    const char* contents;  // "old", "new", "none" (nothing there), "fifo", "damaged"
    bool sameFile;         // the target was not replaced by another file
  };
  // clang-format off
  const Case cases[] = {
      {"writable file: replaced", 0777, Target::File, 0666, 10, 20, kNone, true, "open commit", "new", false},
      {"read-only file: never replaced", 0777, Target::File, 0444, 10, 20, kNone, true, "refused", "old", true},
      {"new file in a read-only folder", 0555, Target::None, 0, 0, 20, kNone, true, "refused", "none", true},
      {"read-only folder: written in place", 0555, Target::File, 0666, 30, 20, kNone, true, "open commit", "new", true},
      {"in place, dropped: old bytes back", 0555, Target::File, 0666, 30, 20, kNone, false, "open", "old", true},
      {"in place, full disk: old bytes back", 0555, Target::File, 0666, 500, 3000, 1000, true, "open failed", "old", true},
      {"in place, old bytes past the limit too", 0555, Target::File, 0666, 3000, 3000, 1000, true, "open failed lost", "damaged", true},
      {"write-only file in a read-only folder", 0555, Target::File, 0222, 10, 20, kNone, true, "refused", "old", true},
      {"full disk: old file kept", 0777, Target::File, 0666, 10, 3000, 1000, true, "open failed", "old", true},
      {"FIFO: refused without blocking", 0777, Target::Fifo, 0, 0, 20, kNone, true, "refused", "fifo", true},
  };
  // clang-format on
  TempDir dir;
  for (int i = 0; const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string old(c.oldSize, 'o'), fresh(c.newSize, 'n');
    const CaseFolder folder(dir, i++, c.folder, c.target, c.mode, old);
    ChildLimits limits = kNobody;
    limits.fileSize = c.limit;
    const auto run = runInChild(
        [&] {
          AtomicFile file(folder.path);
          if (!file.open()) return std::string("refused");
          std::string outcome = "open";
          std::fwrite(fresh.data(), 1, fresh.size(), file.stream());
          if (c.commit) {
            outcome += file.commit() ? " commit" : " failed";
          } else {
            file.discard();
          }
          return outcome + (file.oldContentLost() ? " lost" : "");
        },
        limits);
    if (run.unsupported) GTEST_SKIP() << run.output;
    ASSERT_TRUE(run.finished) << run.output;
    EXPECT_EQ(run.output, c.outcome);
    const std::string contents = c.target == Target::Fifo         ? "fifo"
                                 : inodeOf(folder.path) == 0      ? "none"
                                 : readFile(folder.path) == old   ? "old"
                                 : readFile(folder.path) == fresh ? "new"
                                                                  : "damaged";
    EXPECT_EQ(contents, c.contents);
    EXPECT_EQ(inodeOf(folder.path) == folder.inode, c.sameFile);
    if (c.target == Target::Fifo) {
      EXPECT_TRUE(isFifo(folder.path));
    }
    EXPECT_EQ(folder.entries(), c.target == Target::None ? 0 : 1) << "a temporary file was left";
  }
}

// The settings file behaves as any target: a read-only one is never replaced, one in a read-only
// folder is written in place, and a FIFO reads as a missing file and is never written.
TEST(ProfileTest, ProtectedOrSpecialSettingsFiles) {
  struct Case {
    const char* name;
    mode_t folder;
    Target target;
    mode_t mode;
    const char* outcome;  // the value read, the write, the value read again, the sections
    const char* contents;
  };
  const std::string old = "[A]\nKey=old\n";
  const Case cases[] = {
      {"read-only file", 0777, Target::File, 0444, "old refused old A", "[A]\nKey=old\n"},
      {"read-only folder", 0555, Target::File, 0666, "old written new A", "[A]\nkey=new\n"},
      {"FIFO", 0777, Target::Fifo, 0, "default refused default ", ""},
  };
  TempDir dir;
  for (int i = 0; const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CaseFolder folder(dir, i++, c.folder, c.target, c.mode, old);
    const auto run = runInChild(
        [&] {
          const auto read = [&] { return readText(folder.path, "A", "Key", "default", 99); };
          std::string outcome = read();
          outcome += writeText(folder.path, "a", "key", "new") ? " written " : " refused ";
          outcome += read() + " ";
          for (const std::string& name : sectionNames(folder.path)) outcome += name;
          return outcome;
        },
        kNobody);
    if (run.unsupported) GTEST_SKIP() << run.output;
    ASSERT_TRUE(run.finished) << run.output;
    EXPECT_EQ(run.output, c.outcome);
    if (c.target == Target::Fifo) {
      EXPECT_TRUE(isFifo(folder.path));
    } else {
      EXPECT_EQ(readFile(folder.path), c.contents);
      EXPECT_EQ(inodeOf(folder.path), folder.inode) << "the file was replaced";
    }
    EXPECT_EQ(folder.entries(), 1) << "a temporary file was left";
  }
}

// Only regular files open, and nothing waits for a FIFO's other end; a file is emptied for
// writing only once it is known to be one.
TEST(RegularFileTest, OpensRegularFilesOnlyAndNeverBlocks) {
  TempDir dir;
  writeFile(dir.file("file"), "kept");
  ::mkfifo(dir.file("fifo").c_str(), 0666);
  std::filesystem::create_directory(dir.file("folder"));
  std::filesystem::create_symlink("file", dir.file("link"));
  std::filesystem::create_symlink("fifo", dir.file("fifo-link"));
  const auto run = runInChild([&] {
    std::string outcome;
    for (const char* name : {"file", "link", "missing", "fifo", "fifo-link", "folder"}) {
      errno = 0;
      const bool read = openRegularForReading(dir.file(name)) != nullptr;
      const int error = errno;
      const bool written = openRegularForWriting(dir.file(name)) != nullptr;
      outcome += std::string(name) +
                 (read              ? " read"
                  : error == ENOENT ? " missing"
                                    : " refused") +
                 (written ? " written\n" : " not written\n");
    }
    const bool device = openRegularForReading("/dev/null") != nullptr;
    return outcome + (device ? "device read" : "device refused");
  });
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.output,
            "file read written\nlink read written\nmissing missing written\n"
            "fifo refused not written\nfifo-link refused not written\n"
            "folder refused not written\ndevice refused");
  EXPECT_EQ(readFile(dir.file("file")), "") << "emptied for writing";
  EXPECT_TRUE(isFifo(dir.file("fifo")));
}

}  // namespace
}  // namespace banklore
