// The archive against a plain model of what it should hold, and against the ways its file fails:
// not an archive or damaged, not writable, locked by another writer, on a full disk, shared.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <map>
#include <thread>

#include "archive/patch_archive.h"
#include "platform/temp_dir.h"
#include "support/child_process.h"

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Sound `sound` as the instrument sent it with `device` in its header.
SeenPatch sighting(int sound, const std::string& name, const std::string& slot, int device = 0) {
  Bytes data(392, static_cast<std::uint8_t>(sound & 0x7F));
  data[0] = static_cast<std::uint8_t>(sound >> 7);
  Bytes message(data.size() + 4, 0xF7);  // F0 7D <device>, the data, F7
  message[0] = 0xF0;
  message[1] = 0x7D;
  message[2] = static_cast<std::uint8_t>(device);
  std::copy(data.begin(), data.end(), message.begin() + 3);
  if (device == 3) message[100] ^= 1;  // a message that does not hold its sound as it is
  return {message, data, name, slot};
}

std::vector<SeenPatch> sounds(int first, int count) {
  std::vector<SeenPatch> patches;
  for (int i = first; i < first + count; ++i)
    patches.push_back(sighting(i, "P" + std::to_string(i), "A1"));
  return patches;
}

// What the archive should hold: each section's sounds, newest first, as last seen with every
// sighting.
struct Model {
  using Key = std::pair<std::string, Bytes>;
  std::vector<std::pair<Key, SeenPatch>> newestFirst;
  std::map<Key, std::vector<ArchiveEvent>> events;

  void record(const std::string& section, const std::vector<SeenPatch>& seen, ArchiveAction action,
              const std::string& file, std::int64_t time) {
    static const char* const kVerbs[] = {"fetched from ", "loaded from ", "saved to ", "sent to "};
    const bool fromFile = action == ArchiveAction::Loaded || action == ArchiveAction::Saved;
    for (const SeenPatch& p : seen) {
      const Key key(section, p.sound);
      std::erase_if(newestFirst, [&](const auto& patch) { return patch.first == key; });
      newestFirst.insert(newestFirst.begin(), {key, p});
      events[key].push_back({time, kVerbs[int(action)] + (fromFile ? file : p.slot), p.name});
    }
  }
};

// A patch as the archive window would show it, with its history.
std::string shown(const ArchiveEntry& e, const Bytes& message, const std::vector<ArchiveEvent>& h) {
  std::string text = e.section + "|" + e.name + "|" + std::to_string(e.firstSeen) + ".." +
                     std::to_string(e.lastSeen) + " x" + std::to_string(e.timesSeen) + " " +
                     e.lastEvent + "|" + std::string(message.begin(), message.end()) + "\n";
  for (const ArchiveEvent& event : h)
    text += "  " + std::to_string(event.time) + " " + event.what + " as " + event.name + "\n";
  return text;
}

RC_GTEST_PROP(ArchiveTest, HoldsEachSoundOncePerSectionWithEverySighting, ()) {
  const bool onFile = *rc::gen::arbitrary<bool>();
  TempDir dir;
  const std::string path = onFile ? dir.file("archive.db") : ":memory:";
  auto archive = PatchArchive::open(path).archive;
  RC_ASSERT(archive != nullptr);
  Model model;
  std::int64_t time = 1796652125;
  for (const int count : *rc::gen::container<std::vector<int>>(rc::gen::inRange(1, 5))) {
    const auto section = *rc::gen::element<std::string>("Nova", "Virus");
    const auto action = *rc::gen::element(ArchiveAction::Fetched, ArchiveAction::Loaded,
                                          ArchiveAction::Saved, ArchiveAction::Sent);
    const auto file = *rc::gen::element<std::string>("/b/bank.syx", "/c/x.mid");
    std::vector<SeenPatch> seen;
    for (int i = 0; i < count; ++i)
      seen.push_back(
          sighting(*rc::gen::inRange(0, 4), *rc::gen::element<std::string>("Bass", "bass 2", "PAD"),
                   *rc::gen::element<std::string>("A001", "B017"), *rc::gen::inRange(0, 4)));
    time += *rc::gen::inRange(0, 2);
    RC_ASSERT(archive->record(section, seen, action, file, time) == std::nullopt);
    model.record(section, seen, action, file, time);
  }
  if (onFile) archive = PatchArchive::open(path).archive;
  for (const std::string section : {"", "Nova"}) {
    for (const std::string part : {"", "AS", "S 2"}) {
      std::string expected, got;
      for (const auto& [key, p] : model.newestFirst) {
        const auto& events = model.events[key];
        std::string upper = p.name;  // the parts are upper case
        for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (upper.find(part) != upper.npos && (section.empty() || key.first == section))
          expected += shown({0, key.first, p.name, events.front().time, events.back().time,
                             std::int64_t(events.size()), events.back().what},
                            p.message, events);
      }
      for (const ArchiveEntry& e : archive->entries(section, part))
        got += shown(e, archive->lastMessage(e.id), archive->history(e.id));
      RC_ASSERT(got == expected);
    }
  }
}

