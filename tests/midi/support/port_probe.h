// What the MIDI tests watch a port through: the debug log, its callbacks, and a stream of input
// while it is closed and reopened.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <thread>

#include "midi/midi_port.h"
#include "platform/debug_log.h"

namespace banklore::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes sysEx(std::size_t size) {
  Bytes message(size);
  for (std::size_t i = 0; i < size; ++i) message[i] = static_cast<std::uint8_t>((i * 7) % 0x80);
  message.front() = 0xF0;
  message.back() = 0xF7;
  return message;
}

// Points the debug log at a fresh file of the running test's own.
struct TestLog {
  TestLog() {
    std::remove(path.c_str());
    SetLogPath(path);
  }
  std::string contents() const {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }

  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string path = std::string(BANKLORE_TEST_TMPDIR "/midi_") + test->test_suite_name() +
                           "." + test->name() + ".log";
};

// Collects what the port's callbacks deliver on the MIDI thread; closes the port when destroyed.
class Recorder {
 public:
  struct Seen {
    std::vector<Bytes> data;
    std::vector<std::uint32_t> errors;
    std::vector<std::string> notices;
  };

  explicit Recorder(MidiPort& port) : port_(port) {
    port.SetDataCallback([this](MidiPort& from, std::span<const std::uint8_t> bytes) {
      add(from, [&] { seen_.data.emplace_back(bytes.begin(), bytes.end()); });
    });
    port.SetErrorCallback([this](MidiPort& from, std::uint32_t message) {
      add(from, [&] { seen_.errors.push_back(message); });
    });
    port.SetNoticeCallback(
        [this](const std::string& text) { add(port_, [&] { seen_.notices.push_back(text); }); });
  }
  ~Recorder() { port_.Close(); }

  // Waits until `count` data messages have arrived in all.
  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return seen_.data.size() >= count; });
  }
  Seen seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

 private:
  void add(MidiPort& from, const std::function<void()>& record) {
    EXPECT_EQ(&from, &port_);  // a callback is handed the port it was set on
    std::lock_guard lock(mutex_);
    record();
    arrived_.notify_all();
  }

  MidiPort& port_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  Seen seen_;
};

// Sends `count` note-ons, with every 20th a sysEx(295) and a pause, through `send` on another
// thread while this one opens and closes `port` over and over: every message delivered must be
// whole, and no callback may come once Close has returned. Each callback takes `callbackTakes`,
// so that Close often finds one in flight.
inline void reopenWhileStreaming(MidiPort& port, int count, std::chrono::microseconds pause,
                                 std::chrono::microseconds openFor,
                                 std::chrono::microseconds callbackTakes,
                                 const std::function<void(const Bytes&)>& send) {
  std::atomic<bool> closed{true}, done{false};
  std::atomic<int> late{0}, damaged{0}, notes{0}, sysExes{0};
  const Bytes whole = sysEx(295);
  port.SetDataCallback([&](MidiPort&, std::span<const std::uint8_t> bytes) {
    if (closed) ++late;
    const bool isSysEx = bytes[0] == 0xF0;
    ++(isSysEx ? sysExes : notes);
    if (isSysEx ? !std::ranges::equal(bytes, whole) : bytes.size() != 3) ++damaged;
    std::this_thread::sleep_for(callbackTakes);
    if (closed) ++late;  // Close returned without waiting for this call
  });
  port.SetErrorCallback([&](MidiPort&, std::uint32_t) { ++damaged; });
  std::thread player([&] {
    for (int i = 0; i < count; ++i) {
      send({0x90, static_cast<std::uint8_t>(i % 0x80), 0x40});
      if (i % 20 != 0) continue;
      send(whole);
      std::this_thread::sleep_for(pause);
    }
    done = true;
  });
  int cycles = 0;
  for (; !done; ++cycles) {
    closed = false;
    EXPECT_TRUE(port.Open());
    std::this_thread::sleep_for(openFor * (1 + cycles % 4));
    port.Close();
    closed = true;  // from here on any callback is one too many
    std::this_thread::sleep_for(openFor / 4);
  }
  player.join();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));  // room for a stray callback
  EXPECT_EQ(late, 0);
  EXPECT_EQ(damaged, 0);
  EXPECT_GT(notes, 0) << "no note-on arrived while open";
  EXPECT_GT(sysExes, 0) << "no SysEx arrived while open";
  std::cout << cycles << " cycles delivered " << notes << " note-ons, " << sysExes << " SysEx\n";
}

}  // namespace banklore::test
