// Every writer of the program against the same protected targets: a file or folder this user may
// not write, a full disk (a file-size limit), a FIFO where a file should be. Each write runs in a
// child as an unprivileged user. The table lives here because this executable links them all:
// the atomic file and INI writer, the window's bank-file and settings saves, and banklore-cli's.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <array>

#include "app/support/app_fixture.h"
#include "cli_bank_io.h"
#include "platform/atomic_file.h"
#include "platform/debug_log.h"
#include "platform/profile.h"
#include "platform/temp_dir.h"
#include "support/child_process.h"

namespace banklore::testing {
namespace {

// A write target set up for one case: a file of a given mode, a FIFO or nothing, alone in a
// folder of a given mode; afterwards it says what became of it.
enum class Target { None, File, Fifo };

struct ProtectedTarget {
  ProtectedTarget(std::string folderPath, const std::string& name, mode_t folderMode, Target kind,
                  mode_t mode, std::string oldContents)
      : folder(std::move(folderPath)), path(folder + "/" + name), old(std::move(oldContents)) {
    std::filesystem::create_directories(folder);
    if (kind == Target::File) {
      writeFile(path, old);
      ::chmod(path.c_str(), mode);
    } else if (kind == Target::Fifo) {
      ::mkfifo(path.c_str(), 0666);
    }
    ::chmod(folder.c_str(), folderMode);
    inode = inodeOf(path);
  }
  // Writable again, so that the test's folder can be removed.
  ~ProtectedTarget() { ::chmod(folder.c_str(), 0755); }
  ProtectedTarget(const ProtectedTarget&) = delete;
  ProtectedTarget& operator=(const ProtectedTarget&) = delete;

  static ino_t inodeOf(const std::string& file) {
    struct stat info;
    return ::lstat(file.c_str(), &info) == 0 ? info.st_ino : 0;
  }
  // "none", "fifo", "old", "new" (as `isNew` judges the file) or "damaged".
  std::string contents(const std::function<bool(const std::string&)>& isNew) const {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0) return "none";
    if (S_ISFIFO(info.st_mode)) return "fifo";
    return readFile(path) == old ? "old" : isNew(path) ? "new" : "damaged";
  }
  bool replaced() const { return inode != 0 && inodeOf(path) != inode; }
  // Temporary files of the target ("name.XXXXXX") left in its folder.
  long leftovers() const {
    const std::string prefix = std::filesystem::path(path).filename().string() + ".";
    long count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
      count += entry.path().filename().string().starts_with(prefix);
    return count;
  }

  std::string folder, path, old;
  ino_t inode = 0;
};

struct Writer {
  const char* name;
  const char* file;
  std::string old;  // what the target holds before the write
  std::function<std::string(const std::string& path)> write;  // in the child: what it told
  std::function<bool(const std::string& path)> isNew;         // the file holds the new contents
};

enum class Limit { None, OldFits, HalfOld };

class ProtectedFilesTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    startOnTestDefinition();
    fill({0, 2});
    save(path("reference.syx"));
    save(path("reference.mid"));
    patches_ = {&window_->bank(0).slots[0], &window_->bank(0).slots[2]};
    ASSERT_EQ(writeBankFile(path("cli-reference.mid"), BankFormat::Mid, patches_), "");
  }
  // Saves slots 0 and 2 of bank 0 through the dialog; the boxes shown and the status, on a line.
  std::string save(const std::string& file) {
    view_.banks[0].selection = {0, 2};
    prompts_.messages.clear();
    window_->SetStatus(0, "Ready.");
    prompts_.files.push_back(file);
    prompts_.yesNo = {true};
    window_->onCommand(CommandId::SaveSelected);
    std::string text;
    for (const std::string& m : prompts_.messages) text += m + " | ";
    return text + view_.banks[0].status;
  }
  std::vector<Writer> writers() {
    const std::string old(32, 'o'), fresh(64, 'n');
    const auto same = [this](const char* reference) {
      return [this, reference](const std::string& file) {
        return banklore::readFile(file) == readFile(reference);
      };
    };
    const auto saveTo = [this](const std::string& file) { return save(file); };
    return {
        {"atomic file", "target", old,
         [fresh](const std::string& file) {
           AtomicFile out(file);
           if (!out.open()) return std::string("refused");
           // Unbuffered, a write fails at once and the commit has nothing left to flush: the
           // failure must still be remembered.
           std::setvbuf(out.stream(), nullptr, _IONBF, 0);
           std::fwrite(fresh.data(), 1, fresh.size(), out.stream());
           if (out.commit()) return std::string("saved");
           out.discard();  // as a failed save does, which puts the old bytes back if it can
           return std::string(out.oldContentLost() ? "failed, old contents lost" : "failed");
         },
         [fresh](const std::string& file) { return banklore::readFile(file) == fresh; }},
        {"INI entry", "a.ini", "[A]\nKey=old\n",
         [](const std::string& file) {
           return writeText(file, "a", "k", "newer") ? "written" : "refused";
         },
         [](const std::string& file) { return readText(file, "A", "K", "", 9) == "newer"; }},
        {"bank file .syx", "bank.syx", old, saveTo, same("reference.syx")},
        {"bank file .mid", "bank.mid", old, saveTo, same("reference.mid")},
        {"settings at closing", "banklore.ini",
         "[General]\nPosX=100\nPosY=50\nWidth=900\nHeight=700\n",
         [this](const std::string& file) {
           dir_ = std::filesystem::path(file).parent_path().string() + "/";
           start();
           const std::string placement =
               std::to_string(view_.rect.left) + "," + std::to_string(view_.rect.top);
           view_.rect = {1005, 1006, 1700, 1800};  // each entry grows
           // The log goes into a pipe, which takes lines where the folder or the limit would not.
           int log[2];
           if (::pipe(log) != 0) return std::string("no pipe");
           SetLogPath("/dev/fd/" + std::to_string(log[1]));
           window_->close();
           ::close(log[1]);
           std::string text(4096, '\0');
           text.resize(std::max<ssize_t>(::read(log[0], text.data(), text.size()), 0));
           const bool told = text.find("Couldn't save the settings to " + file) != text.npos;
           return placement + (told ? " unsaved" : " saved");
         },
         [](const std::string& file) {
           return readText(file, "General", "Width", "", 9) == "1700";
         }},
        {"banklore-cli bank file", "bank.mid", old,
         [this](const std::string& file) {
           const std::string error = writeBankFile(file, BankFormat::Mid, patches_);
           return error.empty() ? "saved" : error;
         },
         same("cli-reference.mid")},
    };
  }

  std::vector<const Patch*> patches_;
};

