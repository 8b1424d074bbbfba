#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/atomic_file.h"
#include "platform/debug_log.h"
#include "platform/program_paths.h"
#include "platform/regular_file.h"
#include "platform/temp_dir.h"
#include "support/child_process.h"

namespace banklore {

static bool put(const std::string& target, const char* text, bool commit = true) {
  AtomicFile file(target);
  return file.open() && std::fputs(text, file.stream()) >= 0 && (!commit || file.commit());
}

TEST(AtomicFileTest, TargetChangesOnlyOnCommitKeepsItsModeAndLinkAndSurvivesAFailedWrite) {
  TempDir dir;
  const std::string target = dir.file("bank.mid");
  const mode_t saved = ::umask(027);
  AtomicFile file(target);
  const bool opened = file.open();
  ::umask(saved);
  ASSERT_TRUE(opened);
  std::fputs("new", file.stream());
  EXPECT_FALSE(std::filesystem::exists(target));
  ASSERT_TRUE(file.commit());
  EXPECT_FALSE(file.commit()) << "a second commit has nothing to commit";
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));

  ::chmod(target.c_str(), 0750);
  ASSERT_EQ(::symlink("bank.mid", dir.file("link").c_str()), 0);
  ASSERT_TRUE(put(dir.file("link"), "half", false));
  EXPECT_EQ(readFile(target), "new") << "an uncommitted file is discarded";
  ASSERT_TRUE(put(dir.file("link"), "newer"));
  EXPECT_EQ(readFile(target), "newer");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0750));
  EXPECT_EQ(readFile(target), "newer");
  EXPECT_EQ(dir.entries(), 2) << "no temporary file left behind";
  EXPECT_FALSE(put(dir.file("missing/bank.mid"), "x"));
}

TEST(DebugLogTest, AppendsFormattedPiecesTruncatesAndDropsWhatItCannotWrite) {
  TempDir dir;
  const char* log = LogPath();
  SetLogPath(dir.file("log.txt"));  // callers may keep the pointer across a change
  WriteLog(log, "send %ld bytes:\n", 2L);
  WriteLog(log, nullptr);
  WriteLog(dir.file("missing-folder/log.txt").c_str(), "lost\n");
  WriteLog(log, "%02x, ", 0xF0);
  WriteLog(log, "%02x\n", 0xF7);
  SetLogPath(dir.file("long.txt"));
  WriteLog(log, "%s", std::string(200 * 1024, 'x').c_str());
  SetLogPath("C:\\Quillfen_Debug.txt");
  EXPECT_EQ(readFile(dir.file("log.txt")), "send 2 bytes:\nf0, f7\n");
  EXPECT_EQ(readFile(dir.file("long.txt")), std::string(128 * 1024 - 1, 'x'));
  EXPECT_EQ(dir.entries(), 2);
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
  const auto run = test::runInChild([&] {
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
  EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo")));
}

TEST(ProgramPathsTest, SplitsIntoFolderAndNameWithoutLastExtension) {
  for (const auto& [path, dir, name] :
       {std::tuple{"/Opt/My.app/Bl.tar.gz", "/Opt/My.app/", "Bl.tar"},
        {"/opt/.bl", "/opt/", ".bl"},
        {"bl", "", "bl"}}) {
    EXPECT_EQ(programPathsFrom(path).dir, dir) << path;
    EXPECT_EQ(programPathsFrom(path).name, name) << path;
  }
  EXPECT_EQ(programPathsFrom(currentExecutablePath()).name, "test_platform");
}

}  // namespace banklore
