// Hostile files must never make the reader allocate what the file does not hold, nor read outside
// its buffers (the suite runs under AddressSanitizer).
#include <gtest/gtest.h>

#include <random>

#include "files/midi_file.h"
#include "files/smf_bytes.h"
#include "files/support/allocation_counter.h"

namespace banklore {
namespace {

using namespace testing;

std::size_t largestAllocationWhileReading(const Bytes& bytes) {
  TempDir dir;
  const std::string path = dir.file("hostile.mid");
  writeBytes(path, bytes);
  MidiFileReader reader;
  largestAllocation = 0;
  EXPECT_FALSE(reader.Read(path));
  return largestAllocation.load();
}

TEST(HostileInputTest, DeclaredLengthsAreNeverAllocatedBeyondTheFile) {
  constexpr std::size_t kSmall = 64 * 1024;  // stdio buffers and the like
  EXPECT_LT(largestAllocationWhileReading(
                header() + track(Bytes{0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x41, 0xF7})),
            kSmall);
  EXPECT_LT(largestAllocationWhileReading(header() + chunk("MTrk", {0x00, 0xF0, 0x7F}, 0xFFFFFFF0)),
            kSmall);
  EXPECT_LT(largestAllocationWhileReading(chunk("MThd", {}, 0xFFFFFFFF) + track(kEndOfTrack)),
            kSmall);
}

// Random damage to a valid file: any result is acceptable except a crash, a read outside a buffer
// or a message that is not a SysEx message of the file.
TEST(HostileInputTest, DamagedFilesNeverCrash) {
  TempDir dir;
  const std::string path = dir.file("damaged.mid");
  const Bytes valid =
      header() + chunk("XTRA", {1, 2}) +
      track(Bytes{0x00, 0xFF, 0x51, 0x03, 1, 2, 3, 0x00, 0x90, 0x3C, 0x40} +
            Bytes{0x00, 0xF0, 0x05, 0x41, 0x10, 0x42, 0x12, 0xF7} +
            Bytes{0x81, 0x40, 0xF0, 0x02, 0x01, 0xF7, 0x00, 0xF7, 0x01, 0xF7} + kEndOfTrack) +
      track(Bytes{0x00, 0xF0, 0x03, 0x7E, 0x00, 0xF7} + kEndOfTrack);
  std::mt19937 random(12345);
  for (int round = 0; round < 800; ++round) {
    Bytes damaged = valid;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int i = 0; i < changes; ++i) {
      damaged[random() % damaged.size()] = static_cast<std::uint8_t>(random());
    }
    if (round % 5 == 0) damaged.resize(random() % damaged.size());
    writeBytes(path, damaged);
    MidiFileReader reader;
    reader.Read(path);
    ASSERT_LE(reader.messageCount(), MidiFileReader::kCapacity);
    for (int m = 0; m < reader.messageCount(); ++m) {
      ASSERT_TRUE(reader.message(m));
      ASSERT_EQ(reader.message(m)->front(), 0xF0);
      ASSERT_LE(reader.message(m)->size(), damaged.size());
    }
  }
}

}  // namespace
}  // namespace banklore