TEST_F(ProtectedFilesTest, EveryWriterRefusesOrFailsWithoutLosingTheOldFileAndSaysSo) {
  constexpr std::size_t kWriters = 6;
  struct Case {
    const char* name;
    mode_t folder;
    Target target;
    mode_t mode;
    Limit limit;
    const char* contents;                    // none, fifo, old, new or damaged
    std::array<const char*, kWriters> told;  // per writer; {path} stands for the target's path
  };
  const char* const kNotSaved = "Couldn't create file! | 0 patches saved.";
  const char* const kLost =
      "Couldn't create file! | The old contents of {path} could not be put back after the failed "
      "save: the file may be damaged. | 0 patches saved.";
  const char* const kDenied = "cannot create it (Permission denied)";
  const char* const kFull = "the write failed (File too large); the file is as it was";
  // clang-format off
  const Case cases[] = {
      {"read-only file: never replaced", 0777, Target::File, 0444, Limit::None, "old",
       {"refused", "refused", kNotSaved, kNotSaved, "100,50 unsaved", kDenied}},
      {"new file in a read-only folder", 0555, Target::None, 0, Limit::None, "none",
       {"refused", "refused", kNotSaved, kNotSaved, "10,20 unsaved", kDenied}},
      {"writable file in a read-only folder: written in place", 0555, Target::File, 0666,
       Limit::None, "new",
       {"saved", "written", "Ready.", "2 patches saved.", "100,50 saved", "saved"}},
      {"write-only file in a read-only folder", 0555, Target::File, 0222, Limit::None, "old",
       {"refused", "refused", kNotSaved, kNotSaved, "10,20 unsaved", kDenied}},
      {"full disk: the old file kept", 0777, Target::File, 0666, Limit::OldFits, "old",
       {"failed", "refused", kNotSaved, kNotSaved, "100,50 unsaved", kFull}},
      {"full disk in place: the old bytes put back", 0555, Target::File, 0666, Limit::OldFits,
       "old", {"failed", "refused", kNotSaved, kNotSaved, "100,50 unsaved", kFull}},
      {"full disk in place, the old bytes past the limit too", 0555, Target::File, 0666,
       Limit::HalfOld, "damaged",
       {"failed, old contents lost", "refused", kLost, kLost, "100,50 unsaved",
        "the write failed and the old file could not be put back"}},
      {"FIFO: refused without blocking", 0777, Target::Fifo, 0, Limit::None, "fifo",
       {"refused", "refused", kNotSaved, kNotSaved, "10,20 unsaved",
        "cannot create it (Invalid argument)"}},
  };
  // clang-format on
  const std::vector<Writer> all = writers();
  ASSERT_EQ(all.size(), kWriters);
  for (int i = 0; const Case& c : cases) {
    for (std::size_t w = 0; w < kWriters; ++w) {
      const Writer& writer = all[w];
      SCOPED_TRACE(std::string(c.name) + ", " + writer.name);
      const ProtectedTarget target(path("case" + std::to_string(i++)), writer.file, c.folder,
                                   c.target, c.mode, writer.old);
      const rlim_t limit = c.limit == Limit::None      ? RLIM_INFINITY
                           : c.limit == Limit::OldFits ? writer.old.size()
                                                       : writer.old.size() / 2;
      const auto child = test::runInChild([&] { return writer.write(target.path); },
                                          {.unprivileged = true, .fileSize = limit});
      if (child.unsupported) GTEST_SKIP() << child.output;
      ASSERT_TRUE(child.finished) << child.output;
      std::string told = c.told[w];
      if (const auto at = told.find("{path}"); at != told.npos) told.replace(at, 6, target.path);
      EXPECT_EQ(child.output, told);
      EXPECT_EQ(target.contents(writer.isNew), c.contents);
      EXPECT_FALSE(target.replaced()) << "the file was replaced, not written";
      EXPECT_EQ(target.leftovers(), 0) << "a temporary file was left";
    }
  }
}

}  // namespace
}  // namespace banklore::testing
