// Messages on their way out of a JACK port. Senders queue whole messages in a bounded ring and wait
// (for a limited time) while it is full; JACK's process thread moves what fits into each cycle's
// port buffer, so nothing is dropped however much is sent back to back. A message that does not fit
// into what is left of a cycle goes out as consecutive events, continued in the next cycle.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <span>

#include "midi/byte_ring.h"

namespace banklore {

// One cycle's port buffer, as the queue sees it.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // The largest event that can still be added this cycle.
  virtual std::size_t room() = 0;
  // Space for an event of `size` bytes after those added before; null when it does not fit.
  virtual std::uint8_t* reserve(std::size_t size) = 0;
};

class JackOutputQueue {
 public:
  // Messages up to this size go out as one event unless a cycle's empty buffer is smaller; a
  // larger one is cut into pieces of at least this size (except the last).
  static constexpr std::size_t kWholeEventBytes = 1024;

  enum class Push { Queued, Refused, TimedOut, Abandoned };

  // `capacity` bounds the bytes queued (a few bytes of each message are bookkeeping); a message
  // larger than `maxMessage` or than the capacity is refused at once.
  JackOutputQueue(std::size_t capacity, std::size_t maxMessage);

  // Any thread; senders take turns, so messages leave in the order their push began. Waits up to
  // `timeout` for room. An empty message is refused.
  Push push(std::span<const std::uint8_t> message, std::chrono::milliseconds timeout);
  // Fails every waiting and later push (the server is gone). Safe from a signal-like context.
  void abandon() { abandoned_.store(true, std::memory_order_release); }

  // The process thread: real-time safe (no lock, no allocation).
  void drain(EventSink& sink);

  // Bytes not yet handed to JACK, counting only what senders gave.
  std::size_t queuedBytes() const { return queuedBytes_.load(std::memory_order_acquire); }
  // Polls until everything was handed to JACK; false on timeout or when abandoned.
  bool waitUntilEmpty(std::chrono::milliseconds timeout) const;
  // Drops everything queued before this call, at the next drain; returns the bytes dropped.
  std::size_t discardQueued();

 private:
  static constexpr std::size_t kHeaderBytes = sizeof(std::uint32_t);

  // The process thread: reads the next record's header.
  void startMessage();

  ByteRing ring_;
  const std::size_t maxMessage_;
  std::mutex pushMutex_;
  std::atomic<bool> abandoned_{false};
  std::atomic<std::size_t> queuedBytes_{0};
  std::atomic<std::size_t> discardUpTo_{0};  // a ring write position; 0 = nothing to discard
  // The process thread's own: what is left of the message being sent, and its whole size.
  std::size_t remaining_ = 0;
  std::size_t messageSize_ = 0;
};

}  // namespace banklore
