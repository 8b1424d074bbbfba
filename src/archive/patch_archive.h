// Every patch Banklore has seen, kept in an SQLite file: each sound once per instrument section
// (identified by its data without header and checksum, so the same sound from another slot,
// device or under another name is one patch), with an event for every time it was seen. Written
// one transaction per command; shared safely by several processes at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace banklore {

enum class ArchiveAction { Fetched, Loaded, Saved, Sent };

// What an event says: "fetched from A005", "loaded from /home/x/bank.syx", "saved to ...",
// "sent to A005". `where` is the slot label or the file.
std::string eventText(ArchiveAction action, const std::string& where);

// A Unix time in local time: "2026-12-07T14:02:05" (ISO 8601, for banklore-cli) and
// "2026-12-07 14:02" (for the archive window's list).
std::string isoLocalTime(std::int64_t unixSeconds);
std::string shortLocalTime(std::int64_t unixSeconds);

// One patch seen, as the librarian hands it over.
struct SeenPatch {
  std::vector<std::uint8_t> message;  // the whole patch message as it was seen
  std::vector<std::uint8_t> sound;    // what identifies it: its data without header and checksum
  std::string name;                   // its name then, trailing spaces trimmed
  std::string slot;                   // the slot label fetched from or sent to; empty otherwise
};

// One archived patch, as the archive window lists it and banklore-cli archive prints it.
struct ArchiveEntry {
  std::int64_t id = 0;
  std::string section;
  std::string name;  // as last seen
  std::int64_t firstSeen = 0;  // Unix time, seconds
  std::int64_t lastSeen = 0;
  std::int64_t timesSeen = 0;  // events
  std::string lastEvent;       // eventText of the last event
};

// One line of a patch's history.
struct ArchiveEvent {
  std::int64_t time = 0;
  std::string what;  // eventText
  std::string name;  // the name it had then
};

class PatchArchive {
 public:
  struct Opened {
    std::unique_ptr<PatchArchive> archive;  // null when it could not be opened
    std::string problem;     // why not; empty when opened
    std::string movedAside;  // where a damaged file was moved before a new one was started
  };
  // Opens `path`, creating it (and nothing else: its folder must exist) when missing; ":memory:"
  // gives an archive in memory only. A file that is not an archive or is damaged is moved aside
  // (renamed, never deleted) and a new one started; Opened says where it went.
  static Opened open(const std::string& path);
  ~PatchArchive();
  PatchArchive(const PatchArchive&) = delete;
  PatchArchive& operator=(const PatchArchive&) = delete;

  // Notes `patches` of instrument `section` as seen at `time` (Unix seconds) in one transaction:
  // all or nothing. `file` is the event's place for Loaded and Saved; Fetched and Sent take each
  // patch's slot. Nothing when written, else why not (busy, read-only, disk full...); the
  // archive stays open for the next try. Waits at most a short while for another writer.
  std::optional<std::string> record(const std::string& section,
                                    std::span<const SeenPatch> patches, ArchiveAction action,
                                    const std::string& file, std::int64_t time);

  // The patches of `section` (of every section when empty) whose last name contains
  // `nameContains` in any case, newest (last seen) first.
  std::vector<ArchiveEntry> entries(const std::string& section,
                                    const std::string& nameContains = "") const;
  // Every event of a patch, oldest first; empty for an unknown id.
  std::vector<ArchiveEvent> history(std::int64_t id) const;
  // The patch message as it was last seen; empty for an unknown id.
  std::vector<std::uint8_t> lastMessage(std::int64_t id) const;

 private:
  struct Database;
  explicit PatchArchive(std::unique_ptr<Database> database);
  std::unique_ptr<Database> db_;
};

}  // namespace banklore
