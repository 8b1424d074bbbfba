#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "files/midi_file.h"
#include "files/smf_bytes.h"
#include "platform/atomic_file.h"

namespace banklore {
namespace {

using namespace testing;

Bytes writeMessages(const std::string& path,
                    const std::vector<std::pair<Bytes, std::uint32_t>>& events, int division = 96) {
  MidiFileWriter writer;
  EXPECT_TRUE(writer.Open(path, division));
  for (const auto& [message, delta] : events) EXPECT_TRUE(writer.WriteSysEx(message, delta));
  EXPECT_TRUE(writer.Close());
  return readBytes(path);
}

TEST(MidiFileWriterTest, TwoMessagesGiveTheDocumentedLayout) {
  TempDir dir;
  const Bytes first = sysex(11, 0x01);
  const Bytes second = sysex(11, 0x02);
  const Bytes file = writeMessages(dir.file("two.mid"), {{first, 0}, {second, 192}});

  const Bytes expected = Bytes{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x00, 0x60} +
                         Bytes{'M', 'T', 'r', 'k', 0, 0, 0, 0x1F} + Bytes{0x00, 0xF0, 0x0A} +
                         Bytes(first.begin() + 1, first.end()) + Bytes{0x81, 0x40, 0xF0, 0x0A} +
                         Bytes(second.begin() + 1, second.end()) + kEndOfTrack;
  EXPECT_EQ(file.size(), 53u);
  EXPECT_EQ(file, expected);
}

struct QuantityCase {
  std::uint32_t value;
  Bytes encoded;
};

class VariableLengthTest : public ::testing::TestWithParam<QuantityCase> {};

// The delta time is the first thing of the event, right after the 22 bytes of headers.
TEST_P(VariableLengthTest, DeltaTimeIsWrittenAsQuantity) {
  TempDir dir;
  const Bytes file = writeMessages(dir.file("d.mid"), {{sysex(3, 1), GetParam().value}});
  const Bytes delta(file.begin() + 22, file.begin() + 22 + GetParam().encoded.size());
  EXPECT_EQ(delta, GetParam().encoded);
  EXPECT_EQ(file[22 + GetParam().encoded.size()], 0xF0);
}

INSTANTIATE_TEST_SUITE_P(Values, VariableLengthTest,
                         ::testing::Values(QuantityCase{0, {0x00}}, QuantityCase{127, {0x7F}},
                                           QuantityCase{128, {0x81, 0x00}},
                                           QuantityCase{192, {0x81, 0x40}},
                                           QuantityCase{16383, {0xFF, 0x7F}},
                                           QuantityCase{16384, {0x81, 0x80, 0x00}},
                                           QuantityCase{0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}}));

TEST(MidiFileWriterTest, LongMessageLengthIsAQuantity) {
  TempDir dir;
  const Bytes message = sysex(301, 0x10);
  const Bytes file = writeMessages(dir.file("long.mid"), {{message, 0}});
  EXPECT_EQ((Bytes{file[23], file[24], file[25]}), (Bytes{0xF0, 0x82, 0x2C}));
  EXPECT_EQ(file.size(), 22u + 1 + 1 + 2 + 300 + 4);
  EXPECT_EQ((Bytes(file.begin() + 18, file.begin() + 22)), word(1 + 1 + 2 + 300 + 4));
}

TEST(MidiFileWriterTest, DivisionIsWrittenBigEndian) {
  TempDir dir;
  const Bytes file = writeMessages(dir.file("div.mid"), {}, 480);
  EXPECT_EQ(file[12], 0x01);
  EXPECT_EQ(file[13], 0xE0);
  EXPECT_EQ(file.size(), 26u);
  EXPECT_EQ((Bytes(file.begin() + 18, file.end())), (Bytes{0, 0, 0, 4} + kEndOfTrack));
}

TEST(MidiFileWriterTest, MessagesThatCannotBeWrittenFailTheFile) {
  TempDir dir;
  const std::vector<std::pair<Bytes, std::uint32_t>> refused = {
      {{}, 0}, {{0x90, 0x3C, 0x40}, 0}, {sysex(5, 1), 1u << 28}};
  for (const auto& [message, delta] : refused) {
    MidiFileWriter writer;
    ASSERT_TRUE(writer.Open(dir.file("bad.mid"), 96));
    EXPECT_TRUE(writer.WriteSysEx(sysex(5, 1), 0));
    EXPECT_FALSE(writer.WriteSysEx(message, delta));
    EXPECT_FALSE(writer.WriteSysEx(sysex(5, 2), 0)) << "nothing more after a failure";
    EXPECT_FALSE(writer.Close());
  }
}

TEST(MidiFileWriterTest, CallsOutOfOrderFail) {
  TempDir dir;
  MidiFileWriter writer;
  EXPECT_FALSE(writer.WriteSysEx(sysex(5, 1), 0));
  EXPECT_FALSE(writer.Close());
  EXPECT_FALSE(writer.Open(dir.file("missing/x.mid"), 96));
  ASSERT_TRUE(writer.Open(dir.file("x.mid"), 96));
  EXPECT_FALSE(writer.Open(dir.file("y.mid"), 96));
  EXPECT_TRUE(writer.Close());
  EXPECT_FALSE(writer.Close());
}

TEST(MidiFileWriterTest, FullDiskIsReportedByClose) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "/dev/full is not available";
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open("/dev/full", 96));
  writer.WriteSysEx(sysex(300, 1), 0);
  EXPECT_FALSE(writer.Close());
}

// A file-size limit in a child process fails the writes part-way; the file must not be reported
// as saved, whether the failure shows in WriteSysEx or only at the final flush.
TEST(MidiFileWriterTest, WriteErrorPartWayIsReported) {
  TempDir dir;
  const std::string path = dir.file("limited.mid");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{2000, 2000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    MidiFileWriter writer;
    if (!writer.Open(path, 96)) ::_exit(2);
    bool allWritten = true;
    for (int i = 0; i < 100; ++i) allWritten = writer.WriteSysEx(sysex(297, 1), 0) && allWritten;
    const bool closed = writer.Close();
    ::_exit(allWritten || closed ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(MidiFileWriterTest, CallerOwnedStreamStaysOpenAndAtomicSaveKeepsOldFileOnFailure) {
  TempDir dir;
  const std::string path = dir.file("bank.mid");
  writeBytes(path, {'o', 'l', 'd'});
  {
    AtomicFile out(path);
    ASSERT_TRUE(out.open());
    MidiFileWriter writer;
    ASSERT_TRUE(writer.Open(out.stream(), 96));
    ASSERT_TRUE(writer.WriteSysEx(sysex(11, 1), 0));
    EXPECT_FALSE(writer.WriteSysEx({}, 0));
    EXPECT_FALSE(writer.Close());
    // the save is abandoned: no commit
  }
  EXPECT_EQ(readBytes(path), (Bytes{'o', 'l', 'd'}));

  AtomicFile out(path);
  ASSERT_TRUE(out.open());
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(out.stream(), 96));
  ASSERT_TRUE(writer.WriteSysEx(sysex(11, 1), 0));
  ASSERT_TRUE(writer.Close());
  ASSERT_NE(std::fputc(0, out.stream()), EOF) << "Close must leave the caller's stream open";
  ASSERT_TRUE(out.commit());
  const Bytes file = readBytes(path);
  EXPECT_EQ(file.size(), 22u + 1 + 1 + 1 + 10 + 4 + 1);
  EXPECT_EQ((Bytes(file.begin() + 18, file.begin() + 22)), word(17));
}

}  // namespace
}  // namespace banklore
