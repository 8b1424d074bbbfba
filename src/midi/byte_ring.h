// A fixed-size ring of bytes between exactly one writing and one reading thread, without locks or
// allocation after construction, so either side may be JACK's real-time process thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace banklore {

class ByteRing {
 public:
  // The capacity is rounded up to a power of two. The memory is touched here, so the real-time
  // side never takes a page fault on it.
  explicit ByteRing(std::size_t capacity);
  ByteRing(const ByteRing&) = delete;
  ByteRing& operator=(const ByteRing&) = delete;

  std::size_t capacity() const { return bytes_.size(); }

  // Writer side. The parts are stored one after the other and become readable together, or
  // nothing is stored when they do not fit.
  bool write(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second = {});
  std::size_t writable() const;
  // Everything ever written, as a position the reader can be told to skip to.
  std::size_t writePosition() const { return head_.load(std::memory_order_acquire); }

  // Reader side. `peek` copies without consuming and needs `offset + out.size() <= readable()`;
  // `read` and `skip` consume (at most what is readable).
  std::size_t readable() const;
  void peek(std::span<std::uint8_t> out, std::size_t offset = 0) const;
  std::size_t read(std::span<std::uint8_t> out);
  void skip(std::size_t count);
  std::size_t readPosition() const { return tail_.load(std::memory_order_acquire); }

 private:
  void copyIn(std::size_t at, std::span<const std::uint8_t> from);
  void copyOut(std::size_t at, std::span<std::uint8_t> to) const;

  std::vector<std::uint8_t> bytes_;
  std::size_t mask_;
  // Running totals, never wrapped: their difference is what is stored.
  alignas(64) std::atomic<std::size_t> head_{0};  // written by the writer only
  alignas(64) std::atomic<std::size_t> tail_{0};  // written by the reader only
};

}  // namespace banklore
