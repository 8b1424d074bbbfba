// Finding the instrument: MIDI's identity request sent on every output in turn, with a quiet time
// after each, while every input listens. A reply tells which output reached an instrument, which
// input it answers on, its device byte and which definition section describes it (the section's
// `Identity=` pattern). Runs on the UI thread in steps of the clock, so the window keeps painting;
// knows neither the window nor Qt.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/ui_clock.h"
#include "core/identity.h"
#include "midi/midi_backend.h"

namespace banklore {

// A section of the definition file that takes part: it has a valid `Identity=` key.
struct IdentitySection {
  std::string name;
  std::vector<int> pattern;                 // see parseIdentityPattern
  std::vector<std::uint8_t> deviceIdBytes;  // the section's DeviceIDBytes, by index
};

// The sections of `idfPath` with an `Identity=` key, in file order.
std::vector<IdentitySection> identitySections(const std::string& idfPath);

struct DetectedInstrument {
  std::string section;        // the first section whose pattern matches; empty when none does
  std::string input, output;  // the port it answered on, the port that reached it
  int deviceIndex = -1;  // the reply's device byte in the section's DeviceIDBytes; -1: not there
  IdentityReply reply;
};

class DetectionRun {
 public:
  using BackendFactory = std::function<std::unique_ptr<MidiBackend>()>;
  // Called once on the UI thread with what answered, in the order found, and how many outputs
  // the request went out on.
  using Done = std::function<void(std::vector<DetectedInstrument> found, int outputsTried)>;

  static constexpr std::uint32_t kQuietMs = 150;  // after each request: 16 outputs in 2.4 s

  DetectionRun(BackendFactory makeBackend, UiClock& clock, std::vector<IdentitySection> sections,
               int timerId, std::uint32_t quietMs = kQuietMs);
  ~DetectionRun();
  DetectionRun(const DetectionRun&) = delete;
  DetectionRun& operator=(const DetectionRun&) = delete;

  void start(Done done);
  bool running() const { return running_; }

 private:
  struct Heard {
    std::string input;
    std::vector<std::uint8_t> message;
  };
  void probeNext();
  void takeWhatWasHeard();
  void finish();

  BackendFactory makeBackend_;
  UiClock& clock_;
  std::vector<IdentitySection> sections_;
  int timerId_;
  std::uint32_t quietMs_;
  Done done_;
  bool running_ = false;
  std::vector<std::string> outputs_;
  std::size_t next_ = 0;  // the output probed next; next_ - 1 is the one whose quiet time runs
  int tried_ = 0;
  std::vector<DetectedInstrument> found_;
  // Filled on the inputs' threads, emptied on the UI thread at the end of each quiet time.
  std::mutex heardMutex_;
  std::vector<Heard> heard_;
  // Declared last: closed first, so no handler runs once the rest is gone.
  std::unique_ptr<MidiBackend> output_;
  std::vector<std::unique_ptr<MidiBackend>> listeners_;
};

}  // namespace banklore
