// The parts between JACK's process thread and the rest, without a server: the output queue (on its
// lock-free byte ring) against a fake port buffer, and the input's joining of events into messages.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include "midi/event_assembler.h"
#include "midi/jack_output_queue.h"
#include "midi/support/port_probe.h"

namespace banklore {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

// A port buffer of `size` bytes per cycle that charges each event a header, as JACK's does.
struct FakeCycle : EventSink {
  static constexpr std::size_t kEventHeader = 12;
  explicit FakeCycle(std::size_t bytes) : size(bytes) {}
  std::size_t room() override {
    return used + kEventHeader >= size ? 0 : size - used - kEventHeader;
  }
  std::uint8_t* reserve(std::size_t bytes) override {
    if (bytes == 0 || bytes > room()) return nullptr;
    used += bytes + kEventHeader;
    return events.emplace_back(bytes).data();
  }
  std::size_t size, used = 0;
  std::vector<Bytes> events;
};

// What JACK does between our output and our input: any messages up to the largest, queued (the
// ring wrapping, the queue often full) and handed out in cycles of any size, with real-time
// messages between the events, are joined again into the messages sent, each whole and once.
RC_GTEST_PROP(JackPathTest, AnyMessagesThroughAnyCyclesWithRealTimeBetweenArriveAsSent, ()) {
  constexpr std::size_t kMax = 3000;
  const auto sizes = *rc::gen::container<std::vector<std::size_t>>(rc::gen::oneOf(
      rc::gen::just(kMax), rc::gen::just<std::size_t>(3), rc::gen::inRange<std::size_t>(2, kMax)));
  const auto cycleBytes = *rc::gen::inRange<std::size_t>(16, 5000);
  const auto realTime = *rc::gen::element<std::uint8_t>(0xF8, 0xFA, 0xFE);
  const auto every = *rc::gen::inRange<std::size_t>(1, 4);  // event after which one is put
  JackOutputQueue queue(4 * kMax, kMax);
  FakeCycle cycle(cycleBytes);
  const auto drain = [&] {
    queue.drain(cycle);
    cycle.used = 0;
  };
  std::vector<Bytes> sent;
  for (std::size_t size : sizes) {
    sent.push_back(size == 3 ? Bytes{0x90, 0x3C, 0x40} : test::sysEx(size));
    while (queue.push(sent.back(), 0ms) != JackOutputQueue::Push::Queued) drain();
  }
  while (queue.queuedBytes() > 0) drain();
  std::vector<Bytes> arrived;
  std::size_t put = 0, realTimes = 0, broken = 0;
  EventAssembler assembler(
      kMax,
      [&](std::span<const std::uint8_t> m) {
        if (m.size() == 1 && m[0] == realTime)
          ++realTimes;
        else
          arrived.emplace_back(m.begin(), m.end());
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

TEST(EventAssemblerTest, ReportsWhatIsBroken) {
  const Bytes start{0xF0, 0x01, 0x02}, middle{0x03, 0x04}, end{0x05, 0xF7};
  const Bytes note{0x90, 0x3C, 0x40}, whole{0xF0, 0x01, 0x02, 0x03, 0x04, 0x05, 0xF7};
  struct Case {
    const char* title;
    std::vector<Bytes> events;  // {} stands for input lost at that point
    std::vector<Bytes> messages;
    int broken;
  };
  const Case cases[] = {
      {"note cuts a SysEx short", {start, note, middle, end}, {note}, 1},
      {"new SysEx before the end", {start, start, middle, end}, {whole}, 1},
      {"lost piece", {start, {}, end, note}, {note}, 1},
      {"stray tail after a message", {end, note}, {note}, 1},
      {"bytes after the end byte", {{0xF0, 0x01, 0xF7, 0x02}}, {{0xF0, 0x01, 0xF7}}, 0},
      {"one past the limit", {start, Bytes(12, 0x11), end, note}, {note}, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    std::vector<Bytes> messages;
    int broken = 0;
    EventAssembler assembler(
        16, [&](std::span<const std::uint8_t> m) { messages.emplace_back(m.begin(), m.end()); },
        [&] { ++broken; });
    assembler.add(Bytes{0xF0, 0x7F, 0xF7});  // a stray tail is noticed after a message
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
