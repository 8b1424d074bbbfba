// Finding the instrument as banklore-cli detect and the Setup dialog do: the identity request on
// 16 outputs of the in-process MIDI registry, one of which reaches the virtual synth, on a real
// clock with the default quiet time after each request. Reported: the wall time of one whole
// detection (it has to stay under 3 s for 16 outputs) and how many instruments it found.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

#include "app/detection_run.h"
#include "app/event_loop.h"
#include "core/instrument_definition.h"
#include "loopback_synth.h"
#include "midi/loopback_backend.h"

namespace banklore::bench {
namespace {

constexpr int kOutputs = 16;
constexpr int kDetectTimer = 1;

void BM_DetectAmong16Outputs(benchmark::State& state) {
  loopback::reset();
  // Devices that hear the request and say nothing, as most of a studio does.
  for (int i = 1; i < kOutputs; ++i) loopback::addPort("Desk " + std::to_string(i));
  const InstrumentDefinition definition(BANKLORE_IDF, "Virtual", nullptr);
  VirtualSynth synth(definition);
  // The Virtual section's identity, version 00 00 00 00.
  synth.setIdentity({0x7D, 0x42, 0x4C, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
  const LoopbackSynth instrument(std::move(synth));
  const std::vector<IdentitySection> sections = identitySections(BANKLORE_IDF);
  std::size_t found = 0;
  int tried = 0;
  for (auto _ : state) {
    EventLoop loop;
    DetectionRun detection(makeLoopbackBackend, loop, sections, kDetectTimer);
    const auto start = std::chrono::steady_clock::now();
    detection.start([&](std::vector<DetectedInstrument> f, int t) { found = f.size(), tried = t; });
    loop.runUntil([&] { return !detection.running(); }, std::chrono::minutes(1));
    state.SetIterationTime(
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  state.counters["outputs"] = tried;
  state.counters["found"] = static_cast<double>(found);
  state.counters["quiet_ms"] = DetectionRun::kQuietMs;
}
BENCHMARK(BM_DetectAmong16Outputs)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace banklore::bench
