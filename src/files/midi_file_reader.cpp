#include <algorithm>
#include <cstring>
#include <memory>

#include "files/midi_file.h"
#include "platform/regular_file.h"

// What the reader accepts, and why where it departs from a plain event walk:
// - Every track is bounded by its chunk length. A track ends at End of Track or exactly at its
//   chunk end (some writers leave an empty track without End of Track); an event that crosses the
//   chunk end, or a chunk longer than the rest of the file, refuses the file.
// - SysEx (F0) events are collected as F0 followed by their data. A variable-length quantity of
//   more than four bytes, or any length beyond what is left of the track, refuses the file, so a
//   hostile length never causes a large allocation: every block is backed by bytes of the file.
// - F7 events directly after an F0 event that did not end with F7 are continuation packets and are
//   appended to that message; any other F7 event (an "escape" of raw bytes) is passed over by its
//   length. Reading F7 as a one-byte event would take its length and data for events.
// - Meta (FF) lengths are variable-length quantities; below 128 that is the same single byte.
// - Channel events (80-EF, with running status) are passed over by their size, so a song file does
//   not have its note data read as delta times; any other byte is passed over on its own.
// - Only the first kCapacity SysEx messages are kept; the rest of the file is still checked and
//   Read returns true, so a large file loads its first kCapacity messages.
// - A file cut short (or damaged) after its header chunk keeps the complete messages before the
//   damage, and damagedAfter() says how many bytes were read intact: a track that claims more bytes
//   than the file has is read up to the file's end. A SysEx message whose rest the damage took
//   (cut inside its data, or an F0 packet still waiting for its F7 continuation) is not kept.
namespace banklore {
namespace {

// A bounded view of the open stream: every read says whether the bytes were there.
class Input {
 public:
  explicit Input(std::FILE* file) : file_(file) {}

  bool open(long size) {
    size_ = size;
    return size_ >= 0;
  }
  std::uint64_t left() const { return static_cast<std::uint64_t>(size_ - position_); }
  std::uint64_t position() const { return static_cast<std::uint64_t>(position_); }

  bool byte(std::uint8_t& out) {
    const int c = std::getc(file_);
    if (c == EOF) return false;
    ++position_;
    out = static_cast<std::uint8_t>(c);
    return true;
  }
  bool bytes(std::uint8_t* out, std::size_t count) {
    if (count > left()) return false;
    const std::size_t got = std::fread(out, 1, count, file_);
    position_ += static_cast<long>(got);
    return got == count;
  }
  bool skip(std::uint64_t count) {
    if (count > left()) return false;
    if (std::fseek(file_, static_cast<long>(count), SEEK_CUR) != 0) return false;
    position_ += static_cast<long>(count);
    return true;
  }
  bool word(std::uint32_t& out) {
    std::uint8_t b[4];
    if (!bytes(b, 4)) return false;
    out = (std::uint32_t{b[0]} << 24) | (std::uint32_t{b[1]} << 16) | (std::uint32_t{b[2]} << 8) |
          b[3];
    return true;
  }

 private:
  std::FILE* file_;
  long size_ = 0;
  long position_ = 0;
};

// Size of the data that follows a channel status.
std::uint32_t channelDataSize(std::uint8_t status) {
  const std::uint8_t kind = status & 0xF0;
  return kind == 0xC0 || kind == 0xD0 ? 1 : 2;
}

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

class TrackReader {
 public:
  TrackReader(Input& in, std::uint64_t end, std::vector<std::vector<std::uint8_t>>& store,
              std::size_t capacity)
      : in_(in), end_(end), store_(store), capacity_(capacity) {}

  // False at the first event that cannot be read whole; intactUntil() then says where it began.
  bool read() {
    while (in_.position() < end_) {
      eventStart_ = in_.position();
      const bool unended = continuing_;  // event() clears it
      std::uint32_t delta;
      std::uint8_t status;
      bool ended = false;
      if (!variableLength(delta) || !byte(status) || !event(status, ended)) {
        intactUntil_ = eventStart_;
        if (unended) dropUnendedMessage();
        return false;
      }
      if (ended) {
        const bool skipped = in_.skip(end_ - in_.position());
        intactUntil_ = in_.position();
        return skipped;
      }
    }
    intactUntil_ = in_.position();
    return true;
  }
  // After read(): the file ended before the track did. A message still waiting for its end is cut.
  void cutShort() {
    if (continuing_) dropUnendedMessage();
  }
  // Bytes from the file's start up to the damage, and before any message the damage cut.
  std::uint64_t intactUntil() const { return intactUntil_; }

 private:
  std::uint64_t left() const { return end_ - in_.position(); }
  bool byte(std::uint8_t& out) { return left() >= 1 && in_.byte(out); }

  bool variableLength(std::uint32_t& value) {
    value = 0;
    for (int count = 0; count < 4; ++count) {
      std::uint8_t b;
      if (!byte(b)) return false;
      value = (value << 7) | (b & 0x7F);
      if ((b & 0x80) == 0) return true;
    }
    return false;  // a fifth byte: not a valid quantity
  }

