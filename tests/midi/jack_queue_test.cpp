// The parts between JACK's process thread and the rest, without a server: the lock-free byte ring,
// the output queue against a fake port buffer, and the input's joining of events into messages.
#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <thread>

#include "midi/byte_ring.h"
#include "midi/event_assembler.h"
#include "midi/jack_output_queue.h"
#include "midi/support/port_probe.h"

namespace banklore {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

Bytes counting(std::size_t size, std::uint8_t from) {
  Bytes bytes(size);
  std::iota(bytes.begin(), bytes.end(), from);
  return bytes;
}

TEST(ByteRingTest, KeepsBytesInOrderAcrossTheWrapAndStoresAllOrNothing) {
  ByteRing ring(100);
  ASSERT_EQ(ring.capacity(), 128u);
  Bytes expected, got;
  std::uint8_t next = 0;
  for (std::size_t size : {50, 60, 17, 1, 127, 3, 90}) {  // every write crosses or meets the end
    const Bytes part = counting(size, next);
    next = static_cast<std::uint8_t>(next + size);
    if (size > ring.writable()) {
      EXPECT_FALSE(ring.write(part)) << "a part that does not fit must leave nothing";
      Bytes rest(ring.readable());
      ring.read(rest);
      got.insert(got.end(), rest.begin(), rest.end());
    }
    ASSERT_TRUE(ring.write(std::span(part).first(size / 2), std::span(part).subspan(size / 2)));
    expected.insert(expected.end(), part.begin(), part.end());
    Bytes head(std::min<std::size_t>(ring.readable(), 7));
    ring.peek(head);
    ring.read(head);  // the peeked bytes are the ones read
    got.insert(got.end(), head.begin(), head.end());
  }
  Bytes rest(ring.readable());
  ring.read(rest);
  got.insert(got.end(), rest.begin(), rest.end());
  EXPECT_EQ(got, expected);
  EXPECT_EQ(ring.readPosition(), ring.writePosition());
  EXPECT_TRUE(ring.write(counting(128, 0)));
  EXPECT_FALSE(ring.write(counting(1, 0))) << "a full ring takes nothing more";
}

TEST(ByteRingTest, OneWriterAndOneReaderOnTwoThreadsSeeEveryByteOnce) {
  ByteRing ring(256);
  constexpr std::size_t kTotal = 1 << 20;
  std::thread writer([&] {
    std::size_t sent = 0;
    while (sent < kTotal) {
      const Bytes part = counting(std::min<std::size_t>(1 + sent % 97, kTotal - sent),
                                  static_cast<std::uint8_t>(sent));
      if (ring.write(part)) sent += part.size();
    }
  });
  std::size_t received = 0, wrong = 0;
  Bytes chunk(61);
  while (received < kTotal) {
    const std::size_t count = ring.read(chunk);
    for (std::size_t i = 0; i < count; ++i)
      wrong += chunk[i] != static_cast<std::uint8_t>(received + i);
    received += count;
  }
  writer.join();
  EXPECT_EQ(wrong, 0u);
}

// A port buffer of `size` bytes per cycle that charges each event a header, as JACK's does.
class FakeCycle : public EventSink {
 public:
  static constexpr std::size_t kEventHeader = 12;

  explicit FakeCycle(std::size_t size) : size_(size) {}
  std::size_t room() override {
    return used_ + kEventHeader >= size_ ? 0 : size_ - used_ - kEventHeader;
  }
  std::uint8_t* reserve(std::size_t size) override {
    if (size == 0 || size > room()) return nullptr;
    used_ += size + kEventHeader;
    events.emplace_back(size);
    return events.back().data();
  }
  void next() { used_ = 0; }

  std::vector<Bytes> events;

 private:
  std::size_t size_;
  std::size_t used_ = 0;
};

// Joins events back into the messages they came from, knowing the sizes sent.
std::vector<Bytes> joined(const std::vector<Bytes>& events, const std::vector<std::size_t>& sizes) {
  std::vector<Bytes> messages;
  Bytes current;
  std::size_t index = 0;
  for (const Bytes& event : events) {
    current.insert(current.end(), event.begin(), event.end());
    if (index < sizes.size() && current.size() >= sizes[index]) {
      messages.push_back(std::move(current));
      current.clear();
      ++index;
    }
  }
  if (!current.empty()) messages.push_back(current);
  return messages;
}

TEST(JackOutputQueueTest, EachCycleTakesWhatFitsAndSmallMessagesStayWhole) {
  const std::vector<Bytes> messages{{0x94, 0x3C, 0x64}, test::sysEx(295),  test::sysEx(70000),
                                    {0xC3, 0x05},       test::sysEx(1024), test::sysEx(1 << 20),
                                    test::sysEx(2),     {0x80, 0x3C, 0x00}};
  std::vector<std::size_t> sizes;
  for (const Bytes& message : messages) sizes.push_back(message.size());
  for (std::size_t cycleBytes : {32768u, 5000u, 700u}) {  // JACK's size, small, below one message
    SCOPED_TRACE(cycleBytes);
    JackOutputQueue queue(4 << 20, 1 << 20);
    for (const Bytes& message : messages) {
      ASSERT_EQ(queue.push(message, 0ms), JackOutputQueue::Push::Queued);
    }
    FakeCycle cycle(cycleBytes);
    int cycles = 0;
    for (; queue.queuedBytes() > 0 && cycles < 100000; ++cycles) {
      queue.drain(cycle);
      cycle.next();
    }
    EXPECT_TRUE(joined(cycle.events, sizes) == messages) << "bytes were lost, changed or reordered";
    std::size_t index = 0, inMessage = 0;
    for (const Bytes& event : cycle.events) {
      const bool small = messages[index].size() <= JackOutputQueue::kWholeEventBytes;
      if (small && cycleBytes > JackOutputQueue::kWholeEventBytes + FakeCycle::kEventHeader) {
        EXPECT_EQ(event.size(), messages[index].size()) << "a small message was split";
      } else if (inMessage + event.size() < messages[index].size()) {
        EXPECT_GE(event.size() + FakeCycle::kEventHeader, std::min<std::size_t>(cycleBytes, 1024))
            << "a piece that is neither the last nor a whole buffer";
      }
      inMessage += event.size();
      if (inMessage == messages[index].size()) {
        ++index;
        inMessage = 0;
      }
    }
    if (cycleBytes == 32768u) {
      EXPECT_LT(cycles, 40) << "cycles went out less than full";
    }
  }
}

TEST(JackOutputQueueTest, RefusesWhatCanNeverFitAndWaitsOnlySoLongForRoom) {
  JackOutputQueue queue(64 * 1024, 40000);
  const Bytes big = test::sysEx(30000);
  EXPECT_EQ(queue.push({}, 0ms), JackOutputQueue::Push::Refused);
  EXPECT_EQ(queue.push(test::sysEx(40001), 1s), JackOutputQueue::Push::Refused);  // at once
  ASSERT_EQ(queue.push(big, 0ms), JackOutputQueue::Push::Queued);
  ASSERT_EQ(queue.push(big, 0ms), JackOutputQueue::Push::Queued);
  EXPECT_EQ(queue.queuedBytes(), 60000u);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(queue.push(big, 100ms), JackOutputQueue::Push::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);
  EXPECT_FALSE(queue.waitUntilEmpty(20ms));

  // Room made while a sender waits is taken.
  std::thread consumer([&] {
    std::this_thread::sleep_for(50ms);
    FakeCycle cycle(32768);
    queue.drain(cycle);
  });
  EXPECT_EQ(queue.push(test::sysEx(3), 2s), JackOutputQueue::Push::Queued);
  consumer.join();

  queue.abandon();
  EXPECT_EQ(queue.push(big, 1s), JackOutputQueue::Push::Abandoned);
  EXPECT_FALSE(queue.waitUntilEmpty(1s));
}

TEST(JackOutputQueueTest, DiscardDropsWhatWasQueuedEvenMidMessageAndNothingAfter) {
  JackOutputQueue queue(256 * 1024, 1 << 20);
  FakeCycle cycle(5000);
  ASSERT_EQ(queue.push(test::sysEx(70000), 0ms), JackOutputQueue::Push::Queued);
  ASSERT_EQ(queue.push(test::sysEx(300), 0ms), JackOutputQueue::Push::Queued);
  queue.drain(cycle);  // the first message is under way
  const std::size_t sent = cycle.events.at(0).size();
  EXPECT_EQ(queue.discardQueued(), 70300u - sent);
  const Bytes after = test::sysEx(500);
  ASSERT_EQ(queue.push(after, 0ms), JackOutputQueue::Push::Queued);
  cycle.next();
  cycle.events.clear();
  queue.drain(cycle);
  EXPECT_EQ(cycle.events, std::vector<Bytes>{after});
  EXPECT_TRUE(queue.waitUntilEmpty(0ms));
}

// A sender and JACK's thread at once, the queue often full: every message whole and in order.
TEST(JackOutputQueueTest, SenderAndProcessThreadRunningTogetherLoseNothing) {
  JackOutputQueue queue(16 * 1024, 1 << 20);
  std::atomic<bool> done{false};
  FakeCycle cycle(4096);
  std::thread process([&] {
    while (!done || queue.queuedBytes() > 0) {
      queue.drain(cycle);
      cycle.next();
      std::this_thread::yield();
    }
  });
  std::vector<Bytes> sent;
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    Bytes message = test::sysEx(2 + random() % 12000);
    message[1] = static_cast<std::uint8_t>(i % 0x80);
    ASSERT_EQ(queue.push(message, 5s), JackOutputQueue::Push::Queued);
    sent.push_back(std::move(message));
  }
  done = true;
  process.join();
  std::vector<std::size_t> sizes;
  for (const Bytes& message : sent) sizes.push_back(message.size());
  EXPECT_TRUE(joined(cycle.events, sizes) == sent);
}

