// The Standard MIDI File reader on any bytes. Invariants:
// - Every stored message starts with F0 and is backed by the file: its other bytes occur in the
//   file in order, after those of the message before, so no stated length is ever allocated on
//   trust and no byte is read twice.
// - The store holds at most its capacity and answers for exactly the indices it filled.
// - A file that does not start with "MThd" is refused with nothing stored; a refused file that is
//   a damaged Standard MIDI File says after which byte, never beyond its end; a file read whole
//   says no such thing.
// - Writing what was read and reading that back gives the same messages.

#include "files/midi_file.h"
#include "fuzz_support.h"

namespace banklore::fuzz {
namespace {

std::vector<Bytes> messagesOf(const MidiFileReader& reader) {
  std::vector<Bytes> messages;
  for (int i = 0; i < reader.messageCount(); ++i) {
    const auto message = reader.message(i);
    FUZZ_CHECK(message.has_value());
    messages.emplace_back(message->begin(), message->end());
  }
  FUZZ_CHECK(!reader.message(reader.messageCount()).has_value());
  FUZZ_CHECK(!reader.message(-1).has_value());
  FUZZ_CHECK(!reader.message(MidiFileReader::kCapacity).has_value());
  return messages;
}

// The position after the earliest place where the bytes occur in order in `file` from `from` on
// (a message continued by F7 packets is not one run), or nullopt when they do not occur.
std::optional<std::size_t> backedAt(std::span<const std::uint8_t> file, std::size_t from,
                                    std::span<const std::uint8_t> bytes) {
  std::size_t at = from;
  for (const std::uint8_t byte : bytes) {
    while (at < file.size() && file[at] != byte) ++at;
    if (at == file.size()) return std::nullopt;
    ++at;
  }
  return at;
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  const std::span<const std::uint8_t> file(data, size);
  const std::string path = scratch().file("in.mid");
  writeFile(path, file);

  MidiFileReader reader;
  const bool read = reader.Read(path);
  const std::vector<Bytes> messages = messagesOf(reader);
  FUZZ_CHECK(messages.size() <= static_cast<std::size_t>(MidiFileReader::kCapacity));
  const bool smf = size >= 4 && std::equal(file.begin(), file.begin() + 4, "MThd");
  if (!smf) FUZZ_CHECK(!read && messages.empty() && !reader.damagedAfter());
  if (read) FUZZ_CHECK(!reader.damagedAfter().has_value());
  if (const auto damaged = reader.damagedAfter()) FUZZ_CHECK(!read && *damaged <= size);

  std::size_t cursor = 0;
  for (const Bytes& message : messages) {
    FUZZ_CHECK(!message.empty() && message.front() == 0xF0);
    const auto after = backedAt(file, cursor, std::span(message).subspan(1));
    FUZZ_CHECK_MSG(after.has_value(),
                   "not in the file after byte " + std::to_string(cursor) + ": " + hex(message));
    cursor = *after;
  }

  MidiFileReader again;
  FUZZ_CHECK(again.Read(path) == read && messagesOf(again) == messages);

  const std::string copy = scratch().file("copy.mid");
  MidiFileWriter writer;
  FUZZ_CHECK(writer.Open(copy, 96));
  for (const Bytes& message : messages) FUZZ_CHECK(writer.WriteSysEx(message, 192));
  FUZZ_CHECK(writer.Close());
  MidiFileReader rewritten;
  FUZZ_CHECK(rewritten.Read(copy));
  FUZZ_CHECK(messagesOf(rewritten) == messages);
  return 0;
}
