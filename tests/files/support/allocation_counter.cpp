// Kept in its own file: where the replaced operators are visible to callers, GCC warns falsely
// about new/free mismatches.
#include <atomic>
#include <cstdlib>
#include <new>

namespace banklore {
std::atomic<std::size_t> largestAllocation{0};
}  // namespace banklore

void* operator new(std::size_t size) {
  std::size_t seen = banklore::largestAllocation.load();
  while (size > seen && !banklore::largestAllocation.compare_exchange_weak(seen, size)) {
  }
  if (void* memory = std::malloc(size == 0 ? 1 : size)) return memory;
  throw std::bad_alloc();
}
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
