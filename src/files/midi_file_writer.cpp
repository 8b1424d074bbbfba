#include <cstring>

#include "files/midi_file.h"
#include "files/variable_length.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

constexpr long kTrackLengthOffset = 18;

}  // namespace

MidiFileWriter::~MidiFileWriter() {
  if (ownsFile_ && file_ != nullptr) std::fclose(file_);
}

bool MidiFileWriter::Open(const std::string& path, int division) {
  if (file_ != nullptr) return false;
  // Only a regular file, opened without waiting: a FIFO would block the open for good.
  std::FILE* file = openRegularForWriting(path).release();
  if (file == nullptr) return false;
  if (!Open(file, division)) {
    std::fclose(file);
    return false;
  }
  ownsFile_ = true;
  return true;
}

bool MidiFileWriter::Open(std::FILE* stream, int division) {
  if (file_ != nullptr || stream == nullptr) return false;
  start_ = std::ftell(stream);
  if (start_ < 0) return false;  // the length is written back by seeking, so it must be seekable
  file_ = stream;
  ownsFile_ = false;
  failed_ = false;
  trackLength_ = 0;
  const std::uint8_t header[22] = {'M',
                                   'T',
                                   'h',
                                   'd',
                                   0,
                                   0,
                                   0,
                                   6,
                                   0,
                                   0,
                                   0,
                                   1,
                                   static_cast<std::uint8_t>((division >> 8) & 0xFF),
                                   static_cast<std::uint8_t>(division & 0xFF),
                                   'M',
                                   'T',
                                   'r',
                                   'k',
                                   0,
                                   0,
                                   0,
                                   0};
  if (put(header, sizeof header)) return true;
  file_ = nullptr;  // a stream Open(path) closes again must not be kept, nor block the next Open
  return false;
}

bool MidiFileWriter::put(const std::uint8_t* bytes, std::size_t size) {
  if (failed_ || file_ == nullptr) return false;
  if (size > 0 && std::fwrite(bytes, 1, size, file_) != size) failed_ = true;
  return !failed_;
}

bool MidiFileWriter::putVariableLength(std::uint32_t value) {
  std::uint8_t bytes[4];
  const std::size_t count = encodeVariableLength(value, bytes);
  trackLength_ += static_cast<std::uint32_t>(count);
  return put(bytes, count);
}

bool MidiFileWriter::WriteSysEx(std::span<const std::uint8_t> bytes, std::uint32_t delta) {
  if (failed_ || file_ == nullptr) return false;
  // A message that cannot be written as a well-formed event fails the whole file rather than
  // leaving one that reads back differently: Close then reports false too.
  const std::uint64_t eventSize = std::uint64_t{8} + bytes.size();
  if (bytes.empty() || bytes[0] != 0xF0 || delta >= kVariableLengthLimit ||
      bytes.size() - 1 >= kVariableLengthLimit || trackLength_ + eventSize > UINT32_MAX) {
    failed_ = true;
    return false;
  }
  putVariableLength(delta);
  put(bytes.data(), 1);
  putVariableLength(static_cast<std::uint32_t>(bytes.size() - 1));
  put(bytes.data() + 1, bytes.size() - 1);
  trackLength_ += static_cast<std::uint32_t>(bytes.size());
  return !failed_;
}

bool MidiFileWriter::Close() {
  if (file_ == nullptr) return false;
  static constexpr std::uint8_t kEndOfTrack[4] = {0x00, 0xFF, 0x2F, 0x00};
  put(kEndOfTrack, sizeof kEndOfTrack);
  trackLength_ += sizeof kEndOfTrack;
  const std::uint8_t length[4] = {
      static_cast<std::uint8_t>(trackLength_ >> 24), static_cast<std::uint8_t>(trackLength_ >> 16),
      static_cast<std::uint8_t>(trackLength_ >> 8), static_cast<std::uint8_t>(trackLength_)};
  if (!failed_ && std::fseek(file_, start_ + kTrackLengthOffset, SEEK_SET) != 0) failed_ = true;
  put(length, sizeof length);
  if (!failed_ && std::fseek(file_, 0, SEEK_END) != 0) failed_ = true;
  // Buffered bytes reach the disk only here, so a full disk usually shows at this flush.
  if (std::fflush(file_) != 0 || std::ferror(file_) != 0) failed_ = true;
  if (ownsFile_ && std::fclose(file_) != 0) failed_ = true;
  file_ = nullptr;
  ownsFile_ = false;
  return !failed_;
}

}  // namespace banklore
