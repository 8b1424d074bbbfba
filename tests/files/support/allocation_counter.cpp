// Kept in its own file: where the replaced operators are visible to callers, GCC warns falsely
// about new/free mismatches.
#include "files/support/allocation_counter.h"

#include <cstdlib>
#include <new>

namespace banklore::testing {
std::atomic<std::size_t> largestAllocation{0};
}  // namespace banklore::testing

void* operator new(std::size_t size) {
  auto& largest = banklore::testing::largestAllocation;
  std::size_t seen = largest.load();
  while (size > seen && !largest.compare_exchange_weak(seen, size)) {
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
  std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
  std::free(memory);
}