TEST(ArchiveTest, WritesTimesInLocalTime) {
  ::setenv("TZ", "UTC", 1), ::tzset();
  EXPECT_EQ(isoLocalTime(1796652125) + " " + shortLocalTime(1796652125),
            "2026-12-07T14:02:05 2026-12-07 14:02");
}

// Runs SQL on the file through a connection of its own, as another program would.
std::unique_ptr<sqlite3, int (*)(sqlite3*)> connect(const std::string& path, const char* sql) {
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  return {db, sqlite3_close};
}

std::string archiveWith(const TempDir& dir, int patches) {
  const auto archive = PatchArchive::open(dir.file("a.db")).archive;
  EXPECT_EQ(archive->record("Nova", sounds(0, patches), ArchiveAction::Fetched, "", 1),
            std::nullopt);
  return dir.file("a.db");
}

TEST(ArchiveTest, MovesAsideWhatIsNoArchiveKeepingItsBytes) {
  for (const std::string kind : {"text", "truncated", "another database", "tables dropped"}) {
    SCOPED_TRACE(kind);
    TempDir dir;
    const std::string path = archiveWith(dir, 300);
    if (kind == "text") writeFile(path, "[Nova]\nname=Bass\n");
    if (kind == "truncated") writeFile(path, readFile(path).substr(0, 64 * 1024));
    if (kind == "another database")
      std::filesystem::remove(path), connect(path, "CREATE TABLE t(x)");
    if (kind == "tables dropped") connect(path, "DROP TABLE event");
    const std::string before = readFile(path);
    const auto opened = PatchArchive::open(path);
    ASSERT_NE(opened.archive, nullptr) << opened.problem;
    EXPECT_EQ(readFile(opened.movedAside), before);
    EXPECT_EQ(opened.movedAside.rfind(path + ".damaged-", 0), 0u);
    EXPECT_TRUE(opened.archive->entries("").empty());
    EXPECT_EQ(opened.archive->record("Nova", sounds(0, 1), ArchiveAction::Sent, "", 2),
              std::nullopt);
  }
}

// Each failure says why; a file it may not write is left as it is, a failed record leaves nothing.
TEST(ArchiveTest, SaysWhyItCannotWriteAndStaysUsable) {
  TempDir dir;
  const std::string path = archiveWith(dir, 3), before = readFile(path);
  ::chmod(dir.path.c_str(), 0755);
  for (const std::string& file : {path, dir.file("new.db")}) {
    const auto child =
        test::runInChild([&] { return PatchArchive::open(file).problem; }, {.unprivileged = true});
    if (child.unsupported) GTEST_SKIP() << child.output;
    EXPECT_EQ(child.output.find("cannot open the archive " + file), 0u) << child.output;
  }
  EXPECT_EQ(readFile(path), before);
  EXPECT_EQ(dir.entries(), 1);
  {
    const auto archive = PatchArchive::open(path).archive;
    const auto writer = connect(path, "BEGIN IMMEDIATE");
    const auto why = archive->record("Nova", sounds(10, 2), ArchiveAction::Sent, "", 2);
    EXPECT_NE(why.value_or("").find("busy"), std::string::npos) << why.value_or("written");
  }
  const auto child = test::runInChild(
      [&] {
        const auto archive = PatchArchive::open(path).archive;
        const auto full = archive->record("Nova", sounds(20, 4096), ArchiveAction::Saved, "/b", 3);
        const auto next = archive->record("Nova", sounds(30, 1), ArchiveAction::Saved, "/b", 4);
        return full.value_or("written") + " / " + next.value_or("written");
      },
      {.fileSize = 256 * 1024});
  EXPECT_EQ(child.output.find("cannot write the archive " + path + ": the disk is full"), 0u)
      << child.output;
  EXPECT_TRUE(child.output.ends_with(" / written")) << child.output;
  const auto entries = PatchArchive::open(path).archive->entries("Nova");
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(entries[0].name, "P30");
}

TEST(ArchiveTest, TwoWritersAtOnceLoseNothing) {
  TempDir dir;
  const std::string path = archiveWith(dir, 1);
  auto write = [&](int first) {
    const auto archive = PatchArchive::open(path).archive;
    for (int call = 0; call < 100; ++call) {
      // Busy is an answer, not a fault: this writer, unlike a transfer, tries again.
      while (const auto why = archive->record("Nova", sounds(first + call % 8, 4),
                                              ArchiveAction::Fetched, "", call))
        ASSERT_NE(why->find("busy"), std::string::npos) << *why;
    }
  };
  std::thread other(write, 0);
  write(4);
  other.join();
  std::int64_t seen = 0;
  for (const ArchiveEntry& e : PatchArchive::open(path).archive->entries("Nova"))
    seen += e.timesSeen;
  EXPECT_EQ(seen, 1 + 2 * 100 * 4);
}

}  // namespace
}  // namespace banklore
