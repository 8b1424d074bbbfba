#include "midi/support/recorder.h"

namespace banklore::test {

void Recorder::attach(MidiPort& port) {
  MidiPort* expected = &port;
  port.SetDataCallback([this, expected](MidiPort& from, std::span<const std::uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    portsMatched_ = portsMatched_ && &from == expected;
    data_.emplace_back(bytes.begin(), bytes.end());
    arrived_.notify_all();
  });
  port.SetErrorCallback([this, expected](MidiPort& from, std::uint32_t message) {
    std::lock_guard lock(mutex_);
    portsMatched_ = portsMatched_ && &from == expected;
    errors_.push_back(message);
  });
  port.SetNoticeCallback([this](const std::string& text) {
    std::lock_guard lock(mutex_);
    notices_.push_back(text);
  });
}

std::vector<std::vector<std::uint8_t>> Recorder::data() const {
  std::lock_guard lock(mutex_);
  return data_;
}

std::vector<std::uint32_t> Recorder::errors() const {
  std::lock_guard lock(mutex_);
  return errors_;
}

std::vector<std::string> Recorder::notices() const {
  std::lock_guard lock(mutex_);
  return notices_;
}

bool Recorder::waitForData(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return data_.size() >= count; });
}

bool Recorder::portsMatched() const {
  std::lock_guard lock(mutex_);
  return portsMatched_;
}

}  // namespace banklore::test
