// The writer's byte layout, round trips, and the reader on damaged and hostile input: the suite
// runs under AddressSanitizer.
#include "files/midi_file.h"

#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <atomic>
#include <optional>

#include "platform/temp_dir.h"

namespace banklore {

using Bytes = std::vector<std::uint8_t>;

extern std::atomic<std::size_t> largestAllocation;  // through operator new (support/)

static Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A chunk whose stated length is the payload's unless `stated` is given.
static Bytes chunk(const char* id, const Bytes& payload, long long stated = -1) {
  const auto length = static_cast<std::uint32_t>(stated < 0 ? payload.size() : stated);
  Bytes out(id, id + 4);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(length >> shift & 0xFF);
  return out + payload;
}

static const Bytes kHeader = chunk("MThd", {0, 0, 0, 1, 0, 96});
static const Bytes kEnd = {0x00, 0xFF, 0x2F, 0x00};  // End of Track

static Bytes sysex(std::size_t size, std::uint8_t fill) {
  return Bytes{0xF0} + Bytes(size - 2, fill) + Bytes{0xF7};
}

// The file made of `messages`, each after `delta` ticks (the first after none).
static Bytes written(const std::vector<Bytes>& messages, std::uint32_t delta = 192) {
  TempDir dir;
  MidiFileWriter writer;
  EXPECT_TRUE(writer.Open(dir.file("w.mid"), 96));
  for (std::size_t i = 0; i < messages.size(); ++i)
    EXPECT_TRUE(writer.WriteSysEx(messages[i], i == 0 ? 0 : delta));
  EXPECT_TRUE(writer.Close());
  const std::string text = readFile(dir.file("w.mid"));
  return Bytes(text.begin(), text.end());
}

// What Read made of a file; largestAllocation covers the Read.
struct ReadBack {
  bool read;
  std::vector<Bytes> messages;
  std::optional<std::uint64_t> damagedAfter;
};
static ReadBack readBack(const Bytes& file) {
  TempDir dir;
  writeFile(dir.file("r.mid"), std::string(file.begin(), file.end()));
  MidiFileReader reader;
  largestAllocation = 0;
  ReadBack back{reader.Read(dir.file("r.mid")), {}, reader.damagedAfter()};
  for (int i = 0; const auto m = reader.message(i); ++i)
    back.messages.emplace_back(m->begin(), m->end());
  return back;
}

TEST(MidiFileWriterTest, WritesTheWorkedExamples) {
  const Bytes a = sysex(11, 1), b = sysex(11, 2);
  EXPECT_EQ(written({a, b}), (kHeader + Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 31, 0x00, 0xF0, 10} +
                              Bytes(a.begin() + 1, a.end()) + Bytes{0x81, 0x40, 0xF0, 10} +
                              Bytes(b.begin() + 1, b.end()) + kEnd));
  const Bytes one = written({sysex(301, 1)});  // track length 308, message length 300
  EXPECT_EQ(Bytes(one.begin() + 18, one.begin() + 26), (Bytes{0, 0, 1, 52, 0, 0xF0, 0x82, 0x2C}));
  const Bytes late = written({{0xF0, 0xF7}, sysex(3, 1)}, (1 << 28) - 1);  // the largest delta
  EXPECT_EQ(Bytes(late.begin() + 26, late.begin() + 31), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xF0}));
}

// Any SysEx messages at any delta times, written and read again, come back the same and whole.
RC_GTEST_PROP(MidiFileTest, WrittenSysExReadsBackTheSame, ()) {
  const auto messages = *rc::gen::container<std::vector<Bytes>>(
      rc::gen::map(rc::gen::container<Bytes>(rc::gen::inRange<std::uint8_t>(0, 0x80)),
                   [](const Bytes& data) { return Bytes{0xF0} + data + Bytes{0xF7}; }));
  const ReadBack back = readBack(written(messages, *rc::gen::inRange<std::uint32_t>(0, 1u << 28)));
  RC_ASSERT(back.read);
  RC_ASSERT(!back.damagedAfter);
  RC_ASSERT(back.messages == messages);
}

