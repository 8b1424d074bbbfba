// What every harness needs: checks that stop the run with a message (libFuzzer then keeps the
// input as a crash), a scratch folder on a memory file system for the files the code under test
// reads and writes, and libFuzzer's FuzzedDataProvider.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace banklore::fuzz {

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] inline void failed(const char* check, const char* file, int line,
                                const std::string& detail) {
  std::fprintf(stderr, "\nInvariant broken at %s:%d: %s\n%s\n", file, line, check, detail.c_str());
  std::abort();
}

// An invariant of the code under test: false aborts, and libFuzzer saves the input.
#define FUZZ_CHECK(condition) \
  ((condition) ? void() : ::banklore::fuzz::failed(#condition, __FILE__, __LINE__, {}))
#define FUZZ_CHECK_MSG(condition, detail) \
  ((condition) ? void() : ::banklore::fuzz::failed(#condition, __FILE__, __LINE__, (detail)))

// "f0 7d 03" for diagnostics.
inline std::string hex(std::span<const std::uint8_t> bytes, std::size_t limit = 64) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < bytes.size() && i < limit; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += byte;
  }
  if (bytes.size() > limit) text += " ...";
  return text;
}

// One folder per process under /dev/shm (files there cost no disk syncs), removed at exit; a
// crashed run leaves it behind, and scripts/fuzz clears those.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    path_ = std::string(base) + "/banklore-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(path_.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline ScratchDir& scratch() {
  static ScratchDir dir;
  return dir;
}

inline void writeFile(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) failed("writeFile", __FILE__, __LINE__, path);
}

inline void writeFile(const std::string& path, std::string_view text) {
  writeFile(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace banklore::fuzz
