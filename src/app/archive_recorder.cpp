#include "app/archive_recorder.h"

#include <algorithm>
#include <ctime>
#include <utility>

#include "core/patch.h"
#include "platform/debug_log.h"
#include "platform/profile.h"

namespace banklore {

std::string archivePathFor(const FileLocations& files, const std::string& settingsPath,
                           const std::string& override) {
  if (readInt(settingsPath, "General", "Archive", 1) == 0) return {};
  return override.empty() ? files.archiveFile : override;
}

std::vector<std::uint8_t> soundData(const InstrumentDefinition& definition,
                                    std::span<const std::uint8_t> message) {
  const auto header =
      std::min(static_cast<std::size_t>(std::max(definition.HeaderSize(), 0)), message.size());
  const std::int32_t checksum = definition.SendChecksumPos();  // 0: the patches carry none
  std::vector<std::uint8_t> sound;
  sound.reserve(message.size() - header);
  for (std::size_t i = header; i < message.size(); ++i) {
    if (checksum > 0 && i == static_cast<std::size_t>(checksum)) continue;
    sound.push_back(message[i]);
  }
  return sound;
}

ArchiveRecorder::ArchiveRecorder(std::string path, Problem tellOnce)
    : path_(std::move(path)), tellOnce_(std::move(tellOnce)) {}

ArchiveRecorder::~ArchiveRecorder() = default;

PatchArchive* ArchiveRecorder::archive() {
  if (path_.empty() || failed_) return nullptr;
  if (!opened_) {
    opened_ = true;
    // The folder of an installed copy's archive may not exist yet.
    if (const auto slash = path_.rfind('/'); slash != std::string::npos && slash > 0) {
      if (const auto problem = prepareFolder(path_.substr(0, slash + 1))) {
        fail("The patch archive is off this run: cannot write to " + path_.substr(0, slash + 1) +
             " (" + *problem + ").");
        return nullptr;
      }
    }
    PatchArchive::Opened opened = PatchArchive::open(path_);
    if (!opened.archive) {
      fail("The patch archive is off this run: " + opened.problem);
      return nullptr;
    }
    archive_ = std::move(opened.archive);
    if (!opened.movedAside.empty()) {
      movedAside_ = opened.movedAside;
      // Not a failure: the archive works, but the user must hear where the old one went.
      const std::string text = "The patch archive " + path_ + " was damaged; it was moved to " +
                               opened.movedAside + " and a new one started.";
      WriteLog(LogPath(), "%s\n", text.c_str());
      if (tellOnce_) tellOnce_(text);
    }
  }
  return archive_.get();
}

void ArchiveRecorder::note(const InstrumentDefinition& definition, std::span<const SeenSlot> seen,
                           ArchiveAction action, const std::string& file) {
  if (path_.empty() || failed_ || seen.empty()) return;
  std::vector<SeenPatch> patches;
  patches.reserve(seen.size());
  for (const SeenSlot& s : seen) {
    if (!definition.matchesSendTemplate(s.message)) continue;
    std::string name = patchName(definition, s.message);
    name.erase(name.find_last_not_of(' ') + 1);
    patches.push_back({{s.message.begin(), s.message.end()},
                       soundData(definition, s.message),
                       std::move(name),
                       s.slot >= 0 ? definition.patchLabel(s.slot) : std::string()});
  }
  if (patches.empty()) return;
  PatchArchive* target = archive();
  if (!target) return;
  if (const auto problem = target->record(definition.InstrumentName(), patches, action, file,
                                          static_cast<std::int64_t>(std::time(nullptr)))) {
    fail("The patch archive is off this run: " + *problem);
  }
}

void ArchiveRecorder::fail(const std::string& text) {
  // Told once: after a failure the archive is left alone, so one problem is one message.
  failed_ = true;
  archive_.reset();
  WriteLog(LogPath(), "%s\n", text.c_str());
  if (tellOnce_) tellOnce_(text);
}

}  // namespace banklore
