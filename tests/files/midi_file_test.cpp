// The writer's byte layout, round trips (also through python3-mido, an implementation we did not
// write), and the reader on hostile input: the suite runs under AddressSanitizer.
#include "files/midi_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <optional>
#include <random>

#include "platform/atomic_file.h"
#include "platform/temp_dir.h"
#include "support/child_process.h"

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

static Bytes copy(std::span<const std::uint8_t> bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

static Bytes sysex(std::size_t size, std::uint8_t fill) {
  return Bytes{0xF0} + Bytes(size - 2, fill) + Bytes{0xF7};
}

static Bytes written(const Bytes& message, std::uint32_t delta, const Bytes& second = {}) {
  TempDir dir;
  MidiFileWriter writer;
  EXPECT_TRUE(writer.Open(dir.file("w.mid"), 96) && writer.WriteSysEx(message, delta));
  EXPECT_TRUE((second.empty() || writer.WriteSysEx(second, 192)) && writer.Close());
  const std::string text = readFile(dir.file("w.mid"));
  return Bytes(text.begin(), text.end());
}

// The messages of the file, or nullopt when Read refuses it; largestAllocation covers the Read.
static std::optional<std::vector<Bytes>> readMessages(const std::string& path) {
  MidiFileReader reader;
  largestAllocation = 0;
  if (!reader.Read(path)) return std::nullopt;
  std::vector<Bytes> messages;
  for (int i = 0; i < reader.messageCount(); ++i)
    messages.emplace_back(reader.message(i)->begin(), reader.message(i)->end());
  return messages;
}

static std::optional<std::vector<Bytes>> readBack(const Bytes& file) {
  TempDir dir;
  writeFile(dir.file("r.mid"), std::string(file.begin(), file.end()));
  return readMessages(dir.file("r.mid"));
}

TEST(MidiFileWriterTest, WritesTheWorkedExamples) {
  const Bytes a = sysex(11, 1), b = sysex(11, 2), two = written(a, 0, b);
  EXPECT_EQ(two.size(), 53u);
  EXPECT_EQ(two, (kHeader + Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 31, 0x00, 0xF0, 10} +
                  Bytes(a.begin() + 1, a.end()) + Bytes{0x81, 0x40, 0xF0, 10} +
                  Bytes(b.begin() + 1, b.end()) + kEnd));
  const Bytes one = written(sysex(301, 1), 0);  // track length 308, message length 300
  EXPECT_EQ(Bytes(one.begin() + 18, one.begin() + 26), (Bytes{0, 0, 1, 52, 0, 0xF0, 0x82, 0x2C}));
  const Bytes late = written(sysex(3, 1), (1 << 28) - 1);  // the largest delta time
  EXPECT_EQ(Bytes(late.begin() + 22, late.begin() + 27), (Bytes{0xFF, 0xFF, 0xFF, 0x7F, 0xF0}));
}

// A full disk, whether it shows in a write or only at the flush in Close, fails the file.
TEST(MidiFileWriterTest, FailedWriteFailsTheFile) {
  TempDir dir;
  const auto save = [&](int messages) {  // false when Close, and WriteSysEx if it did, failed
    MidiFileWriter writer;
    bool written = writer.Open(dir.file("full.mid"), 96);
    for (int i = 0; i < messages; ++i) written = writer.WriteSysEx(sysex(297, 1), 0) && written;
    return writer.Close() || (written && messages > 4);
  };
  EXPECT_EQ(underSizeLimit([&] { return save(4) || save(100); }), 1);
  writeFile(dir.file("read-only.mid"), "");  // a stream that refuses the header is not kept
  std::FILE* readOnly = std::fopen(dir.file("read-only.mid").c_str(), "rb");
  MidiFileWriter writer;
  EXPECT_FALSE(writer.Open(readOnly, 96));
  std::fclose(readOnly);
  EXPECT_TRUE(writer.Open(dir.file("next.mid"), 96) && writer.Close());
}

// Through a stream the caller owns and keeps open, as an atomic save does.
TEST(MidiFileTest, WrittenMessagesReadBackInOrderUpToTheStoreCapacity) {
  TempDir dir;
  std::vector<Bytes> messages = {sysex(20000, 1), sysex(2, 2)};
  for (int i = 0; messages.size() <= MidiFileReader::kCapacity; ++i)
    messages.push_back(sysex(3 + i % 300, i & 0x7F));
  AtomicFile out(dir.file("bank.mid"));
  MidiFileWriter writer;
  ASSERT_TRUE(out.open() && writer.Open(out.stream(), 96));
  for (const Bytes& message : messages) ASSERT_TRUE(writer.WriteSysEx(message, 96));
  ASSERT_TRUE(writer.Close() && out.commit());
  messages.pop_back();
  EXPECT_EQ(readMessages(dir.file("bank.mid")), messages);
}

