// Plays a VirtualSynth over some output: each received message goes through the synth at once
// (from whatever thread delivers it, which never waits), and what it answers is sent on the
// player's own thread when its pauses are over: an answer's delay counts from the arrival of its
// request, a gap from the end of the piece before. Answers leave in the order they were made.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "virtual_synth.h"

namespace banklore {

class SynthPlayer {
 public:
  using Output = std::function<void(std::span<const std::uint8_t> bytes)>;
  // Called for each received message, on the thread that delivered it, after the synth reacted.
  using Observer = std::function<void(const Reaction& reaction)>;

  SynthPlayer(VirtualSynth synth, Output output, Observer observer = {});
  // Answers not yet sent are dropped.
  ~SynthPlayer();
  SynthPlayer(const SynthPlayer&) = delete;
  SynthPlayer& operator=(const SynthPlayer&) = delete;

  void receive(std::span<const std::uint8_t> message);
  // True once everything scheduled so far has been sent.
  bool waitUntilIdle(std::chrono::milliseconds timeout);
  // Runs `look` on the synth while no message is being handled.
  template <typename Look>
  auto withSynth(Look look) {
    std::lock_guard lock(synthMutex_);
    return look(static_cast<const VirtualSynth&>(synth_));
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Scheduled {
    Clock::time_point arrival;  // of the message that caused it
    bool first = true;          // of its reaction: its pause counts from the arrival
    TimedMessage message;
  };
  void run();

  std::mutex synthMutex_;  // taken before queueMutex_
  VirtualSynth synth_;
  Output output_;
  Observer observer_;

  std::mutex queueMutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Scheduled> queue_;
  Clock::time_point lastSent_{};  // when the last output returned
  bool sending_ = false;
  bool stopping_ = false;
  std::thread thread_;  // last: starts once everything above exists
};

}  // namespace banklore
