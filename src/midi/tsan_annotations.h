// JACK hands a port buffer from the client that writes it to the clients that read it through its
// process graph, which the server drives with futexes in shared memory: ThreadSanitizer cannot see
// that order and would report the buffer's bytes as racing between the clients' process threads.
// Each process callback therefore takes its port buffers over at its start and hands them on at its
// end. This orders the process threads on those buffers only, so every other race stays visible.
// The calls do nothing outside a ThreadSanitizer build.
#pragma once

#if defined(__SANITIZE_THREAD__)
#define BANKLORE_UNDER_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define BANKLORE_UNDER_TSAN 1
#endif
#endif

#ifdef BANKLORE_UNDER_TSAN
extern "C" void __tsan_acquire(void* address);
extern "C" void __tsan_release(void* address);
#endif

namespace banklore {

// At the start of a process cycle, for each port buffer it reads or writes.
inline void takeOverJackBuffer([[maybe_unused]] void* buffer) {
#ifdef BANKLORE_UNDER_TSAN
  if (buffer != nullptr) __tsan_acquire(buffer);
#endif
}

// At the end of that cycle, for the same buffers.
inline void handOnJackBuffer([[maybe_unused]] void* buffer) {
#ifdef BANKLORE_UNDER_TSAN
  if (buffer != nullptr) __tsan_release(buffer);
#endif
}

}  // namespace banklore