TEST(MidiFileReaderTest, ReadsTheSysExOfEveryTrackAndRefusesHostileFilesSafely) {
  const Bytes ev = {0, 0xF0, 3, 0x41, 0x10, 0xF7}, msg = {0xF0, 0x41, 0x10, 0xF7};
  const Bytes ok = kHeader + chunk("MTrk", ev + kEnd);
  const Bytes channel = {0, 0x90, 60, 64, 9,    62, 64, 0,    0xC0, 5,
                         0, 0xD0, 9,  0,  0xE0, 0,  64, 0x7F, 0,    0x7F};
  const Bytes packets = {0, 0xF0, 2, 0x41, 0x10, 9, 0xF7, 2, 0x20, 0xF7, 0, 0xF7, 2, 0xF0, 0xF7};
  // clang-format off
  const std::tuple<const char*, Bytes, std::vector<Bytes>> accepted[] = {
      {"header only", kHeader, {}},
      {"events after End of Track", kHeader + chunk("MTrk", kEnd + ev), {}},
      {"other chunks, tracks, End of Track missing at the chunk end",
       kHeader + chunk("XFIH", {1}) + ok + chunk("MTrk", Bytes{0, 0xF0, 1, 0xF7} + ev),
       {msg, {0xF0, 0xF7}, msg}},
      {"a long meta, channel events with running status",
       kHeader + chunk("MTrk", Bytes{0, 0xFF, 1, 0x81, 0} + Bytes(128, 'x') + channel + ev), {msg}},
      {"continuation packets joined, an escape passed over",
       kHeader + chunk("MTrk", packets), {{0xF0, 0x41, 0x10, 0x20, 0xF7}}},
      {"trailing bytes", ok + Bytes{'J', 'U', 'N', 'K', 0, 0}, {msg}},
      {"header longer than six", chunk("MThd", {0, 0, 0, 1, 0, 96, 9}) + chunk("MTrk", ev), {msg}}};
  const std::pair<const char*, Bytes> refused[] = {
      {"empty", {}}, {"not MThd", chunk("RIFF", {}) + ok},
      {"header longer than the file", chunk("MThd", {}, 0xFFFFFFFF)},
      {"track longer than the file", kHeader + chunk("MTrk", ev, 0xFFFFFFF0)},
      {"event across the track end", kHeader + chunk("MTrk", ev, 4) + Bytes{0x41, 0x10} + ok},
      {"SysEx longer than the file", kHeader + chunk("MTrk", {0, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F})},
      {"meta past its track", kHeader + chunk("MTrk", {0, 0xFF, 1, 64}) + chunk("JUNK", Bytes(70))},
      {"endless quantity", kHeader + chunk("MTrk", Bytes(64, 0xFF))},
      {"five-byte quantity", kHeader + chunk("MTrk", {128, 128, 128, 128, 0, 0xF0, 1, 0xF7})},
      {"file ends inside a delta time", kHeader + chunk("MTrk", ev + Bytes{0x81})}};
  // clang-format on
  for (const auto& [what, file, messages] : accepted) EXPECT_EQ(readBack(file), messages) << what;
  for (const auto& [what, file] : refused) {
    EXPECT_EQ(readBack(file), std::nullopt) << what;
    EXPECT_LT(largestAllocation.load(), 64u * 1024) << what << ": allocated what it claims";
  }
  std::mt19937 random(12345);  // random damage: any verdict, but only SysEx from the file's bytes
  for (int round = 0; round < 400; ++round) {
    Bytes damaged = kHeader + chunk("MTrk", channel + packets + kEnd) + ok;
    for (int i = random() % 4; i >= 0; --i) damaged[random() % damaged.size()] = random();
    if (round % 5 == 0) damaged.resize(random() % damaged.size());
    for (const Bytes& m : readBack(damaged).value_or(std::vector<Bytes>{}))
      ASSERT_TRUE(m.front() == 0xF0 && m.size() <= damaged.size());
  }
}

static std::size_t variableLengthSize(std::size_t value) {
  return value < 0x80 ? 1 : value < 0x4000 ? 2 : 3;
}

