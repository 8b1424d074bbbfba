#include <gtest/gtest.h>

#include <filesystem>

#include "files/midi_file.h"
#include "files/smf_bytes.h"

namespace banklore {
namespace {

using namespace testing;

std::vector<Bytes> messagesOf(const MidiFileReader& reader) {
  std::vector<Bytes> messages;
  for (int i = 0; i < reader.messageCount(); ++i) {
    const auto message = reader.message(i);
    if (message) messages.emplace_back(message->begin(), message->end());
  }
  return messages;
}

TEST(MidiFileReaderTest, WrittenFileReadsBackTheSameMessagesInOrder) {
  TempDir dir;
  const std::string path = dir.file("bank.mid");
  const std::vector<Bytes> written = {sysex(297, 1), sysex(2, 2), sysex(11, 3), sysex(20000, 4)};
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(path, 96));
  for (const Bytes& message : written) ASSERT_TRUE(writer.WriteSysEx(message, 96));
  ASSERT_TRUE(writer.Close());

  MidiFileReader reader;
  ASSERT_TRUE(reader.Read(path));
  EXPECT_EQ(reader.messageCount(), 4);
  EXPECT_EQ(messagesOf(reader), written);
  EXPECT_FALSE(reader.message(4));
  EXPECT_FALSE(reader.message(-1));
  EXPECT_FALSE(reader.message(MidiFileReader::kCapacity));

