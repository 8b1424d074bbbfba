// Collects what a MidiPort's callbacks deliver on the MIDI thread, for the test thread to read.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "midi/midi_port.h"

namespace banklore::test {

class Recorder {
 public:
  // Installs data, error and notice callbacks on `port`.
  void attach(MidiPort& port);

  std::vector<std::vector<std::uint8_t>> data() const;
  std::vector<std::uint32_t> errors() const;
  std::vector<std::string> notices() const;
  // Waits until at least `count` data messages arrived; false on timeout.
  bool waitForData(std::size_t count, std::chrono::milliseconds timeout) const;
  // True when every callback was handed the port it was attached to.
  bool portsMatched() const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable arrived_;
  std::vector<std::vector<std::uint8_t>> data_;
  std::vector<std::uint32_t> errors_;
  std::vector<std::string> notices_;
  bool portsMatched_ = true;
};

}  // namespace banklore::test
