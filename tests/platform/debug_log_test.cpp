#include "platform/debug_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/temp_dir.h"

namespace banklore {
namespace {

using testing::readFile;
using testing::TempDir;

TEST(DebugLogTest, PathStartsFixedAndIsReplacedInPlace) {
  const char* pointer = LogPath();
  EXPECT_STREQ(pointer, "C:\\Quillfen_Debug.txt");
  SetLogPath("/tmp/somewhere/banklore_Debug.txt");
  EXPECT_STREQ(LogPath(), "/tmp/somewhere/banklore_Debug.txt");
  EXPECT_EQ(LogPath(), pointer);  // callers may keep the pointer across a change
  SetLogPath("C:\\Quillfen_Debug.txt");
}

TEST(DebugLogTest, MessagesAreAppendedAsFormattedAndContinueWithoutLineEnd) {
  TempDir dir;
  const std::string log = dir.file("log.txt");
  WriteLog(log.c_str(), "--- Program Start ---\n");
  WriteLog(log.c_str(), "Attempting to send %ld bytes:\n", 11L);
  WriteLog(log.c_str(), "%02x, ", 0xF0);
  WriteLog(log.c_str(), "%02x, ", 0x3C);
  WriteLog(log.c_str(), "%02x\n", 0xF7);
  EXPECT_EQ(readFile(log), "--- Program Start ---\nAttempting to send 11 bytes:\nf0, 3c, f7\n");
}

TEST(DebugLogTest, NullFormatDoesNotTouchTheFile) {
  TempDir dir;
  const std::string log = dir.file("log.txt");
  WriteLog(log.c_str(), nullptr);
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST(DebugLogTest, UnopenableLogDropsTheMessage) {
  TempDir dir;
  const std::string log = dir.file("missing-folder/log.txt");
  WriteLog(log.c_str(), "lost %d\n", 1);
  EXPECT_FALSE(std::filesystem::exists(log));
  WriteLog(dir.file("log.txt").c_str(), "kept\n");  // and the next message still works
  EXPECT_EQ(readFile(dir.file("log.txt")), "kept\n");
}

TEST(DebugLogTest, LongMessageIsTruncatedTo128KiB) {
  TempDir dir;
  const std::string log = dir.file("log.txt");
  const std::string longText(200 * 1024, 'x');
  WriteLog(log.c_str(), "%s", longText.c_str());
  const std::string written = readFile(log);
  EXPECT_EQ(written.size(), 128u * 1024 - 1);
  EXPECT_EQ(written.find_first_not_of('x'), std::string::npos);
}

TEST(DebugLogTest, ConcurrentMessagesNeverInterleave) {
  TempDir dir;
  const std::string log = dir.file("log.txt");
  constexpr int kThreads = 4;
  constexpr int kMessages = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&log, t] {
      // Messages of different lengths, some in two pieces, so a torn write would show.
      const std::string padding(static_cast<std::size_t>(t * 700 + 1), static_cast<char>('a' + t));
      for (int i = 0; i < kMessages; ++i) {
        WriteLog(log.c_str(), "thread %d message %d %s\n", t, i, padding.c_str());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();

  std::istringstream lines(readFile(log));
  std::map<int, int> next;
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    int t = -1;
    int i = -1;
    char text[4096] = {};
    ASSERT_EQ(std::sscanf(line.c_str(), "thread %d message %d %4095s", &t, &i, text), 3) << line;
    ASSERT_TRUE(t >= 0 && t < kThreads) << line;
    EXPECT_EQ(std::string(text), std::string(static_cast<std::size_t>(t * 700 + 1), 'a' + t));
    EXPECT_EQ(i, next[t]++) << "messages of one thread keep their order";
    ++count;
  }
  EXPECT_EQ(count, kThreads * kMessages);
}

}  // namespace
}  // namespace banklore