  bool event(std::uint8_t status, bool& ended) {
    const bool continuing = continuing_;
    continuing_ = false;
    if (status == 0xF0 || status == 0xF7) {
      runningStatus_ = 0;
      std::uint32_t length;
      if (!variableLength(length) || length > left()) return false;
      if (status == 0xF0) return sysex(length);
      return continuing ? continuation(length) : in_.skip(length);
    }
    if (status == 0xFF) {
      std::uint8_t type;
      std::uint32_t length;
      if (!byte(type) || !variableLength(length) || length > left()) return false;
      ended = type == 0x2F;
      return in_.skip(length);
    }
    if (status >= 0x80 && status < 0xF0) {
      runningStatus_ = status;
      return skipData(channelDataSize(status));
    }
    if (status < 0x80 && runningStatus_ != 0) {
      return skipData(channelDataSize(runningStatus_) - 1);  // status was the first data byte
    }
    return true;  // a byte that starts no event we know: passed over alone
  }

  bool skipData(std::uint32_t size) { return size <= left() && in_.skip(size); }

  // An F0 packet whose F7 continuation the damage took is not a message the file holds.
  void dropUnendedMessage() {
    store_.pop_back();
    continuing_ = false;
    intactUntil_ = std::min(intactUntil_, unendedStart_);
  }

  bool sysex(std::uint32_t length) {
    if (store_.size() >= capacity_) return in_.skip(length);  // beyond the store: ignored
    std::vector<std::uint8_t> message(std::size_t{length} + 1);
    message[0] = 0xF0;
    if (!in_.bytes(message.data() + 1, length)) return false;
    continuing_ = message.back() != 0xF7;
    store_.push_back(std::move(message));
    unendedStart_ = eventStart_;
    return true;
  }

  bool continuation(std::uint32_t length) {
    std::vector<std::uint8_t>& message = store_.back();
    const std::size_t old = message.size();
    message.resize(old + length);
    if (!in_.bytes(message.data() + old, length)) return false;
    continuing_ = length == 0 || message.back() != 0xF7;
    return true;
  }

  Input& in_;
  std::uint64_t end_;
  std::vector<std::vector<std::uint8_t>>& store_;
  std::size_t capacity_;
  std::uint8_t runningStatus_ = 0;
  bool continuing_ = false;         // the last event was a stored F0 packet not yet ended by F7
  std::uint64_t unendedStart_ = 0;  // where the F0 event of that packet began
  std::uint64_t eventStart_ = 0;
  std::uint64_t intactUntil_ = 0;
};

}  // namespace

bool MidiFileReader::Read(const std::string& path) {
  damagedAfter_.reset();
  // Only a regular file, opened without waiting: a FIFO would block the open for good.
  std::unique_ptr<std::FILE, FileCloser> file(openRegularForReading(path).release());
  if (!file) return false;
  Input in(file.get());
  if (std::fseek(file.get(), 0, SEEK_END) != 0 || !in.open(std::ftell(file.get())) ||
      std::fseek(file.get(), 0, SEEK_SET) != 0) {
    return false;
  }

  std::uint8_t id[4];
  std::uint32_t length;
  if (!in.bytes(id, 4) || std::memcmp(id, "MThd", 4) != 0) return false;
  if (!in.word(length) || !in.skip(length)) return false;  // format, tracks, division unused

  // From here on the file is a Standard MIDI File; a fault is damage after what was read intact.
  const auto damaged = [this](std::uint64_t intact) {
    damagedAfter_ = intact;
    return false;
  };
  while (in.left() >= 4) {
    const std::uint64_t chunkStart = in.position();
    if (!in.bytes(id, 4)) return damaged(chunkStart);
    const bool track = std::memcmp(id, "MTrk", 4) == 0;
    if (!in.word(length)) {  // another chunk's length cut off by the end: stop
      return track ? damaged(chunkStart) : true;
    }
    if (!track) {
      if (!in.skip(length)) return damaged(chunkStart);
      continue;
    }
    // A track longer than the rest of the file is a file cut short: its events are read up to the
    // file's end, never beyond, so no stated length is ever allocated on trust.
    const bool cut = length > in.left();
    TrackReader reader(in, in.position() + std::min<std::uint64_t>(length, in.left()), store_,
                       kCapacity);
    if (!reader.read()) return damaged(reader.intactUntil());
    if (cut) {
      reader.cutShort();
      return damaged(reader.intactUntil());
    }
  }
  return true;  // up to three trailing bytes cannot hold a chunk id and are ignored
}

std::optional<std::uint64_t> MidiFileReader::damagedAfter() const {
  return damagedAfter_;
}

int MidiFileReader::messageCount() const {
  return static_cast<int>(store_.size());
}

std::optional<std::span<const std::uint8_t>> MidiFileReader::message(int index) const {
  if (index < 0 || index >= kCapacity || static_cast<std::size_t>(index) >= store_.size()) {
    return std::nullopt;
  }
  return std::span<const std::uint8_t>(store_[static_cast<std::size_t>(index)]);
}

void MidiFileReader::Clear() {
  store_.clear();
  damagedAfter_.reset();
}

}  // namespace banklore
