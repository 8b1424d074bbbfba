// The librarian's side of the patch archive: where it is, whether it is on, and the one place that
// turns what a command saw into archive records. An archive that cannot be opened or written is
// told once (a status line and the log) and then left alone for the rest of the run; no command
// ever fails because of it.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "archive/patch_archive.h"
#include "core/instrument_definition.h"
#include "platform/file_locations.h"

namespace banklore {

// The archive file the settings choose: none when "General"/"Archive" is 0, else `override` when
// given, else the file the locations name.
std::string archivePathFor(const FileLocations& files, const std::string& settingsPath,
                           const std::string& override = "");

// A patch message as a command saw it, and the slot it came from or went to (-1: none).
struct SeenSlot {
  SeenSlot(std::span<const std::uint8_t> bytes, std::int32_t at = -1) : message(bytes), slot(at) {}
  SeenSlot(const std::vector<std::uint8_t>& bytes) : message(bytes) {}  // NOLINT: a file's patch
  std::span<const std::uint8_t> message;
  std::int32_t slot = -1;
};

// The bytes that make a patch the sound it is: all but the header and the send checksum byte.
std::vector<std::uint8_t> soundData(const InstrumentDefinition& definition,
                                    std::span<const std::uint8_t> message);

class ArchiveRecorder {
 public:
  // Told once, with the text for the status line, the first time the archive fails.
  using Problem = std::function<void(const std::string& text)>;
  // `path` empty: the archive is off and nothing is ever written or told.
  ArchiveRecorder(std::string path, Problem tellOnce);
  ~ArchiveRecorder();
  ArchiveRecorder(const ArchiveRecorder&) = delete;
  ArchiveRecorder& operator=(const ArchiveRecorder&) = delete;

  // Notes the valid patches among `seen` (of `definition`'s instrument section) as one event of
  // `action`, in one transaction; `file` for loads and saves. Invalid patches are passed over.
  void note(const InstrumentDefinition& definition, std::span<const SeenSlot> seen,
            ArchiveAction action, const std::string& file = "");

  // The archive, opened on first use; null when off or failing.
  PatchArchive* archive();
  const std::string& path() const { return path_; }
  // Where a damaged archive was moved when this run opened it; empty when it was not.
  const std::string& movedAside() const { return movedAside_; }

 private:
  void fail(const std::string& text);

  std::string path_;
  std::string movedAside_;
  Problem tellOnce_;
  bool opened_ = false;
  bool failed_ = false;
  std::unique_ptr<PatchArchive> archive_;
};

}  // namespace banklore
