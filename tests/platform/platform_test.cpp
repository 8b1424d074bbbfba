#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/atomic_file.h"
#include "platform/program_paths.h"
#include "platform/temp_dir.h"

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
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0640));

  ::chmod(target.c_str(), 0750);
  ASSERT_EQ(::symlink("bank.mid", dir.file("link").c_str()), 0);
  ASSERT_TRUE(put(dir.file("link"), "half", false));
  EXPECT_EQ(readFile(target), "new") << "an uncommitted file is discarded";
  ASSERT_TRUE(put(dir.file("link"), "newer"));
  EXPECT_EQ(readFile(target), "newer");
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
  EXPECT_EQ(std::filesystem::status(target).permissions(), std::filesystem::perms(0750));
  EXPECT_EQ(dir.entries(), 2) << "no temporary file left behind";
  EXPECT_FALSE(put(dir.file("missing/bank.mid"), "x"));
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
