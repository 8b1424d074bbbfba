// What the MIDI tests watch a port through: the debug log, its callbacks, a stream of input while
// it is closed and reopened, and a conversation with virtual ports.
#pragma once

#include <gmock/gmock.h>
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

#include "midi/midi_backend.h"
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

// Collects what a backend's own handlers receive, and counts calls that come once `closed` is set.
class HandlerRecorder {
 public:
  MidiBackend::InputHandler onMessage() {
    return [this](std::span<const std::uint8_t> message) {
      add([&] { messages_.emplace_back(message.begin(), message.end()); });
    };
  }
  MidiBackend::ErrorHandler onError() {
    return [this](MidiInputError) { add([&] { ++errors_; }); };
  }
  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return messages_.size() >= count; });
  }
  std::vector<Bytes> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  int errors() {
    std::lock_guard lock(mutex_);
    return errors_;
  }

  std::atomic<bool> closed{false};
  std::atomic<int> late{0};

 private:
  void add(const std::function<void()>& record) {
    if (closed) ++late;
    std::lock_guard lock(mutex_);
    record();
    arrived_.notify_all();
  }

  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Bytes> messages_;
  int errors_ = 0;
};

// The owner of the virtual ports `name` and a MidiPort opened on "<name>:in" (output) and
// "<name>:out" (input) talk both ways; the name cannot be taken twice while open; closeVirtual,
// with input streaming in, stops every handler call, and the ports and the name are free again.
// `settle` is how long the system takes to make a connection or a close take effect.
inline void talkThroughVirtualPorts(const std::function<std::unique_ptr<MidiBackend>()>& make,
                                    const std::string& name, std::chrono::milliseconds settle) {
  HandlerRecorder owned;
  auto owner = make();
  ASSERT_TRUE(owner->openVirtual(name, owned.onMessage(), owned.onError()));
  EXPECT_FALSE(make()->openVirtual(name, {}, {})) << "the name is taken";

  MidiPort port(make());
  port.SetOutputDeviceName(name + ":in");
  port.SetInputDeviceName(name + ":out");
  Recorder recorder(port);
  ASSERT_TRUE(port.Open());
  ASSERT_TRUE(port.isInputOpen() && port.isOutputOpen());
  std::this_thread::sleep_for(settle);

  const std::vector<Bytes> requests{sysEx(8), sysEx(70000), {0x90, 0x3C, 0x40}};
  for (const Bytes& request : requests) {
    ASSERT_TRUE(port.SendSysEx(request.data(), request.size()));
  }
  ASSERT_TRUE(owned.waitFor(requests.size())) << "the owner's \"in\" did not receive";
  EXPECT_TRUE(owned.messages() == requests);
  const std::vector<Bytes> replies{sysEx(300), sysEx(40000)};
  for (const Bytes& reply : replies) ASSERT_TRUE(owner->send(reply));
  ASSERT_TRUE(recorder.waitFor(replies.size())) << "nothing came out of the owner's \"out\"";
  EXPECT_TRUE(recorder.seen().data == replies);
  EXPECT_EQ(owned.errors(), 0);

  std::atomic<bool> stop{false};
  std::thread player([&] {
    const Bytes request = sysEx(20);
    while (!stop) {
      port.SendSysEx(request.data(), request.size());
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::this_thread::sleep_for(settle);
  owner->closeVirtual();
  owned.closed = true;
  std::this_thread::sleep_for(settle);
  stop = true;
  player.join();
  EXPECT_EQ(owned.late, 0) << "a handler ran after closeVirtual returned";
  EXPECT_GT(owned.messages().size(), requests.size()) << "nothing streamed in before the close";
  EXPECT_FALSE(owner->isOutputOpen());
  EXPECT_FALSE(owner->send(replies[0]));
  EXPECT_THAT(port.outputDeviceNames(), ::testing::Not(::testing::Contains(name + ":in")));
  EXPECT_THAT(port.inputDeviceNames(), ::testing::Not(::testing::Contains(name + ":out")));
  EXPECT_TRUE(make()->openVirtual(name, {}, {})) << "the name is free again";
}

}  // namespace banklore::test
