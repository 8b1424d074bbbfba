#include "synth_player.h"

#include <algorithm>

namespace banklore {

SynthPlayer::SynthPlayer(VirtualSynth synth, Output output, Observer observer)
    : synth_(std::move(synth)),
      output_(std::move(output)),
      observer_(std::move(observer)),
      thread_([this] { run(); }) {}

SynthPlayer::~SynthPlayer() {
  {
    std::lock_guard lock(queueMutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

void SynthPlayer::receive(std::span<const std::uint8_t> message) {
  Reaction reaction;
  {
    std::lock_guard synthLock(synthMutex_);
    reaction = synth_.receive(message);
    std::lock_guard lock(queueMutex_);
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < reaction.sends.size(); ++i) {
      queue_.push_back({now, i == 0, reaction.sends[i]});
    }
  }
  wake_.notify_all();
  if (observer_) observer_(reaction);
}

bool SynthPlayer::waitUntilIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(queueMutex_);
  return idle_.wait_for(lock, timeout, [&] { return queue_.empty() && !sending_; });
}

void SynthPlayer::run() {
  std::unique_lock lock(queueMutex_);
  for (;;) {
    if (stopping_) return;
    if (queue_.empty()) {
      idle_.notify_all();
      wake_.wait(lock);
      continue;
    }
    const Scheduled& next = queue_.front();
    const auto pause = std::chrono::milliseconds(next.message.delayMs);
    // An answer never starts before the one made before it is through.
    const Clock::time_point due =
        next.first ? std::max(next.arrival + pause, lastSent_) : lastSent_ + pause;
    if (Clock::now() < due) {
      wake_.wait_until(lock, due);
      continue;
    }
    std::vector<std::uint8_t> bytes = std::move(queue_.front().message.bytes);
    queue_.pop_front();
    sending_ = true;
    lock.unlock();  // the output may take its time, or deliver to a receive() of ours
    output_(bytes);
    lock.lock();
    sending_ = false;
    lastSent_ = Clock::now();
  }
}

}  // namespace banklore
