// The settings file at closing where it is protected, a FIFO, or past the file-size limit: a file
// the user may not write is never replaced, one in a read-only folder is written in place, and
// what could not be saved is reported. Each case runs in a child, as an unprivileged user.
#include <sys/stat.h>

#include "app/support/app_fixture.h"
#include "platform/profile.h"
#include "support/child_process.h"
#include "support/log_capture.h"

namespace banklore::testing {
namespace {

using SettingsFileTest = AppTest;

TEST_F(SettingsFileTest, ClosingSavesWhereItMayAndReportsWhereItCannot) {
  constexpr mode_t kFifo = 0;
  struct Case {
    const char* name;
    mode_t folder, mode;
    rlim_t limit;
    const char* placement;  // where start-up put the window
    bool saved;
  };
  const Case cases[] = {
      {"read-only settings file", 0777, 0444, RLIM_INFINITY, "100,50", false},
      {"writable settings file in a read-only folder", 0555, 0666, RLIM_INFINITY, "100,50", true},
      {"FIFO for a settings file: the defaults", 0777, kFifo, RLIM_INFINITY, "10,20", false},
      {"full disk", 0777, 0666, 30, "100,50", false},
  };
  const std::string settings = "[General]\nPosX=100\nPosY=50\nWidth=900\nHeight=700\n";
  const std::string ini = path("banklore.ini");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(ini);
    if (c.mode == kFifo) {
      ::mkfifo(ini.c_str(), 0666);
    } else {
      writeFile("banklore.ini", settings);
      ::chmod(ini.c_str(), c.mode);
    }
    ::chmod(dir_.c_str(), c.folder);
    struct stat before;
    ::lstat(ini.c_str(), &before);
    const auto child = test::runInChild(
        [&] {
          start();
          const std::string placement =
              std::to_string(view_.rect.left) + "," + std::to_string(view_.rect.top);
          view_.rect = {5, 6, 700, 800};
          test::LogCapture log;
          window_->close();
          return placement + "\n" + log.text();
        },
        {.unprivileged = true, .fileSize = c.limit});
    ::chmod(dir_.c_str(), 0755);
    if (child.unsupported) GTEST_SKIP() << child.output;
    ASSERT_TRUE(child.finished) << child.output;
    EXPECT_EQ(child.output.substr(0, child.output.find('\n')), c.placement);
    const bool reported =
        child.output.find("Couldn't save the settings to " + ini) != std::string::npos;
    EXPECT_EQ(reported, !c.saved) << child.output;
    struct stat after;
    ASSERT_EQ(::lstat(ini.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the settings file was replaced";
    if (c.mode == kFifo) {
      EXPECT_TRUE(S_ISFIFO(after.st_mode));
    } else if (c.saved) {
      EXPECT_EQ(readText(ini, "General", "Width", "", 9), "700");
    } else {
      EXPECT_EQ(readFile("banklore.ini"), settings);
    }
    for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
      EXPECT_FALSE(entry.path().filename().string().starts_with("banklore.ini."))
          << "a temporary file was left: " << entry.path();
    }
  }
}

}  // namespace
}  // namespace banklore::testing
