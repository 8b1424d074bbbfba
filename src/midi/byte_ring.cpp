#include "midi/byte_ring.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace banklore {

ByteRing::ByteRing(std::size_t capacity)
    : bytes_(std::bit_ceil(std::max<std::size_t>(capacity, 2))), mask_(bytes_.size() - 1) {}

bool ByteRing::write(std::span<const std::uint8_t> first, std::span<const std::uint8_t> second) {
  const std::size_t head = head_.load(std::memory_order_relaxed);
  const std::size_t tail = tail_.load(std::memory_order_acquire);
  if (first.size() + second.size() > capacity() - (head - tail)) return false;
  copyIn(head, first);
  copyIn(head + first.size(), second);
  head_.store(head + first.size() + second.size(), std::memory_order_release);
  return true;
}

std::size_t ByteRing::writable() const {
  return capacity() -
         (head_.load(std::memory_order_relaxed) - tail_.load(std::memory_order_acquire));
}

std::size_t ByteRing::readable() const {
  return head_.load(std::memory_order_acquire) - tail_.load(std::memory_order_relaxed);
}

void ByteRing::peek(std::span<std::uint8_t> out, std::size_t offset) const {
  copyOut(tail_.load(std::memory_order_relaxed) + offset, out);
}

std::size_t ByteRing::read(std::span<std::uint8_t> out) {
  const std::size_t count = std::min(out.size(), readable());
  copyOut(tail_.load(std::memory_order_relaxed), out.first(count));
  tail_.fetch_add(count, std::memory_order_release);
  return count;
}

void ByteRing::skip(std::size_t count) {
  tail_.fetch_add(std::min(count, readable()), std::memory_order_release);
}

void ByteRing::copyIn(std::size_t at, std::span<const std::uint8_t> from) {
  const std::size_t start = at & mask_;
  const std::size_t before = std::min(from.size(), capacity() - start);
  if (from.empty()) return;
  std::memcpy(bytes_.data() + start, from.data(), before);
  std::memcpy(bytes_.data(), from.data() + before, from.size() - before);
}

void ByteRing::copyOut(std::size_t at, std::span<std::uint8_t> to) const {
  const std::size_t start = at & mask_;
  const std::size_t before = std::min(to.size(), capacity() - start);
  if (to.empty()) return;
  std::memcpy(to.data(), bytes_.data() + start, before);
  std::memcpy(to.data() + before, bytes_.data(), to.size() - before);
}

}  // namespace banklore
