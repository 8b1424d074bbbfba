#include "midi/jack_output_queue.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <thread>

namespace banklore {
namespace {

// Senders wait by polling: the process thread must not touch a lock or condition variable, and
// the queue is only full while several MiB are on their way (a JACK cycle takes milliseconds).
constexpr auto kPollInterval = std::chrono::milliseconds(1);

}  // namespace

JackOutputQueue::JackOutputQueue(std::size_t capacity, std::size_t maxMessage)
    : ring_(capacity), maxMessage_(maxMessage) {}

JackOutputQueue::Push JackOutputQueue::push(std::span<const std::uint8_t> message,
                                            std::chrono::milliseconds timeout) {
  if (message.empty() || message.size() > maxMessage_ ||
      message.size() + kHeaderBytes > ring_.capacity()) {
    return Push::Refused;
  }
  std::array<std::uint8_t, kHeaderBytes> header;
  const auto size = static_cast<std::uint32_t>(message.size());
  std::memcpy(header.data(), &size, sizeof size);

  std::lock_guard lock(pushMutex_);
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (abandoned_.load(std::memory_order_acquire)) return Push::Abandoned;
    // Counted before the bytes become readable, so the count never goes below zero.
    queuedBytes_.fetch_add(message.size(), std::memory_order_acq_rel);
    if (ring_.write(header, message)) return Push::Queued;
    queuedBytes_.fetch_sub(message.size(), std::memory_order_acq_rel);
    if (std::chrono::steady_clock::now() >= deadline) return Push::TimedOut;
    std::this_thread::sleep_for(kPollInterval);
  }
}

void JackOutputQueue::drain(EventSink& sink) {
  // Only whole records lie before a write position, so discarding ends at a record's start.
  const std::size_t discardTo = discardUpTo_.load(std::memory_order_acquire);
  while (ring_.readPosition() < discardTo) {
    if (remaining_ == 0) startMessage();
    ring_.skip(remaining_);
    queuedBytes_.fetch_sub(remaining_, std::memory_order_acq_rel);
    remaining_ = 0;
  }
  bool wrote = false;
  for (;;) {
    if (remaining_ == 0) {
      if (ring_.readable() < kHeaderBytes) return;
      startMessage();
    }
    const std::size_t room = sink.room();
    std::size_t piece = 0;
    if (remaining_ <= room) {
      piece = remaining_;
    } else if (!wrote || (messageSize_ > kWholeEventBytes && room >= kWholeEventBytes)) {
      piece = room;  // an empty buffer too small for the message, or a large message
    }
    if (piece == 0) return;  // the rest waits for the next cycle's empty buffer
    std::uint8_t* out = sink.reserve(piece);
    if (out == nullptr) return;
    ring_.read({out, piece});
    remaining_ -= piece;
    queuedBytes_.fetch_sub(piece, std::memory_order_acq_rel);
    wrote = true;
  }
}

void JackOutputQueue::startMessage() {
  // A record's header and bytes became readable together.
  std::array<std::uint8_t, kHeaderBytes> header;
  ring_.peek(header);
  std::uint32_t size = 0;
  std::memcpy(&size, header.data(), sizeof size);
  ring_.skip(kHeaderBytes);
  remaining_ = messageSize_ = size;
}

bool JackOutputQueue::waitUntilEmpty(std::chrono::milliseconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (queuedBytes() > 0) {
    if (abandoned_.load(std::memory_order_acquire) ||
        std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
  return true;
}

std::size_t JackOutputQueue::discardQueued() {
  std::lock_guard lock(pushMutex_);
  const std::size_t dropped = queuedBytes();
  discardUpTo_.store(ring_.writePosition(), std::memory_order_release);
  return dropped;
}

}  // namespace banklore
