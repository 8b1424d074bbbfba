#include "platform/program_paths.h"

#include <gtest/gtest.h>

namespace banklore {
namespace {

struct PathCase {
  const char* path;
  const char* dir;
  const char* name;
};

class ProgramPathsTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(ProgramPathsTest, SplitsIntoFolderAndNameWithoutExtension) {
  const ProgramPaths paths = programPathsFrom(GetParam().path);
  EXPECT_EQ(paths.dir, GetParam().dir);
  EXPECT_EQ(paths.name, GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, ProgramPathsTest,
    ::testing::Values(PathCase{"/opt/Bank/banklore", "/opt/Bank/", "banklore"},
                      PathCase{"/Home/User/Synths/Banklore.bin", "/Home/User/Synths/", "Banklore"},
                      PathCase{"/opt/my.app/banklore", "/opt/my.app/", "banklore"},
                      PathCase{"/opt/app/banklore.tar.gz", "/opt/app/", "banklore.tar"},
                      PathCase{"/opt/app/.banklore", "/opt/app/", ".banklore"},
                      PathCase{"banklore", "", "banklore"}, PathCase{"/banklore", "/", "banklore"},
                      PathCase{"/opt/app/", "/opt/app/", ""}));

TEST(CurrentExecutablePathTest, NamesThisTestProgram) {
  const std::string path = currentExecutablePath();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(path.front(), '/');
  EXPECT_EQ(programPathsFrom(path).name, "test_platform");
}

}  // namespace
}  // namespace banklore
