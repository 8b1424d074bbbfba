// Standard MIDI Files that carry one SysEx message per event: a format 0 writer with one track, and
// a reader that collects the SysEx events of every track of a file (treated as hostile input).
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
  // The same on a stream the caller owns (opened for binary writing, positioned at its start, and
  // seekable, since Close writes the track length back); Close then flushes but does not close it.
  bool Open(std::FILE* stream, int division);
  // Appends one SysEx event (bytes[0] is F0). False when a write fails, and also, without writing,
  // for a message that is empty, does not start with F0, or has a delta or length of 2^28 or more;
  // such a refusal makes Close return false too, since the file then lacks a message.
  bool WriteSysEx(std::span<const std::uint8_t> bytes, std::uint32_t delta);
  // Writes End of Track and the track length, flushes and closes; false when any write since Open
  // failed, so a full disk is never reported as success.
  bool Close();

 private:
  bool put(const std::uint8_t* bytes, std::size_t size);  // false (and failed_) on a short write
  bool putVariableLength(std::uint32_t value);            // also counts the bytes in trackLength_

  std::FILE* file_ = nullptr;
  long start_ = 0;  // stream offset of "MThd", for writing the track length back
  bool ownsFile_ = false;
  bool failed_ = false;
  std::uint32_t trackLength_ = 0;
};

class MidiFileReader {
 public:
  static constexpr int kCapacity = 4096;

  // Parses the file and appends every SysEx event (F0 and its data) to the store, in file order.
  // False for a file that cannot be opened, does not start with "MThd", or is malformed. SysEx
  // events beyond the store's kCapacity entries are ignored; the file still reads as true.
  bool Read(const std::string& path);
  // After a Read that returned false for a file whose header chunk was whole (a Standard MIDI File
  // cut short or damaged): the number of bytes from the file's start that were read intact. The
  // store then holds every complete SysEx message before that point, and none cut by the damage.
  // nullopt after a successful Read, or when the file is no Standard MIDI File at all.
  std::optional<std::uint64_t> damagedAfter() const;
  int messageCount() const;
  // The message at index, or nullopt when that entry is empty (index < 0 or >= kCapacity included).
  std::optional<std::span<const std::uint8_t>> message(int index) const;
  void Clear();

 private:
  std::vector<std::vector<std::uint8_t>> store_;
  std::optional<std::uint64_t> damagedAfter_;
};

}  // namespace banklore
