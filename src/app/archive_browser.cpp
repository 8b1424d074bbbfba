#include "app/archive_browser.h"

#include <algorithm>

namespace banklore {

namespace {

// Patch names are single-byte text: only the ASCII letters have a case to ignore.
char asciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool sameIgnoringCase(char a, char b) {
  return asciiLower(a) == asciiLower(b);
}

}  // namespace

std::vector<std::size_t> matchingEntries(const std::vector<ArchiveEntry>& entries,
                                         const std::string& filter) {
  std::vector<std::size_t> matching;
  matching.reserve(entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const std::string& name = entries[i].name;
    // Compared in place, byte by byte: a key typed into the find box runs this over every entry,
    // and a lowered copy of each name would cost an allocation apiece.
    if (filter.empty() || std::search(name.begin(), name.end(), filter.begin(), filter.end(),
                                      sameIgnoringCase) != name.end()) {
      matching.push_back(i);
    }
  }
  return matching;
}

std::string lastSeenText(const ArchiveEntry& entry) {
  return entry.lastEvent + ", " + shortLocalTime(entry.lastSeen);
}

}  // namespace banklore