  ASSERT_TRUE(reader.Read(path));  // a second Read appends
  EXPECT_EQ(reader.messageCount(), 8);
  reader.Clear();
  EXPECT_EQ(reader.messageCount(), 0);
  EXPECT_FALSE(reader.message(0));
}

TEST(MidiFileReaderTest, MissingFileIsRefused) {
  TempDir dir;
  MidiFileReader reader;
  EXPECT_FALSE(reader.Read(dir.file("none.mid")));
  EXPECT_FALSE(reader.Read(dir.path()));  // a folder
}

struct FileCase {
  const char* name;
  Bytes bytes;
  bool accepted;
  std::vector<Bytes> messages;
};

void PrintTo(const FileCase& c, std::ostream* out) {
  *out << c.name;
}

class MidiFileReaderCaseTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(MidiFileReaderCaseTest, ReadsOrRefuses) {
  TempDir dir;
  const std::string path = dir.file("case.mid");
  writeBytes(path, GetParam().bytes);
  MidiFileReader reader;
  EXPECT_EQ(reader.Read(path), GetParam().accepted);
  if (GetParam().accepted) {
    EXPECT_EQ(messagesOf(reader), GetParam().messages);
  }
}

const Bytes kShort = {0xF0, 0x41, 0x10, 0xF7};
const Bytes kShortEvent = {0x00, 0xF0, 0x03, 0x41, 0x10, 0xF7};
const Bytes kOther = {0xF0, 0x7E, 0xF7};
const Bytes kOtherEvent = {0x00, 0xF0, 0x02, 0x7E, 0xF7};

INSTANTIATE_TEST_SUITE_P(
    Cases, MidiFileReaderCaseTest,
    ::testing::Values(
        FileCase{"NotMThd", chunk("RIFF", {}) + track(kShortEvent + kEndOfTrack), false, {}},
        FileCase{"Empty", {}, false, {}}, FileCase{"HeaderOnly", header(), true, {}},
        FileCase{"NoSysEx", header() + track(kEndOfTrack), true, {}},
        FileCase{"HeaderLongerThanSix",
                 header({0, 0, 0, 1, 0, 0x60, 9, 9, 9}) + track(kShortEvent + kEndOfTrack),
                 true,
                 {kShort}},
        FileCase{"HeaderLengthBeyondFile", chunk("MThd", {0, 0}, 0xFFFFFFFF), false, {}},
        FileCase{"TempoMetaBeforeSysEx",
                 header() + track(Bytes{0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20} + kShortEvent +
                                  kEndOfTrack),
                 true,
                 {kShort}},
        FileCase{"LongMetaLengthIsAQuantity",
                 header() + track(Bytes{0x00, 0xFF, 0x01, 0x81, 0x00} + Bytes(128, 'x') +
                                  kShortEvent + kEndOfTrack),
                 true,
                 {kShort}},
        FileCase{"SeveralTracksAndOtherChunks",
                 header() + chunk("XFIH", {1, 2, 3}) + track(kShortEvent + kEndOfTrack) +
                     chunk("XFKM", {}) + track(kOtherEvent + kShortEvent + kEndOfTrack),
                 true,
                 {kShort, kOther, kShort}},
        FileCase{"EventsAfterEndOfTrackIgnored",
                 header() + track(kEndOfTrack + kShortEvent) + track(kOtherEvent + kEndOfTrack),
                 true,
                 {kOther}},
        FileCase{"EmptyTrackWithoutEndOfTrack",
                 header() + track({}) + track(kShortEvent),
                 true,
                 {kShort}},
        FileCase{"FileEndsInsideTrack", header() + chunk("MTrk", kShortEvent, 100), false, {}},
        FileCase{"FileEndsInsideSysEx",
                 header() + chunk("MTrk", {0x00, 0xF0, 0x05, 0x41}, 4),
                 false,
                 {}},
        FileCase{"EventCrossesChunkEnd",
                 header() + chunk("MTrk", kShortEvent, 4) + Bytes{0x41, 0x10} + track(kEndOfTrack),
                 false,
                 {}},
        FileCase{"SysExLengthBeyondFile",
                 header() + track(Bytes{0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x41}),
                 false,
                 {}},
        FileCase{"FiveByteQuantity",
                 header() + track(Bytes{0x80, 0x80, 0x80, 0x80, 0x00, 0xF0, 0x01, 0xF7}),
                 false,
                 {}},
        FileCase{"EndlessDeltaTime", header() + track(Bytes(64, 0xFF)), false, {}},
        FileCase{"FileEndsInsideDeltaTime", header() + track(kShortEvent + Bytes{0x81}), false, {}},
        FileCase{"MetaLengthBeyondTrack",
                 header() + track(Bytes{0x00, 0xFF, 0x01, 0x40, 'a'}),
                 false,
                 {}},
        FileCase{"TrailingChunkLongerThanFile",
                 header() + track(kShortEvent + kEndOfTrack) + chunk("JUNK", {1}, 1000),
                 false,
                 {}},
        FileCase{"TrailingLengthCutOff",
                 header() + track(kShortEvent + kEndOfTrack) + Bytes{'J', 'U', 'N', 'K', 0, 0},
                 true,
                 {kShort}},
        FileCase{"TrailingBytesTooFewForAChunk",
                 header() + track(kShortEvent + kEndOfTrack) + Bytes{0, 0, 0},
                 true,
                 {kShort}},
        FileCase{"ChannelEventsWithRunningStatus",
                 header() + track(Bytes{0x00, 0x90, 0x3C, 0x40, 0x10, 0x3E, 0x40,  // note on x2
                                        0x00, 0xC0, 0x05, 0x00, 0xE0, 0x00, 0x40,  // program, bend
                                        0x7F, 0x00, 0x7F} +                        // running bend
                                  kShortEvent +
                                  kEndOfTrack),
                 true,
                 {kShort}},
        FileCase{
            "EscapeEventPassedOver",
            header() + track(Bytes{0x00, 0xF7, 0x03, 0xF0, 0x02, 0xF7} + kOtherEvent + kEndOfTrack),
            true,
            {kOther}},
        FileCase{"ContinuationPacketsJoined",
                 header() + track(Bytes{0x00, 0xF0, 0x02, 0x41, 0x10, 0x10, 0xF7, 0x02, 0x20, 0x30,
                                        0x10, 0xF7, 0x02, 0x40, 0xF7} +
                                  kEndOfTrack),
                 true,
                 {Bytes{0xF0, 0x41, 0x10, 0x20, 0x30, 0x40, 0xF7}}},
        FileCase{"EmptySysExIsKept",
                 header() + track(Bytes{0x00, 0xF0, 0x01, 0xF7} + kEndOfTrack),
                 true,
                 {Bytes{0xF0, 0xF7}}}),
    [](const ::testing::TestParamInfo<FileCase>& info) { return std::string(info.param.name); });

TEST(MidiFileReaderTest, MessagesBeyondTheStoreAreIgnored) {
  TempDir dir;
  const std::string path = dir.file("big.mid");
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(path, 96));
  for (int i = 0; i < MidiFileReader::kCapacity + 10; ++i) {
    ASSERT_TRUE(writer.WriteSysEx(sysex(12, static_cast<std::uint8_t>(i & 0x7F)), 0));
  }
  ASSERT_TRUE(writer.Close());