// A file cut short (a broken download) keeps every whole message before the cut and says how far it
// was intact; a message the cut went through is not kept. Every cut of a written file, byte by
// byte.
TEST(MidiFileReaderTest, FileCutShortKeepsTheWholeMessagesBeforeTheCut) {
  const std::vector<Bytes> messages = {sysex(11, 1), sysex(300, 2), sysex(5, 3), sysex(200, 4)};
  TempDir dir;
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir.file("whole.mid"), 96));
  std::vector<std::size_t> ends;  // where each event ends in the file
  std::size_t end = 22;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    const std::uint32_t delta = i == 0 ? 0 : 192;
    ASSERT_TRUE(writer.WriteSysEx(messages[i], delta));
    end += variableLengthSize(delta) + 1 + variableLengthSize(messages[i].size() - 1) +
           messages[i].size() - 1;
    ends.push_back(end);
  }
  ASSERT_TRUE(writer.Close());
  const std::string whole = readFile(dir.file("whole.mid"));
  ASSERT_EQ(whole.size(), ends.back() + 4);
  for (std::size_t cut = 0; cut < whole.size(); ++cut) {
    SCOPED_TRACE(cut);
    writeFile(dir.file("cut.mid"), whole.substr(0, cut));
    MidiFileReader reader;
    const bool read = reader.Read(dir.file("cut.mid"));
    std::size_t kept = 0;
    while (kept < ends.size() && ends[kept] <= cut) ++kept;
    // Before 14 the header chunk is not whole: no MIDI file. 14 to 17: too short for a chunk.
    std::optional<std::uint64_t> damage;
    if (cut >= 18) damage = cut < 22 ? 14 : kept == 0 ? 22 : ends[kept - 1];
    EXPECT_EQ(read, cut >= 14 && cut < 18);
    EXPECT_EQ(reader.damagedAfter(), damage);
    ASSERT_EQ(reader.messageCount(), static_cast<int>(kept));
    for (std::size_t i = 0; i < kept; ++i) EXPECT_EQ(copy(*reader.message(int(i))), messages[i]);
  }
  MidiFileReader reader;
  EXPECT_TRUE(reader.Read(dir.file("whole.mid")));
  EXPECT_EQ(reader.damagedAfter(), std::nullopt);
  EXPECT_EQ(reader.messageCount(), 4);
}

// An F0 packet whose F7 continuation the damage took is not a whole message; the damage is counted
// from where that packet began. Damage inside a track's stated length counts as damage too.
TEST(MidiFileReaderTest, DamageDropsAPacketStillWaitingForItsContinuation) {
  const Bytes whole = {0, 0xF0, 3, 0x41, 0x10, 0xF7};  // at 22
  const Bytes open = {0, 0xF0, 2, 0x42, 0x11};         // at 28, waits for its F7
  const Bytes rest = {0, 0xF7, 2, 0x20, 0xF7};         // at 33
  const Bytes track = whole + open + rest + kEnd;
  const auto file = [&](std::size_t size) {
    return kHeader + chunk("MTrk", Bytes(track.begin(), track.begin() + size), track.size());
  };
  const Bytes first = {0xF0, 0x41, 0x10, 0xF7}, joined = {0xF0, 0x42, 0x11, 0x20, 0xF7};
  // clang-format off
  const std::tuple<const char*, Bytes, std::vector<Bytes>, std::optional<std::uint64_t>> cases[] = {
      {"cut after the open packet", file(11), {first}, 28},
      {"cut inside its continuation", file(14), {first}, 28},
      {"cut after its continuation", file(16), {first, joined}, 38},
      {"a track chunk whose length is cut", kHeader + chunk("MTrk", whole) + Bytes{'M', 'T', 'r', 'k', 0},
       {first}, 28},
      {"other chunk longer than the file", kHeader + chunk("MTrk", whole) + chunk("XFIH", {1}, 9),
       {first}, 28}};
  // clang-format on
  TempDir dir;
  for (const auto& [what, bytes, messages, damage] : cases) {
    writeFile(dir.file("d.mid"), std::string(bytes.begin(), bytes.end()));
    MidiFileReader reader;
    EXPECT_FALSE(reader.Read(dir.file("d.mid"))) << what;
    EXPECT_EQ(reader.damagedAfter(), damage) << what;
    std::vector<Bytes> read;
    for (int i = 0; reader.message(i); ++i) read.push_back(copy(*reader.message(i)));
    EXPECT_EQ(read, messages) << what;
    reader.Clear();
    EXPECT_EQ(reader.damagedAfter(), std::nullopt) << what;
  }
}

