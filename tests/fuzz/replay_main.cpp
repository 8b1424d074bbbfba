// Runs a fuzz harness without libFuzzer, as an ordinary test: every file of the folders named on
// the command line (the seeds, and real dumps where they are present), then a number of random
// inputs from a fixed generator. The inputs the seeds hold thus need no twin among the example
// tests, and any broken invariant fails the suite, not only a fuzzing session.
//
//   fuzz_replay_<target> [--random N] [--seed S] FOLDER_OR_FILE...
#include <signal.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

// The input being run, for the report when a check or a sanitizer aborts.
const std::vector<std::uint8_t>* current = nullptr;
char currentName[512] = "";

void writeAll(const char* text, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(STDERR_FILENO, text, length);
    if (written <= 0) return;
    text += written;
    length -= static_cast<std::size_t>(written);
  }
}

// Only async-signal-safe calls: the process is dying.
void reportAndDie(int signal) {
  static const char digits[] = "0123456789abcdef";
  writeAll("\nfuzz replay: failed on ", 24);
  std::size_t nameLength = 0;
  while (currentName[nameLength] != '\0') ++nameLength;
  writeAll(currentName, nameLength);
  writeAll("\ninput (hex):", 13);
  if (current != nullptr) {
    for (std::uint8_t byte : *current) {
      const char text[3] = {' ', digits[byte >> 4], digits[byte & 0x0F]};
      writeAll(text, 3);
    }
  }
  writeAll("\n", 1);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

bool run(const std::vector<std::uint8_t>& input, const std::string& name) {
  current = &input;
  std::snprintf(currentName, sizeof currentName, "%s", name.c_str());
  LLVMFuzzerTestOneInput(input.data(), input.size());
  current = nullptr;
  return true;
}

bool runFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "fuzz replay: cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<std::uint8_t> input{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};
  return run(input, path.string());
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGABRT, reportAndDie);
  ::signal(SIGSEGV, reportAndDie);
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

  long randomCount = 0;
  unsigned long seed = 1;
  std::size_t files = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--random" && i + 1 < argc) {
      randomCount = std::strtol(argv[++i], nullptr, 10);
      continue;
    }
    if (argument == "--seed" && i + 1 < argc) {
      seed = std::strtoul(argv[++i], nullptr, 10);
      continue;
    }
    const std::filesystem::path path = argument;
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
      for (const auto& entry : std::filesystem::recursive_directory_iterator(path, error)) {
        if (!entry.is_regular_file()) continue;
        if (!runFile(entry.path())) return 1;
        ++files;
      }
    } else if (std::filesystem::exists(path, error)) {
      if (!runFile(path)) return 1;
      ++files;
    } else {
      std::fprintf(stderr, "fuzz replay: no such file or folder %s\n", argument.c_str());
      return 1;
    }
  }
  if (files == 0) {
    std::fprintf(stderr, "fuzz replay: no input files: a missing seed folder would pass unseen\n");
    return 1;
  }

  // Random inputs: mostly short, some up to 4 KiB, as libFuzzer's first rounds are.
  std::mt19937_64 generator(seed);
  std::vector<std::uint8_t> input;
  for (long n = 0; n < randomCount; ++n) {
    const std::size_t size = generator() % (n % 8 == 7 ? 4096 : 256);
    input.resize(size);
    for (std::uint8_t& byte : input) byte = static_cast<std::uint8_t>(generator());
    run(input, "random input " + std::to_string(n) + " of seed " + std::to_string(seed));
  }
  std::printf("fuzz replay: %zu files and %ld random inputs passed\n", files, randomCount);
  return 0;
}