TEST(EventAssemblerTest, JoinsPiecesAndReportsWhatIsBroken) {
  const Bytes start{0xF0, 0x01, 0x02}, middle{0x03, 0x04}, end{0x05, 0xF7};
  const Bytes whole{0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7};
  const Bytes note{0x90, 0x3C, 0x40}, sensing{0xFE};
  Bytes atLimit = counting(16, 0);  // F0 01 02, eleven more, 05 F7: 16 bytes
  atLimit[0] = 0xF0;
  atLimit[14] = 0x05;
  atLimit[15] = 0xF7;
  struct Case {
    const char* title;
    std::vector<Bytes> events;  // {} stands for input lost at that point
    std::vector<Bytes> messages;
    int broken;
    bool afterMessage = true;  // a SysEx was assembled before, so a stray tail is noticed
  };
  const Case cases[] = {
      {"one event", {whole}, {whole}, 0},
      {"pieces", {start, middle, end}, {whole}, 0},
      {"end byte alone", {start, middle, {0x05}, {0xF7}}, {whole}, 0},
      {"real-time between pieces", {start, sensing, middle, end}, {sensing, whole}, 0},
      {"short messages", {note, {0xC3, 0x05}}, {note, {0xC3, 0x05}}, 0},
      {"note cuts a SysEx short", {start, note, middle, end}, {note}, 1},
      {"new SysEx before the end", {start, start, middle, end}, {whole}, 1},
      {"lost piece", {start, {}, end, note}, {note}, 1},
      {"stray tail after a message", {end, note}, {note}, 1},
      {"stray tail after opening", {middle, end, note}, {note}, 0, false},
      {"bytes after the end byte", {{0xF0, 0x01, 0xF7, 0x02}}, {{0xF0, 0x01, 0xF7}}, 0},
      {"at the limit", {start, counting(11, 3), end}, {atLimit}, 0},
      {"one past the limit", {start, counting(12, 0), end, note}, {note}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::vector<Bytes> messages;
    int broken = 0;
    EventAssembler assembler(
        16, [&](std::span<const std::uint8_t> m) { messages.emplace_back(m.begin(), m.end()); },
        [&] { ++broken; });
    if (c.afterMessage) assembler.add(Bytes{0xF0, 0x7F, 0xF7});
    messages.clear();
    for (const Bytes& event : c.events) {
      if (event.empty()) {
        assembler.lost();
      } else {
        assembler.add(event);
      }
    }
    EXPECT_EQ(messages, c.messages);
    EXPECT_EQ(broken, c.broken);
  }
}

TEST(EventAssemblerTest, RestartDropsAMessageInProgressSilently) {
  std::vector<Bytes> messages;
  int broken = 0;
  EventAssembler assembler(
      1 << 20, [&](std::span<const std::uint8_t> m) { messages.emplace_back(m.begin(), m.end()); },
      [&] { ++broken; });
  assembler.add(Bytes{0xF0, 0x01});
  assembler.restart();
  assembler.add(Bytes{0x02, 0xF7});  // the tail of what began before
  const Bytes big = test::sysEx(1 << 20);
  assembler.add(std::span(big).first(500000));
  assembler.add(std::span(big).subspan(500000));
  EXPECT_EQ(broken, 0);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_TRUE(messages[0] == big);
}

}  // namespace
}  // namespace banklore