// Files written by other programs; the folder is absent outside the project's workplace.
TEST(MidiFileReaderTest, RealFiles) {
  const std::string folder = std::string(BANKLORE_REALDATA_DIR) + "/smf/";
  if (!std::filesystem::is_directory(folder)) GTEST_SKIP() << "no real SMF files in " << folder;
  // clang-format off
  const std::pair<const char*, int> cases[] = {  // name, messages (-1: refused)
      {"midly_SysExTest.mid", 3}, {"knobkraft_Korg_M1EX.mid", 2},
      {"tonejs_tchaikovsky_seasons.mid", 5}, {"tonejs_bach_format0.mid", 0},
      {"midly_PiDamaged.mid", -1},  // a track claims 1,194,067 of 65,536 bytes
      {"midly_Beethoven.rmi", -1}};  // a RIFF wrapper
  // clang-format on
  for (const auto& [name, count] : cases) {
    const auto messages = readMessages(folder + name);
    EXPECT_EQ(messages ? static_cast<int>(messages->size()) : -1, count) << name;
  }
  const auto korg = readMessages(folder + "knobkraft_Korg_M1EX.mid").value();  // two large ones
  EXPECT_EQ(korg.at(0).size() + korg.at(1).size(), 16350u + 14179u);
}

// mido reads a file written here and writes its SysEx back among metas, channel events and several
// tracks, in format 0 and 1.
TEST(MidoInteropTest, MidoReadsWhatWeWriteAndWeReadWhatMidoWrites) {
  if (std::system("/usr/bin/python3 -c 'import mido' 2>/dev/null") != 0) GTEST_SKIP() << "no mido";
  TempDir dir;  // the script runs in it
  writeFile(dir.file("interop.py"), R"(import mido
f = mido.MidiFile("ours.mid")
syx = [m for m in f.tracks[0] if m.type == "sysex"]
print(f.type, len(f.tracks), f.ticks_per_beat, f.tracks[0][-1].type)
print([(m.time, len(m.data)) for m in syx])
notes = [mido.Message(k, note=60 + i, time=5) for k in ("note_on", "note_off") for i in (0, 1)]
metas = [mido.MetaMessage("set_tempo", tempo=600000), mido.MetaMessage("text", text="x" * 200)]
mido.MidiFile(type=0, ticks_per_beat=96, tracks=[metas + syx[:2] + notes + syx[2:]]).save("0.mid")
mido.MidiFile(type=1, ticks_per_beat=480, tracks=[metas, syx[:1] + notes, syx[1:]]).save("1.mid")
)");
  const std::vector<Bytes> messages = {sysex(297, 1), sysex(2, 2), sysex(5000, 3), sysex(11, 4)};
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(dir.file("ours.mid"), 480));
  for (std::uint32_t i = 0; i < messages.size(); ++i)
    ASSERT_TRUE(writer.WriteSysEx(messages[i], i * 200));  // one- and two-byte delta times
  ASSERT_TRUE(writer.Close());
  const std::string run = "cd '" + dir.path + "' && /usr/bin/python3 interop.py >out.txt 2>&1";
  EXPECT_EQ(std::system(run.c_str()), 0);
  EXPECT_EQ(readFile(dir.file("out.txt")),
            "0 1 480 end_of_track\n[(0, 295), (200, 0), (400, 4998), (600, 9)]\n");
  EXPECT_EQ(readMessages(dir.file("0.mid")), messages);
  EXPECT_EQ(readMessages(dir.file("1.mid")), messages);
}

// Paths that hold no regular file are refused at once, never waited on, and left as they were.
TEST(MidiFileSpecialFilesTest, FifosAndFoldersAreRefusedWithoutBlocking) {
  TempDir dir;
  ::mkfifo(dir.file("fifo.mid").c_str(), 0666);
  std::filesystem::create_directory(dir.file("folder.mid"));
  const auto run = test::runInChild([&] {
    std::string outcome;
    for (const char* name : {"fifo.mid", "folder.mid", "new.mid"}) {
      MidiFileWriter writer;
      const bool written = writer.Open(dir.file(name), 96) && writer.Close();
      MidiFileReader reader;
      outcome += std::string(name) + (written ? " written" : " not written") +
                 (reader.Read(dir.file(name)) ? " read\n" : " not read\n");
    }
    return outcome;
  });
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.output,
            "fifo.mid not written not read\nfolder.mid not written not read\n"
            "new.mid written read\n");
  EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo.mid")));
}

}  // namespace banklore
