#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

mode_t modeOf(const std::string& path) {
  struct stat info {};
  ::stat(path.c_str(), &info);
  return info.st_mode & 07777;
}

int filesIn(const std::string& folder) {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++count;
  return count;
}

bool writeAll(AtomicFile& file, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), file.stream()) == text.size();
}

TEST(AtomicFileTest, CommitReplacesTheTargetAndLeavesNoTemporary) {
  TempDir dir;
  const std::string target = dir.file("bank.mid");
  writeFile(target, "old");
  AtomicFile file(target);
  ASSERT_TRUE(file.open());
  EXPECT_EQ(file.tempPath().rfind(target + ".", 0), 0u) << "temporary sits beside the target";
  ASSERT_TRUE(writeAll(file, "new content"));
  EXPECT_EQ(readFile(target), "old");  // nothing visible before commit
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(readFile(target), "new content");
  EXPECT_EQ(filesIn(dir.path()), 1);
  EXPECT_FALSE(file.commit()) << "a second commit has nothing to commit";
}

TEST(AtomicFileTest, UncommittedFileIsDiscarded) {
  TempDir dir;
  const std::string target = dir.file("bank.syx");
  writeFile(target, "old");
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(writeAll(file, "half"));
    EXPECT_TRUE(std::filesystem::exists(file.tempPath()));
  }
  EXPECT_EQ(readFile(target), "old");
  EXPECT_EQ(filesIn(dir.path()), 1);
}

TEST(AtomicFileTest, NewFileFollowsUmaskAndReplacedFileKeepsItsMode) {
  TempDir dir;
  const mode_t saved = ::umask(027);
  {
    AtomicFile file(dir.file("new.ini"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.commit());
  }
  ::umask(022);
  {
    AtomicFile file(dir.file("plain.ini"));
    ASSERT_TRUE(file.open());
    ASSERT_TRUE(file.commit());
  }
  ::umask(saved);
  EXPECT_EQ(modeOf(dir.file("new.ini")), 0640u);
  EXPECT_EQ(modeOf(dir.file("plain.ini")), 0644u);

  const std::string existing = dir.file("script.sh");
  writeFile(existing, "#!/bin/sh\n");
  ::chmod(existing.c_str(), 0750);
  AtomicFile file(existing);
  ASSERT_TRUE(file.open());
  ASSERT_TRUE(file.commit());
  EXPECT_EQ(modeOf(existing), 0750u);
}

TEST(AtomicFileTest, SymbolicLinkKeepsPointingAtTheReplacedFile) {
  TempDir dir;
  const std::string real = dir.file("real.ini");
  const std::string link = dir.file("link.ini");
  writeFile(real, "old");
  ASSERT_EQ(::symlink("real.ini", link.c_str()), 0);
  AtomicFile file(link);
  ASSERT_TRUE(file.open());
  ASSERT_TRUE(writeAll(file, "new"));
  ASSERT_TRUE(file.commit());
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(readFile(real), "new");
}

TEST(AtomicFileTest, OpenFailsWithoutFolder) {
  TempDir dir;
  AtomicFile file(dir.file("missing/bank.mid"));
  EXPECT_FALSE(file.open());
  EXPECT_EQ(file.stream(), nullptr);
  EXPECT_FALSE(file.commit());
}

// A full disk, simulated by a file-size limit in a child process: the write fails at the flush in
// commit(), which must report it and keep the old file.
TEST(AtomicFileTest, FailedFlushKeepsTheOldFile) {
  TempDir dir;
  const std::string target = dir.file("bank.mid");
  writeFile(target, "old");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    AtomicFile file(target);
    if (!file.open()) ::_exit(2);
    std::fwrite(std::string(3000, 'x').data(), 1, 3000, file.stream());
    ::_exit(file.commit() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "commit must report the failed write";
  EXPECT_EQ(readFile(target), "old");
  EXPECT_EQ(filesIn(dir.path()), 1);
}

}  // namespace
}  // namespace banklore
