// How long loading a full bank from a Standard MIDI File takes: 4,096 SysEx events of 295 bytes
// (the store's capacity), written once in set-up and read per iteration.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "files/midi_file.h"

namespace banklore {
namespace {

constexpr int kMessages = MidiFileReader::kCapacity;
constexpr std::size_t kMessageSize = 295;

class FullBankFile : public benchmark::Fixture {
 public:
  void SetUp(const benchmark::State&) override {
    char pattern[] = "/tmp/banklore-bench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) return;
    ::close(fd);
    path_ = pattern;
    std::vector<std::uint8_t> message(kMessageSize);
    MidiFileWriter writer;
    ok_ = writer.Open(path_, 96);
    for (int i = 0; i < kMessages && ok_; ++i) {
      for (std::size_t b = 1; b + 1 < kMessageSize; ++b) message[b] = (b + i) & 0x7F;
      message.front() = 0xF0;
      message.back() = 0xF7;
      ok_ = writer.WriteSysEx(message, i == 0 ? 0 : 96);
    }
    ok_ = writer.Close() && ok_;
  }
  void TearDown(const benchmark::State&) override {
    if (!path_.empty()) ::unlink(path_.c_str());
    path_.clear();
  }

 protected:
  std::string path_;
  bool ok_ = false;
};

BENCHMARK_DEFINE_F(FullBankFile, Read)(benchmark::State& state) {
  if (!ok_) {
    state.SkipWithError("could not write the benchmark file");
    return;
  }
  for (auto _ : state) {
    MidiFileReader reader;
    const bool read = reader.Read(path_);
    benchmark::DoNotOptimize(read);
    if (!read || reader.messageCount() != kMessages) {
      state.SkipWithError("reading the file failed");
      return;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kMessages) *
                          (kMessageSize + 3));
  state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK_REGISTER_F(FullBankFile, Read)->Unit(benchmark::kMillisecond);

BENCHMARK_DEFINE_F(FullBankFile, Write)(benchmark::State& state) {
  std::vector<std::uint8_t> message(kMessageSize, 0x11);
  message.front() = 0xF0;
  message.back() = 0xF7;
  for (auto _ : state) {
    MidiFileWriter writer;
    bool ok = writer.Open(path_, 96);
    for (int i = 0; i < kMessages; ++i) ok = writer.WriteSysEx(message, 96) && ok;
    ok = writer.Close() && ok;
    if (!ok) {
      state.SkipWithError("writing the file failed");
      return;
    }
  }
  state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK_REGISTER_F(FullBankFile, Write)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore
