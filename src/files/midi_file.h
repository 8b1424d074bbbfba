// Standard MIDI Files that carry one SysEx message per event: a format 0 writer with one track, and a
// reader that collects the SysEx events of every track of a file (treated as hostile input).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace banklore {

class MidiFileWriter {
 public:
  MidiFileWriter() = default;
  ~MidiFileWriter();  // closes a file it opened itself (without End of Track)
  MidiFileWriter(const MidiFileWriter&) = delete;
  MidiFileWriter& operator=(const MidiFileWriter&) = delete;

  // Creates (or truncates) the file and writes the header and the track placeholder.
  bool Open(const std::string& path, int division);
  // The same on a stream the caller owns (opened for binary writing, positioned at its start);
  // Close then flushes but does not close it.
  bool Open(std::FILE* stream, int division);
  // Appends one SysEx event (bytes[0] is F0). False when a write fails.
  bool WriteSysEx(std::span<const std::uint8_t> bytes, std::uint32_t delta);
  // Writes End of Track and the track length, flushes and closes; false when any write since Open
  // failed, so a full disk is never reported as success.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  bool ownsFile_ = false;
  bool failed_ = false;
  std::uint32_t trackLength_ = 0;
};

class MidiFileReader {
 public:
  static constexpr int kCapacity = 4096;

  // Parses the file and appends every SysEx event (F0 and its data) to the store, in file order.
  // False for a file that cannot be opened, does not start with "MThd", or is malformed.
  bool Read(const std::string& path);
  int messageCount() const;
  // The message at index, or nullopt when that entry is empty (index < 0 or >= kCapacity included).
  std::optional<std::span<const std::uint8_t>> message(int index) const;
  void Clear();

 private:
  std::vector<std::vector<std::uint8_t>> store_;
};

}  // namespace banklore
