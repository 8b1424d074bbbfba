// What the archive window shows and does, for the running instrument: the window draws and asks,
// the librarian decides.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/patch_archive.h"

namespace banklore {

class ArchiveBrowser {
 public:
  virtual ~ArchiveBrowser() = default;

  // The running instrument's archived patches, newest first (the window filters them itself,
  // see matchingEntries, so that each key costs no database query).
  virtual std::vector<ArchiveEntry> entries() = 0;
  // Every event of one patch, oldest first.
  virtual std::vector<ArchiveEvent> history(std::int64_t id) = 0;
  // Puts the patches, in the order given, into the selected slots of the active bank as "Load to
  // selected slots" does for a file: one undo step; the bank's status line says what was done.
  virtual void loadToSelectedSlots(const std::vector<std::int64_t>& ids) = 0;
  // Asks for a file and saves the patches there as each was last seen (.syx, or .mid by the
  // extension chosen).
  virtual void saveToFile(const std::vector<std::int64_t>& ids) = 0;
};

// The indices of the entries whose names contain `filter` in any case (all for an empty filter),
// in their order.
std::vector<std::size_t> matchingEntries(const std::vector<ArchiveEntry>& entries,
                                         const std::string& filter);

// "sent to A005, 2026-12-07 14:02": the last event with its local time, for the window's list.
std::string lastSeenText(const ArchiveEntry& entry);

}  // namespace banklore
