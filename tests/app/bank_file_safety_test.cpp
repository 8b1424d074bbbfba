// Saving and loading bank files where the user's data is at stake: slots without a valid patch,
// protected files and folders (as an unprivileged user, in a child), a full disk, and FIFOs chosen
// as bank files, on the test definition (27-byte patches that name their own slot).
#include <sys/stat.h>

#include <cstdlib>

#include "app/support/app_fixture.h"
#include "files/midi_file.h"
#include "support/child_process.h"
#include "support/log_capture.h"

namespace banklore::testing {
namespace {

using test::ChildLimits;
using test::LogCapture;
using test::runInChild;

ino_t inodeOf(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

class BankFileSafetyTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    startOnTestDefinition();
    fill({0, 2, 5});  // the other slots hold placeholders
  }
  // The command with the file the dialog answers; an existing file is replaced.
  void run(CommandId command, const std::string& file, std::vector<int> selection = {0, 2}) {
    view_.banks[0].selection = std::move(selection);
    prompts_.messages.clear();
    window_->SetStatus(0, "Ready.");
    prompts_.files.push_back(path(file));
    prompts_.yesNo = {true};
    window_->onCommand(command);
  }
  // The boxes shown and the status that stays, on one line.
  std::string outcome() const {
    std::string text;
    for (const std::string& m : prompts_.messages) text += m + " | ";
    return text + view_.banks[0].status;
  }
  std::vector<std::string> midMessages(const std::string& file) const {
    MidiFileReader reader;
    std::vector<std::string> messages;
    if (!reader.Read(path(file))) return {"unreadable"};
    for (int i = 0; const auto m = reader.message(i); ++i)
      messages.emplace_back(m->begin(), m->end());
    return messages;
  }
};

TEST_F(BankFileSafetyTest, SavingLeavesOutSlotsWithoutAValidPatchAndSaysSo) {
  writeFile("old.syx", "old");
  writeFile("old.mid", "old");
  struct Case {
    const char* file;
    std::vector<int> selection;
    const char* status;
    std::vector<int> saved;  // none: the file is left as it was, or not created
  };
  const Case cases[] = {
      {"mixed.syx", {0, 1, 2, 3}, "2 patches saved, 2 empty slots skipped.", {0, 2}},
      {"mixed.mid", {0, 1, 2}, "2 patches saved, 1 empty slot skipped.", {0, 2}},
      {"whole.syx", {0, 2, 5}, "Ready.", {0, 2, 5}},  // nothing skipped: no status, as before
      {"whole.mid", {0, 2, 5}, "3 patches saved.", {0, 2, 5}},
      {"old.syx", {1, 3, 4}, "0 patches saved, 3 empty slots skipped.", {}},
      {"old.mid", {1}, "0 patches saved, 1 empty slot skipped.", {}},
      {"new.mid", {1, 3}, "0 patches saved, 2 empty slots skipped.", {}},
  };
  const std::string placeholder = slotText(0, 1);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    run(CommandId::SaveSelected, c.file, c.selection);
    EXPECT_EQ(outcome(), c.status);
    std::vector<std::string> expected;
    for (const int slot : c.saved) expected.push_back(slotText(0, slot));
    const bool mid = std::string(c.file).ends_with(".mid");
    if (c.saved.empty()) {
      EXPECT_EQ(readFile(c.file), c.file[0] == 'o' ? "old" : "");
      EXPECT_EQ(inodeOf(path(c.file)) != 0, c.file[0] == 'o') << "a file was created";
    } else if (mid) {
      EXPECT_EQ(midMessages(c.file), expected);
    } else {
      std::string joined;
      for (const std::string& bytes : expected) joined += bytes;
      EXPECT_EQ(readFile(c.file), joined);
    }
  }
  EXPECT_EQ(slotText(0, 1), placeholder) << "a skipped slot is not renumbered";
}

