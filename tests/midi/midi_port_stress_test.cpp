// Input keeps arriving while the port is closed and reopened over and over: no crash, no lost
// bytes inside a delivered message, and never a callback after Close has returned.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <thread>

#include "midi/loopback_backend.h"
#include "midi/midi_port.h"
#include "midi/support/test_log.h"

namespace banklore {
namespace {

constexpr int kShortMessages = 10000;
constexpr int kSysExMessages = 500;
constexpr std::size_t kSysExSize = 295;

std::vector<std::uint8_t> sysEx(int serial) {
  std::vector<std::uint8_t> message(kSysExSize, static_cast<std::uint8_t>(serial % 0x80));
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

TEST(MidiPortStressTest, NoCallbackAfterCloseWhileInputKeepsArriving) {
  test::TestLog log;
  loopback::reset();
  loopback::addPort("Stress", LoopbackDirection::InputOnly);
  MidiPort port(makeLoopbackBackend());
  port.SetInputDeviceName("Stress");

  std::atomic<bool> closed{true};
  std::atomic<int> lateCalls{0};
  std::atomic<int> shortCalls{0};
  std::atomic<int> sysExCalls{0};
  std::atomic<int> damaged{0};
  port.SetDataCallback([&](MidiPort&, std::span<const std::uint8_t> bytes) {
    if (closed) ++lateCalls;
    if (bytes[0] == 0xF0) {
      const bool intact = bytes.size() == kSysExSize && bytes.back() == 0xF7 &&
                          std::all_of(bytes.begin() + 1, bytes.end() - 1,
                                      [&](std::uint8_t b) { return b == bytes[1]; });
      if (!intact) ++damaged;
      ++sysExCalls;
    } else {
      if (bytes.size() != 3) ++damaged;
      ++shortCalls;
    }
  });
  port.SetErrorCallback([&](MidiPort&, std::uint32_t) { ++damaged; });

  std::atomic<bool> done{false};
  std::thread player([&] {
    int sysExSent = 0;
    for (int i = 0; i < kShortMessages; ++i) {
      loopback::inject("Stress", {0x90, static_cast<std::uint8_t>(i % 0x80), 0x40});
      if (i % (kShortMessages / kSysExMessages) == 0 && sysExSent < kSysExMessages) {
        loopback::inject("Stress", sysEx(sysExSent++));
      }
      // Spread the arrivals over many open/close cycles, as a device streaming would.
      if (i % 20 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    done = true;
  });

  int cycles = 0;
  while (!done || cycles < 200) {
    closed = false;
    ASSERT_TRUE(port.Open());
    std::this_thread::sleep_for(std::chrono::microseconds(200 + 100 * (cycles % 7)));
    port.Close();
    closed = true;  // from here on any callback is one too many
    std::this_thread::yield();
    ++cycles;
  }
  player.join();
  ASSERT_TRUE(loopback::waitUntilIdle());

  EXPECT_EQ(lateCalls, 0);
  EXPECT_EQ(damaged, 0);
  EXPECT_GT(shortCalls, 0) << "no short message arrived while open";
  EXPECT_GT(sysExCalls, 0) << "no SysEx arrived while open";
  std::cout << cycles << " open/close cycles; delivered " << shortCalls << " short messages and "
            << sysExCalls << " SysEx of " << kShortMessages << " and " << kSysExMessages << "\n";
  RecordProperty("cycles", cycles);
  RecordProperty("delivered", shortCalls + sysExCalls);
  loopback::reset();
}

}  // namespace
}  // namespace banklore
