// The parts between JACK's process thread and the rest, without a server: the lock-free byte ring,
// the output queue against a fake port buffer, and the input's joining of events into messages.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <deque>
#include <numeric>
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

// Any writes (all or nothing, given in two parts) and reads, against a plain queue of bytes.
RC_GTEST_PROP(ByteRingTest, KeepsBytesInOrderAndStoresAllOrNothing, ()) {
  ByteRing ring(100);
  RC_ASSERT(ring.capacity() == 128u);
  std::deque<std::uint8_t> model;
  std::uint8_t next = 0;
  const auto steps = *rc::gen::container<std::vector<std::pair<bool, std::size_t>>>(
      rc::gen::pair(rc::gen::arbitrary<bool>(), rc::gen::inRange<std::size_t>(1, 140)));
  for (const auto& [write, size] : steps) {
    if (write) {
      const Bytes part = counting(size, next);
      const bool fits = size <= 128 - model.size();
      RC_ASSERT(ring.write(std::span(part).first(size / 2), std::span(part).subspan(size / 2)) ==
                fits);
      if (!fits) continue;
      model.insert(model.end(), part.begin(), part.end());
      next = static_cast<std::uint8_t>(next + size);
    } else {
      Bytes peeked(std::min(size, ring.readable())), read(size);
      ring.peek(peeked);
      RC_ASSERT(ring.read(read) == peeked.size());
      RC_ASSERT(std::equal(peeked.begin(), peeked.end(), model.begin()));
      RC_ASSERT(std::equal(peeked.begin(), peeked.end(), read.begin()));
      model.erase(model.begin(), model.begin() + static_cast<std::ptrdiff_t>(peeked.size()));
    }
    RC_ASSERT(ring.readable() == model.size());
  }
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

// What JACK does between our output and our input: any messages up to the largest, queued and
// handed out in cycles of any size, with real-time messages between the events, are joined again
// into the messages sent, each whole and once.
RC_GTEST_PROP(JackPathTest, AnyMessagesThroughAnyCyclesWithRealTimeBetweenArriveAsSent, ()) {
  constexpr std::size_t kMax = 3000;
  const auto sizes = *rc::gen::container<std::vector<std::size_t>>(rc::gen::oneOf(
      rc::gen::just(kMax), rc::gen::just<std::size_t>(3), rc::gen::inRange<std::size_t>(2, kMax)));
  const auto cycleBytes = *rc::gen::inRange<std::size_t>(16, 5000);
  const auto realTime = *rc::gen::element<std::uint8_t>(0xF8, 0xFA, 0xFE);
  const auto every = *rc::gen::inRange<std::size_t>(1, 4);  // event after which one is put
  JackOutputQueue queue(std::size_t{1} << 20, kMax);
  std::vector<Bytes> sent;
  for (std::size_t size : sizes) {
    sent.push_back(size == 3 ? Bytes{0x90, 0x3C, 0x40} : test::sysEx(size));
    RC_ASSERT(queue.push(sent.back(), 0ms) == JackOutputQueue::Push::Queued);
  }
  FakeCycle cycle(cycleBytes);
  for (int cycles = 0; queue.queuedBytes() > 0 && cycles < 1000000; ++cycles) {
    queue.drain(cycle);
    cycle.next();
  }
  std::vector<Bytes> arrived;
  std::size_t put = 0, realTimes = 0, broken = 0;
  EventAssembler assembler(
      kMax,
      [&](std::span<const std::uint8_t> m) {
        if (m.size() == 1 && m[0] == realTime) ++realTimes;
        else arrived.emplace_back(m.begin(), m.end());
      },
      [&] { ++broken; });
  for (std::size_t i = 0; i < cycle.events.size(); ++i) {
    assembler.add(cycle.events[i]);
    if (i % every != 0) continue;
    assembler.add(Bytes{realTime});
    ++put;
  }
  RC_ASSERT(broken == 0u);
  RC_ASSERT(arrived == sent);
  RC_ASSERT(realTimes == put);
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
  std::thread consumer([&] {  // room made while a sender waits is taken
    std::this_thread::sleep_for(50ms);
    FakeCycle cycle(32768);
    queue.drain(cycle);
  });
  EXPECT_EQ(queue.push(test::sysEx(3), 60s), JackOutputQueue::Push::Queued);
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
  EXPECT_EQ(queue.discardQueued(), 70300u - cycle.events.at(0).size());
  const Bytes after = test::sysEx(500);
  ASSERT_EQ(queue.push(after, 0ms), JackOutputQueue::Push::Queued);
  cycle.next();
  cycle.events.clear();
  queue.drain(cycle);
  EXPECT_EQ(cycle.events, std::vector<Bytes>{after});
  EXPECT_TRUE(queue.waitUntilEmpty(0ms));
}

// A sender and JACK's thread at once, the queue often full: every byte arrives, in order.
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
  Bytes sent, arrived;
  for (std::size_t i = 0; i < 300; ++i) {
    const Bytes message = counting(2 + i * 37 % 12000, static_cast<std::uint8_t>(i));
    ASSERT_EQ(queue.push(message, 60s), JackOutputQueue::Push::Queued);
    sent.insert(sent.end(), message.begin(), message.end());
  }
  done = true;
  process.join();
  for (const Bytes& event : cycle.events) arrived.insert(arrived.end(), event.begin(), event.end());
  EXPECT_TRUE(arrived == sent);
}

TEST(EventAssemblerTest, ReportsWhatIsBroken) {
  const Bytes start{0xF0, 0x01, 0x02}, middle{0x03, 0x04}, end{0x05, 0xF7};
  const Bytes note{0x90, 0x3C, 0x40}, whole{0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7};
  struct Case {
    const char* title;
    std::vector<Bytes> events;  // {} stands for input lost at that point
    std::vector<Bytes> messages;
    int broken;
    bool afterMessage = true;  // a SysEx was assembled before, so a stray tail is noticed
  };
  const Case cases[] = {
      {"note cuts a SysEx short", {start, note, middle, end}, {note}, 1},
      {"new SysEx before the end", {start, start, middle, end}, {whole}, 1},
      {"lost piece", {start, {}, end, note}, {note}, 1},
      {"stray tail after a message", {end, note}, {note}, 1},
      {"stray tail after opening", {middle, end, note}, {note}, 0, false},
      {"bytes after the end byte", {{0xF0, 0x01, 0xF7, 0x02}}, {{0xF0, 0x01, 0xF7}}, 0},
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

}  // namespace
}  // namespace banklore
