// Start-up of an installed copy: settings, log and definitions where the file locations say.
#include <sys/stat.h>

#include "app/support/app_fixture.h"
#include "platform/file_locations.h"
#include "platform/profile.h"

namespace banklore::testing {
namespace {

class FileLocationsStartupTest : public AppTest {
 protected:
  MainWindow& startWith(const FileLocations& files) {
    window_.reset();
    window_ = std::make_unique<MainWindow>(files, makeLoopbackBackend, view_, prompts_, clock_);
    window_->initWindow();
    return *window_;
  }
  // A copy installed under the test folder: usr/bin/banklore with usr/share/banklore/banklore.idf,
  // run by a user whose home is home/ and who set no XDG variables.
  FileLocations installedCopy() const {
    LocationInputs in = currentLocationInputs({path("usr/bin/"), "banklore"});
    in.home = path("home");
    in.xdgConfigHome.clear();
    in.xdgStateHome.clear();
    return chooseFileLocations(in);
  }
  void writeDefinition(const std::string& file, int slots) const {
    std::filesystem::create_directories(std::filesystem::path(path(file)).parent_path());
    writeFile(file, "[Nova]\nNumTotalPatches=" + std::to_string(slots) + "\n");
  }
};

TEST_F(FileLocationsStartupTest, InstalledCopyKeepsItsFilesInTheXdgFoldersAndReadsOneDefinition) {
  std::filesystem::create_directories(path("usr/bin"));
  writeDefinition("usr/share/banklore/banklore.idf", 32);
  const std::string config = path("home/.config/banklore/");
  // First the installed definition; then the user's own beside the settings, which wins.
  for (const auto& [definition, slots] : std::vector<std::pair<std::string, int>>{
           {path("usr/share/banklore/banklore.idf"), 32}, {config + "banklore.idf", 12}}) {
    SCOPED_TRACE(definition);
    if (slots == 12) writeDefinition("home/.config/banklore/banklore.idf", 12);
    MainWindow& window = startWith(installedCopy());
    EXPECT_EQ(std::tuple(window.slotCount(), window.definitionPath(), window.settingsPath()),
              std::tuple(slots, definition, config + "banklore.ini"));
    window.close();
    window_.reset();
    EXPECT_TRUE(readFile("home/.local/state/banklore/banklore_Debug.txt").starts_with("--- Pro"));
    EXPECT_EQ(readText(config + "banklore.ini", "", "LastPath0", "", 300), path("home/"))
        << "file dialogs start at home, not in the program's folder";
    EXPECT_TRUE(std::filesystem::is_empty(path("usr/bin"))) << "nothing beside the program";
    struct stat info {};
    ASSERT_EQ(::stat(path("home/.local/state/banklore").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u) << "folders made for the user are the user's alone";
  }
  EXPECT_TRUE(prompts_.messages.empty()) << "nothing to tell when every folder can be written";
}

// Folders that cannot be made are told once, with the path and the reason, after the window is up;
// the program runs all the same.
TEST_F(FileLocationsStartupTest, FoldersThatCannotBeWrittenAreToldOnceWithPathAndReason) {
  writeFile("taken", "a file where the folders would go");
  FileLocations files = ProgramPaths{dir_, "banklore"};
  files.settingsFolder = path("taken/config/");
  files.settingsFile = files.settingsFolder + "banklore.ini";
  files.logFolder = path("taken/state/");
  files.logFile = files.logFolder + "banklore_Debug.txt";
  startWith(files);
  EXPECT_TRUE(prompts_.messages.empty()) << "not before the window is up";
  clock_.runPosted();
  EXPECT_EQ(prompts_.messages,
            (S{"No debug log this run: cannot write to " + path("taken/state/") +
               " (Not a directory).\nSettings will not be kept: cannot write to " +
               path("taken/config/") + " (Not a directory)."}));
  window_->close();
  window_.reset();
  clock_.runPosted();
  EXPECT_EQ(prompts_.messages.size(), 1u) << "not told again at closing";
}

}  // namespace
}  // namespace banklore::testing