// What the reader keeps of every track, and of hostile files: nothing it was not given and no
// allocation of what a length claims. An F0 packet whose F7 continuation the damage took is not a
// whole message; the damage counts from where that packet began.
TEST(MidiFileReaderTest, ReadsTheSysExOfEveryTrackAndRefusesHostileFilesSafely) {
  const Bytes ev = {0, 0xF0, 3, 0x41, 0x10, 0xF7}, msg = {0xF0, 0x41, 0x10, 0xF7};
  const Bytes ok = kHeader + chunk("MTrk", ev + kEnd);
  const Bytes channel = {0, 0x90, 60, 64, 9,    62, 64, 0,    0xC0, 5,
                         0, 0xD0, 9,  0,  0xE0, 0,  64, 0x7F, 0,    0x7F};
  const Bytes packets = {0, 0xF0, 2, 0x41, 0x10, 9, 0xF7, 2, 0x20, 0xF7, 0, 0xF7, 2, 0xF0, 0xF7};
  const Bytes open = ev + Bytes{0, 0xF0, 2, 0x42, 0x11} + Bytes{0, 0xF7, 2, 0x20, 0xF7} + kEnd;
  const auto cut = [&](std::size_t size) {  // the track of `open` cut short after `size` bytes
    return kHeader + chunk("MTrk", Bytes(open.begin(), open.begin() + size), open.size());
  };
  const std::vector<Bytes> none, one = {msg};
  const std::optional<std::uint64_t> whole;                     // no damage found
  const std::string firstRefused = "cut after an open packet";  // Read is true before it
  // clang-format off
  const std::tuple<const char*, Bytes, std::vector<Bytes>, std::optional<std::uint64_t>> cases[] = {
      {"header only", kHeader, none, whole},
      {"events after End of Track", kHeader + chunk("MTrk", kEnd + ev), none, whole},
      {"other chunks, tracks, End of Track missing at the chunk end",
       kHeader + chunk("XFIH", {1}) + ok + chunk("MTrk", Bytes{0, 0xF0, 1, 0xF7} + ev),
       {msg, {0xF0, 0xF7}, msg}, whole},
      {"a long meta, channel events with running status",
       kHeader + chunk("MTrk", Bytes{0, 0xFF, 1, 0x81, 0} + Bytes(128, 'x') + channel + ev), one, whole},
      {"continuation packets joined, an escape passed over",
       kHeader + chunk("MTrk", packets), {{0xF0, 0x41, 0x10, 0x20, 0xF7}}, whole},
      {"cut after an open packet", cut(11), one, 28}, {"cut inside its continuation", cut(14), one, 28},
      {"cut after its continuation", cut(16), {msg, {0xF0, 0x42, 0x11, 0x20, 0xF7}}, 38},
      {"a track chunk whose length is cut", kHeader + chunk("MTrk", ev) + Bytes{'M', 'T', 'r', 'k', 0}, one, 28},
      {"header longer than the file", chunk("MThd", {}, 0xFFFFFFFF), none, whole},
      {"track longer than the file", kHeader + chunk("MTrk", ev, 0xFFFFFFF0), one, 28},
      {"event across the track end", kHeader + chunk("MTrk", ev, 4) + Bytes{0x41, 0x10} + ok, none, 22},
      {"SysEx longer than the file", kHeader + chunk("MTrk", {0, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F}), none, 22}};
  // clang-format on
  for (bool accepted = true; const auto& [what, file, messages, damage] : cases) {
    accepted = accepted && what != firstRefused;
    const ReadBack back = readBack(file);
    EXPECT_EQ(back.read, accepted) << what;
    EXPECT_EQ(back.messages, messages) << what;
    EXPECT_EQ(back.damagedAfter, damage) << what;
    EXPECT_LT(largestAllocation.load(), 64u * 1024) << what << ": allocated what it claims";
  }
}

}  // namespace banklore