  MidiFileReader reader;
  EXPECT_TRUE(reader.Read(path));
  EXPECT_EQ(reader.messageCount(), MidiFileReader::kCapacity);
  const auto last = reader.message(MidiFileReader::kCapacity - 1);
  ASSERT_TRUE(last);
  EXPECT_EQ((*last)[1], (MidiFileReader::kCapacity - 1) & 0x7F);
  EXPECT_TRUE(reader.Read(path)) << "a full store still reads the file";
  EXPECT_EQ(reader.messageCount(), MidiFileReader::kCapacity);
}

// Files written by other programs; the folder is absent outside the project's workplace.
class RealMidiFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::is_directory(folder_)) {
      GTEST_SKIP() << "real SMF data not found at " << folder_;
    }
  }
  bool read(const char* name) {
    const std::string path = folder_ + "/" + name;
    if (!std::filesystem::exists(path)) return false;
    return reader_.Read(path);
  }
  std::string folder_ = std::string(BANKLORE_REALDATA_DIR) + "/smf";
  MidiFileReader reader_;
};

TEST_F(RealMidiFileTest, SysExTestHasThreeMessagesAndAnEmptyTrack) {
  ASSERT_TRUE(read("midly_SysExTest.mid"));
  ASSERT_EQ(reader_.messageCount(), 3);
  EXPECT_EQ(reader_.message(0)->size(), 37u);
  EXPECT_EQ(reader_.message(1)->size(), 257u);
  EXPECT_EQ(messagesOf(reader_)[2], (Bytes{0xF0, 0xF7}));
  for (const Bytes& message : messagesOf(reader_)) {
    EXPECT_EQ(message.front(), 0xF0);
    EXPECT_EQ(message.back(), 0xF7);
  }
}

TEST_F(RealMidiFileTest, DamagedFileIsRefused) {
  // Its third track claims 1,194,067 bytes of a 65,536-byte file.
  EXPECT_FALSE(read("midly_PiDamaged.mid"));
  EXPECT_EQ(reader_.messageCount(), 0);
}

TEST_F(RealMidiFileTest, KorgDumpHasTwoLargeMessages) {
  ASSERT_TRUE(read("knobkraft_Korg_M1EX.mid"));
  ASSERT_EQ(reader_.messageCount(), 2);
  EXPECT_EQ(reader_.message(0)->size(), 16350u);
  EXPECT_EQ(reader_.message(1)->size(), 14179u);
  EXPECT_EQ((Bytes(reader_.message(0)->begin(), reader_.message(0)->begin() + 4)),
            (Bytes{0xF0, 0x42, 0x30, 0x19}));
  EXPECT_EQ(reader_.message(1)->back(), 0xF7);
}

TEST_F(RealMidiFileTest, SongFilesYieldOnlyTheirSysEx) {
  ASSERT_TRUE(read("tonejs_tchaikovsky_seasons.mid"));
  ASSERT_EQ(reader_.messageCount(), 5);
  for (const Bytes& message : messagesOf(reader_)) {
    EXPECT_EQ(message.size(), 11u);
    EXPECT_EQ((Bytes(message.begin(), message.begin() + 4)), (Bytes{0xF0, 0x41, 0x10, 0x42}));
  }
  reader_.Clear();
  for (const char* name :
       {"tonejs_bach_format0.mid", "tonejs_pitchBendTest.mid", "midly_Clementi.mid"}) {
    EXPECT_TRUE(read(name)) << name;
  }
  EXPECT_EQ(reader_.messageCount(), 0);
  EXPECT_FALSE(read("midly_Beethoven.rmi")) << "a RIFF wrapper does not start with MThd";
}

}  // namespace
}  // namespace banklore
