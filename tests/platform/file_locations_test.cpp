#include "platform/file_locations.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <set>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

struct Expected {
  bool besideProgram;
  std::string settingsFile, logFile, definitionFile, startFolder;
};

struct Case {
  const char* name;
  std::string programDir;
  bool writable;
  std::string home, xdgConfigHome, xdgStateHome;
  std::set<std::string> readableFiles;
  Expected expected;
};

TEST(FileLocationsTest, ChoosesBesideTheProgramOrTheXdgFolders) {
  const std::string home = "/home/ann";
  const std::string config = "/home/ann/.config/banklore/";
  const std::string state = "/home/ann/.local/state/banklore/";
  const Case cases[] = {
      {"writable build folder: everything beside the program, even with a user's definition",
       "/work/build/bin/",
       true,
       home,
       "",
       "",
       {"/work/build/bin/banklore.idf", config + "banklore.idf"},
       {true, "/work/build/bin/banklore.ini", "/work/build/bin/banklore_Debug.txt",
        "/work/build/bin/banklore.idf", "/work/build/bin/"}},
      {"writable folder without a definition of its own reads the user's",
       "/media/usb/",
       true,
       home,
       "",
       "",
       {config + "banklore.idf", "/media/share/banklore/banklore.idf"},
       {true, "/media/usb/banklore.ini", "/media/usb/banklore_Debug.txt", config + "banklore.idf",
        "/media/usb/"}},
      {"nothing to read anywhere: the path beside the program, for built-in values",
       "/media/usb/",
       true,
       home,
       "",
       "",
       {},
       {true, "/media/usb/banklore.ini", "/media/usb/banklore_Debug.txt", "/media/usb/banklore.idf",
        "/media/usb/"}},
      {"read-only folder with XDG variables",
       "/opt/banklore/",
       false,
       home,
       "/cfg",
       "/st/",
       {"/opt/banklore/banklore.idf"},
       {false, "/cfg/banklore/banklore.ini", "/st/banklore/banklore_Debug.txt",
        "/opt/banklore/banklore.idf", "/home/ann/"}},
      {"read-only folder without XDG variables",
       "/opt/banklore/",
       false,
       home,
       "",
       "",
       {"/opt/banklore/banklore.idf"},
       {false, config + "banklore.ini", state + "banklore_Debug.txt", "/opt/banklore/banklore.idf",
        "/home/ann/"}},
      {"relative XDG variables count as unset",
       "/opt/banklore/",
       false,
       home,
       "cfg",
       "./st",
       {},
       {false, config + "banklore.ini", state + "banklore_Debug.txt", "/opt/banklore/banklore.idf",
        "/home/ann/"}},
      {"installed copy: the installed definition",
       "/usr/bin/",
       false,
       home,
       "",
       "",
       {"/usr/share/banklore/banklore.idf"},
       {false, config + "banklore.ini", state + "banklore_Debug.txt",
        "/usr/share/banklore/banklore.idf", "/home/ann/"}},
      {"installed copy: a user's definition beside the installed one wins",
       "/usr/bin/",
       false,
       home,
       "",
       "",
       {"/usr/share/banklore/banklore.idf", config + "banklore.idf"},
       {false, config + "banklore.ini", state + "banklore_Debug.txt", config + "banklore.idf",
        "/home/ann/"}},
      {"installed copy root may write (or one in ~/.local/bin): still the XDG folders",
       "/home/ann/.local/bin/",
       true,
       home,
       "/x/",
       "",
       {"/home/ann/.local/share/banklore/banklore.idf"},
       {false, "/x/banklore/banklore.ini", state + "banklore_Debug.txt",
        "/home/ann/.local/share/banklore/banklore.idf", "/home/ann/"}},
      {"no home and no XDG variables: settings and log stay beside the program",
       "/opt/banklore/",
       false,
       "",
       "",
       "",
       {"/opt/banklore/banklore.idf"},
       {false, "/opt/banklore/banklore.ini", "/opt/banklore/banklore_Debug.txt",
        "/opt/banklore/banklore.idf", "/opt/banklore/"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocationInputs in;
    in.program = {c.programDir, "banklore"};
    in.programDirWritable = c.writable;
    in.home = c.home;
    in.xdgConfigHome = c.xdgConfigHome;
    in.xdgStateHome = c.xdgStateHome;
    in.readable = [&](const std::string& path) { return c.readableFiles.count(path) > 0; };
    const FileLocations files = chooseFileLocations(in);
    EXPECT_EQ(files.besideProgram, c.expected.besideProgram);
    EXPECT_EQ(files.settingsFile, c.expected.settingsFile);
    EXPECT_EQ(files.logFile, c.expected.logFile);
    EXPECT_EQ(files.definitionFile, c.expected.definitionFile);
    EXPECT_EQ(files.startFolder, c.expected.startFolder);
    EXPECT_EQ(files.settingsFolder + "banklore.ini", files.settingsFile);
    EXPECT_EQ(files.logFolder + "banklore_Debug.txt", files.logFile);
  }
}

TEST(FileLocationsTest, ProgramPathsAloneMeanEverythingBesideTheProgram) {
  const FileLocations files = ProgramPaths{"/b/", "bench"};
  EXPECT_TRUE(files.besideProgram);
  for (const std::string& path : {files.settingsFile, files.logFile, files.definitionFile}) {
    EXPECT_EQ(path.rfind("/b/bench", 0), 0u) << path;
  }
  EXPECT_EQ(files.settingsFolder, "/b/");
  EXPECT_EQ(files.startFolder, "/b/");
}

TEST(FileLocationsTest, InstalledDataFolderOnlyForAProgramInABinFolder) {
  for (const auto& [dir, data] :
       std::vector<std::pair<std::string, std::string>>{{"/usr/bin/", "/usr/share/banklore/"},
                                                        {"/opt/x/bin/", "/opt/x/share/banklore/"},
                                                        {"/bin/", "/share/banklore/"},
                                                        {"/usr/sbin/", ""},
                                                        {"/opt/banklore/", ""},
                                                        {"", ""}}) {
    EXPECT_EQ(installedDataFolder({dir, "banklore"}).value_or(""), data) << dir;
  }
}

TEST(PrepareFolderTest, MakesMissingFoldersPrivateAndNamesWhatStopsIt) {
  TempDir dir;
  const std::string nested = dir.file("a/b/c/");
  EXPECT_EQ(prepareFolder(nested), std::nullopt);
  EXPECT_TRUE(std::filesystem::is_directory(nested));
  for (const std::string& made : {dir.file("a"), nested}) {
    EXPECT_EQ(std::filesystem::status(made).permissions(), std::filesystem::perms::owner_all)
        << made;
  }
  EXPECT_EQ(prepareFolder(nested), std::nullopt) << "an existing folder is fine";
  EXPECT_EQ(prepareFolder(dir.file("a/b")), std::nullopt) << "a folder without its slash";
  writeFile(dir.file("file"), "x");
  EXPECT_EQ(prepareFolder(dir.file("file/state/")), "Not a directory");
  EXPECT_EQ(prepareFolder(dir.file("file")), "Not a directory");
  EXPECT_EQ(prepareFolder(""), "No such file or directory");
}

// Runs `probe` as the user nobody in a child; its text, or nothing when the child could not
// become nobody.
template <typename Probe>
std::optional<std::string> asNobody(Probe probe) {
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    if (::setgroups(0, nullptr) != 0 || ::setresgid(65534, 65534, 65534) != 0 ||
        ::setresuid(65534, 65534, 65534) != 0) {
      ::_exit(2);
    }
    const std::string text = probe();
    const bool written =
        ::write(pipeEnds[1], text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ::_exit(written ? 0 : 1);
  }
  ::close(pipeEnds[1]);
  std::string text;
  char buffer[256];
  for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, got);
  ::close(pipeEnds[0]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    return std::nullopt;
  }
  return text;
}

TEST(PrepareFolderTest, AFolderTheUserMayNotWriteIsRefusedAndSeenAsReadOnly) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to become the user nobody";
  TempDir dir;
  ::chmod(dir.path.c_str(), 0755);
  const std::string readOnly = dir.file("ro/");
  const std::string own = dir.file("own/");
  std::filesystem::create_directories(readOnly);
  std::filesystem::create_directories(own);
  ASSERT_EQ(::chown(own.c_str(), 65534, 65534), 0);
  const passwd* nobody = ::getpwuid(65534);
  const std::string nobodyHome = nobody != nullptr ? nobody->pw_dir : "";

  const auto seen = asNobody([&] {
    ::unsetenv("HOME");
    const LocationInputs readOnlyProgram = currentLocationInputs({readOnly, "banklore"});
    const LocationInputs ownProgram = currentLocationInputs({own, "banklore"});
    return std::string(readOnlyProgram.programDirWritable ? "writable" : "read-only") + "|" +
           (ownProgram.programDirWritable ? "writable" : "read-only") + "|" +
           prepareFolder(readOnly).value_or("ok") + "|" +
           prepareFolder(readOnly + "banklore/").value_or("ok") + "|" +
           prepareFolder(own + "state/banklore/").value_or("ok") + "|" + readOnlyProgram.home;
  });
  ASSERT_TRUE(seen) << "the child could not become nobody";
  EXPECT_EQ(*seen, "read-only|writable|Permission denied|Permission denied|ok|" + nobodyHome);
}

}  // namespace
}  // namespace banklore
