// What the MIDI tests watch a port through: the debug log, and one recorder of what a port's
// callbacks or a backend's own handlers receive.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
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

// Polls `done` until it holds; false once `timeout` has passed (a hang guard, not a time limit).
inline bool waitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
  for (auto end = std::chrono::steady_clock::now() + timeout; !done();) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
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
  const std::string path = [this] {
    std::string name = std::string(test->test_suite_name()) + "." + test->name();
    std::ranges::replace(name, '/', '_');  // typed and parameterised suites
    return std::string(BANKLORE_TEST_TMPDIR) + "/midi_" + name + ".log";
  }();
};

// Collects what arrives, on whatever thread it comes, and counts calls made once `closed` is set.
// Given a port, it takes the port's callbacks and closes the port when destroyed.
class Recorder {
 public:
  struct Seen {
    std::vector<Bytes> data;
    std::vector<std::uint32_t> errors;  // from a port: MIM_ERROR / MIM_LONGERROR
    std::vector<std::string> notices;
  };

  Recorder() = default;
  explicit Recorder(MidiPort& port) : port_(&port) {
    port.SetDataCallback([this, input = onMessage()](MidiPort& from, auto bytes) {
      EXPECT_EQ(&from, port_);  // a callback is handed the port it was set on
      input(bytes);
    });
    port.SetErrorCallback([this](MidiPort&, std::uint32_t message) {
      add([&] { seen_.errors.push_back(message); });
    });
    port.SetNoticeCallback(
        [this](const std::string& text) { add([&] { seen_.notices.push_back(text); }); });
  }
  ~Recorder() {
    if (port_ != nullptr) port_->Close();
  }

  MidiBackend::InputHandler onMessage() {
    return [this](std::span<const std::uint8_t> bytes) {
      add([&] { seen_.data.emplace_back(bytes.begin(), bytes.end()); });
    };
  }

  // Waits until `count` data messages have arrived in all.
  bool waitFor(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(30)) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [&] { return seen_.data.size() >= count; });
  }
  Seen seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

  // Set once the port or the virtual ports are closed: from then on any call is one too many, also
  // one that was running before and is still running when the close returned.
  std::atomic<bool> closed{false};
  std::atomic<int> late{0};

 private:
  void add(const std::function<void()>& record) {
    if (closed) ++late;
    {
      std::lock_guard lock(mutex_);
      record();
      arrived_.notify_all();
    }
    if (closed) ++late;
  }

  MidiPort* port_ = nullptr;
  std::mutex mutex_;
  std::condition_variable arrived_;
  Seen seen_;
};

}  // namespace banklore::test