// As an unprivileged user: a read-only file is never replaced, a full disk leaves the old file and
// no temporary one, a writable file in a read-only folder is written in place (same file, so owner
// and hard links stay), and a failed in-place write puts the old bytes back, or says plainly that
// it could not.
TEST_F(BankFileSafetyTest, SavesHonourThePermissionsOfTheFileAndItsFolder) {
  run(CommandId::SaveSelected, "reference.syx");
  run(CommandId::SaveSelected, "reference.mid");
  constexpr rlim_t kNone = RLIM_INFINITY;
  struct Case {
    const char* name;
    const char* file;
    mode_t folder, mode;
    std::size_t oldSize;
    rlim_t limit;
    const char* outcome;   // "{path}" stands for the file's path
    const char* contents;  // "old", "new" (as reference.*), or "damaged"
    const char* logged;
  };
  const char* const kRefused = "Couldn't create file! | 0 patches saved.";
  const Case cases[] = {
      {"read-only file", "a.syx", 0777, 0444, 32, kNone, kRefused, "old", ""},
      {"read-only file", "a.mid", 0777, 0444, 32, kNone, kRefused, "old", ""},
      {"full disk", "a.syx", 0777, 0666, 32, 40, kRefused, "old", ""},
      {"full disk", "a.mid", 0777, 0666, 32, 40, kRefused, "old", ""},
      {"read-only folder", "a.syx", 0555, 0666, 99, kNone, "Ready.", "new", ""},
      {"read-only folder", "a.mid", 0555, 0666, 99, kNone, "2 patches saved.", "new", ""},
      {"read-only folder, full disk", "a.syx", 0555, 0666, 20, 40, kRefused, "old",
       "Writing {path} failed; the file was left as it was\n"},
      {"read-only folder, full disk, old file past the limit", "a.mid", 0555, 0666, 100, 40,
       "Couldn't create file! | The old contents of {path} could not be put back after the failed "
       "save: the file may be damaged. | 0 patches saved.",
       "damaged", "Writing {path} failed and its old contents could not be put back\n"},
  };
  for (int i = 0; const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + " " + c.file);
    const std::string folder = "case" + std::to_string(i++);
    const std::string file = folder + "/" + c.file;
    std::filesystem::create_directory(path(folder));
    const std::string old(c.oldSize, 'o');
    writeFile(file, old);
    ::chmod(path(file).c_str(), c.mode);
    ::chmod(path(folder).c_str(), c.folder);
    const ino_t inode = inodeOf(path(file));
    const auto child = runInChild(
        [&] {
          LogCapture log;
          run(CommandId::SaveSelected, file);
          return outcome() + "\n" + log.text();
        },
        {.unprivileged = true, .fileSize = c.limit});
    ::chmod(path(folder).c_str(), 0755);
    const auto withPath = [&](std::string text) {
      if (const auto at = text.find("{path}"); at != text.npos) text.replace(at, 6, path(file));
      return text;
    };
    if (child.unsupported) GTEST_SKIP() << child.output;
    ASSERT_TRUE(child.finished) << child.output;
    EXPECT_EQ(child.output.substr(0, child.output.find('\n')), withPath(c.outcome));
    if (*c.logged) {
      EXPECT_NE(child.output.find(withPath(c.logged)), std::string::npos) << child.output;
    }
    const std::string contents = readFile(file);
    const std::string fresh = readFile(std::string("reference") + (c.file + 1));
    EXPECT_EQ(contents == old     ? "old"
              : contents == fresh ? "new"
                                  : "damaged",
              std::string(c.contents));
    EXPECT_EQ(inodeOf(path(file)), inode) << "the file was replaced";
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path(folder)), {}), 1)
        << "a temporary file was left";
  }
}

// A FIFO chosen or dropped as a bank file is refused at once with the usual texts, and stays.
TEST_F(BankFileSafetyTest, FifosAreRefusedWithoutBlocking) {
  for (const char* fifo : {"fifo.syx", "fifo.mid"}) ::mkfifo(path(fifo).c_str(), 0666);
  const auto child = runInChild([&] {
    std::string lines;
    for (const CommandId command :
         {CommandId::Load, CommandId::LoadToSelected, CommandId::SaveSelected}) {
      for (const char* fifo : {"fifo.syx", "fifo.mid"}) {
        run(command, fifo);
        lines += outcome() + "\n";
      }
    }
    prompts_.messages.clear();
    window_->onFilesDropped(0, {path("fifo.syx"), path("fifo.mid")});
    return lines + outcome();
  });
  ASSERT_TRUE(child.finished) << child.output;
  EXPECT_EQ(child.output,
            "Couldn't open file! | Couldn't load file.\n"
            "Couldn't load file.\n"
            "Couldn't open file! | Couldn't open file.\n"
            "Couldn't load file.\n"
            "Couldn't create file! | 0 patches saved.\n"
            "Couldn't create file! | 0 patches saved.\n"
            "Couldn't open file! | Couldn't load file.");
  for (const char* fifo : {"fifo.syx", "fifo.mid"}) {
    EXPECT_TRUE(std::filesystem::is_fifo(path(fifo))) << fifo;
  }
}

}  // namespace
}  // namespace banklore::testing
