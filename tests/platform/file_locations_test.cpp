#include "platform/file_locations.h"

#include <gtest/gtest.h>

#include <set>

namespace banklore {
namespace {

TEST(FileLocationsTest, ChoosesBesideTheProgramOrTheXdgFolders) {
  const std::string cfg = "/home/ann/.config/banklore/", st = "/home/ann/.local/state/banklore/";
  const std::string home = "/home/ann";
  struct Case {
    const char* name;
    std::string dir;
    bool writable;
    std::string home, xdgConfig, xdgState;
    std::set<std::string> readable;
    bool beside;
    std::string settingsFolder, logFolder, definition, start;
  };
  // clang-format off
  const Case cases[] = {
      {"writable build folder: everything beside the program, even with a user's definition",
       "/work/bin/", true, home, "", "", {"/work/bin/banklore.idf", cfg + "banklore.idf"},
       true, "/work/bin/", "/work/bin/", "/work/bin/banklore.idf", "/work/bin/"},
      {"writable folder without a definition of its own reads the user's, before the installed",
       "/media/usb/", true, home, "", "", {cfg + "banklore.idf", "/media/share/banklore/banklore.idf"},
       true, "/media/usb/", "/media/usb/", cfg + "banklore.idf", "/media/usb/"},
      {"read-only folder with XDG variables",
       "/opt/bl/", false, home, "/cfg", "/st/", {"/opt/bl/banklore.idf"},
       false, "/cfg/banklore/", "/st/banklore/", "/opt/bl/banklore.idf", "/home/ann/"},
      {"read-only folder without XDG variables: the user's definition before the one beside",
       "/opt/bl/", false, home, "", "", {"/opt/bl/banklore.idf", cfg + "banklore.idf"},
       false, cfg, st, cfg + "banklore.idf", "/home/ann/"},
      {"installed copy root may write (or one in ~/.local/bin): still the XDG folders",
       "/home/ann/.local/bin/", true, home, "/x/", "", {"/home/ann/.local/share/banklore/banklore.idf"},
       false, "/x/banklore/", st, "/home/ann/.local/share/banklore/banklore.idf", "/home/ann/"},
  };
  // clang-format on
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    LocationInputs in{{c.dir, "banklore"}, c.writable, c.home, c.xdgConfig, c.xdgState, "", {}};
    in.readable = [&](const std::string& path) { return c.readable.count(path) > 0; };
    const FileLocations files = chooseFileLocations(in);
    EXPECT_EQ(files.besideProgram, c.beside);
    EXPECT_EQ(files.settingsFolder, c.settingsFolder);
    EXPECT_EQ(files.settingsFile, c.settingsFolder + "banklore.ini");
    EXPECT_EQ(files.logFolder, c.logFolder);
    EXPECT_EQ(files.logFile, c.logFolder + "banklore_Debug.txt");
    EXPECT_EQ(files.definitionFile, c.definition);
    EXPECT_EQ(files.startFolder, c.start);
    EXPECT_EQ(files.archiveFile, c.beside ? c.dir + "banklore_archive.sqlite"
                                          : "/home/ann/.local/share/banklore/archive.sqlite");
  }
}

}  // namespace
}  // namespace banklore
