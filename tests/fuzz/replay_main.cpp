// Runs a fuzz harness without libFuzzer, as an ordinary test: every file of the folders named on
// the command line (the seeds, and real dumps where they are present), then a number of random
// inputs from a fixed generator. The inputs the seeds hold thus need no twin among the example
// tests, and any broken invariant fails the suite, not only a fuzzing session.
//
//   fuzz_replay_<target> [--random N] FOLDER_OR_FILE...
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

// The input being run, told when a check or a sanitizer aborts: with it the failure replays.
std::vector<std::uint8_t> current;
std::string report;

void reportAndDie(int signal) {
  // Only write(2) here: the report was made ready before the input ran.
  if (::write(STDERR_FILENO, report.data(), report.size()) < 0) _exit(1);
  ::signal(signal, SIG_DFL);
  ::raise(signal);
}

void run(const std::string& name) {
  report = "\nfuzz replay: failed on " + name + "\ninput (hex):";
  char byte[4];
  for (std::uint8_t b : current) report.append(byte, std::snprintf(byte, sizeof byte, " %02x", b));
  report += "\n";
  LLVMFuzzerTestOneInput(current.data(), current.size());
}

void runFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  current.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  run(path.string());
}

}  // namespace

int main(int argc, char** argv) {
  ::signal(SIGABRT, reportAndDie);
  ::signal(SIGSEGV, reportAndDie);
  if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

  long randomCount = 0;
  std::size_t files = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--random" && i + 1 < argc) {
      randomCount = std::strtol(argv[++i], nullptr, 10);
      continue;
    }
    std::error_code error;
    std::vector<std::filesystem::path> paths = {argument};
    if (std::filesystem::is_directory(argument, error)) {
      paths.clear();
      for (const auto& entry : std::filesystem::recursive_directory_iterator(argument, error))
        if (entry.is_regular_file()) paths.push_back(entry.path());
    } else if (!std::filesystem::is_regular_file(argument, error)) {
      std::fprintf(stderr, "fuzz replay: no input file %s\n", argument.c_str());
      return 1;
    }
    for (const auto& path : paths) runFile(path);
    files += paths.size();
  }
  if (files == 0) {
    std::fprintf(stderr, "fuzz replay: no input files: a missing seed folder would pass unseen\n");
    return 1;
  }
  // Random inputs: mostly short, some up to 4 KiB, as libFuzzer's first rounds are.
  std::mt19937_64 generator(1);
  for (long n = 0; n < randomCount; ++n) {
    current.resize(generator() % (n % 8 == 7 ? 4096 : 256));
    for (std::uint8_t& byte : current) byte = static_cast<std::uint8_t>(generator());
    run("random input " + std::to_string(n));
  }
  std::printf("fuzz replay: %zu files and %ld random inputs passed\n", files, randomCount);
  return 0;
}
