#include "cli_detect.h"

#include <chrono>
#include <cstdio>

#include "app/detection_run.h"
#include "app/event_loop.h"
#include "cli_report.h"
#include "midi/midi_backend.h"

namespace banklore {
namespace {

constexpr int kDetectTimer = 1;

}  // namespace

DetectCommand::DetectCommand(CLI::App& app)
    : command_(app.add_subcommand("detect", "Find instruments by the MIDI identity request")),
      timeoutMs_(static_cast<int>(DetectionRun::kQuietMs)) {
  command_->add_option("--timeout", timeoutMs_, "Milliseconds to wait for answers per output")
      ->check(CLI::Range(1, 60000))
      ->capture_default_str();
}

int DetectCommand::run(const std::string& idf) const {
  EventLoop loop;
  DetectionRun detection(makeSystemMidiBackend, loop, identitySections(idf), kDetectTimer,
                         static_cast<std::uint32_t>(timeoutMs_));
  std::vector<DetectedInstrument> found;
  int tried = 0;
  detection.start(
      [&](std::vector<DetectedInstrument> f, int t) { found = std::move(f), tried = t; });
  loop.runUntil([&] { return !detection.running(); }, std::chrono::hours(1));
  bool matched = false;
  for (const DetectedInstrument& d : found) {
    matched = matched || !d.section.empty();
    const std::string section = d.section.empty() ? "? " + hex(d.reply.bytes) : d.section;
    const std::string device = d.deviceIndex >= 0 ? std::to_string(d.deviceIndex) : "?";
    std::printf("%s\tMidiIN=%s\tMidiOUT=%s\tDeviceID=%s\n", section.c_str(), d.input.c_str(),
                d.output.c_str(), device.c_str());
  }
  if (found.empty()) {
    std::fprintf(stderr,
                 "banklore-cli: No instrument answered the identity request on %d outputs. Some "
                 "instruments, older ones above all, do not answer it: choose the ports by hand.\n",
                 tried);
  }
  return matched ? 0 : 1;
}

}  // namespace banklore
