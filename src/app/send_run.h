// "Send Selected": sends a list of slots' patches to the instrument, each addressed to the slot it
// occupies, with a pause after each. Runs on one thread (the UI thread) between timer ticks, so the
// window keeps painting; the observer is asked before each patch whether to stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "app/transfer_observer.h"
#include "app/ui_clock.h"
#include "core/instrument_definition.h"
#include "core/patch.h"

namespace banklore {

class SendRun {
 public:
  static constexpr int kPauseTimer = 5;

  SendRun(UiClock& clock, TransferObserver& observer);
  ~SendRun();
  SendRun(const SendRun&) = delete;
  SendRun& operator=(const SendRun&) = delete;

  // Sends the patches of `slots` (ascending) of `bank`, the first at once; nothing for no slots.
  // Each goes to the device `deviceIndex` names. The definition and the bank must stay unchanged
  // until the run is over.
  void start(InstrumentDefinition& definition, std::vector<Patch>& bank, std::vector<int> slots,
             int deviceIndex, std::uint32_t sendDelayMs);
  // Ends a running send at once, reporting what was sent, as a stop before the next patch would.
  void stop();

  bool active() const { return active_; }
  // What the last run did: patches that went out, slots without a valid patch, patches the MIDI
  // output refused.
  long sentCount() const { return sent_; }
  long skippedCount() const { return skipped_; }
  long refusedCount() const { return refused_; }

 private:
  void next();
  void finish(bool stopped);

  UiClock& clock_;
  TransferObserver& observer_;
  InstrumentDefinition* definition_ = nullptr;
  std::vector<Patch>* bank_ = nullptr;
  std::vector<int> slots_;
  std::size_t position_ = 0;
  int deviceIndex_ = 0;
  std::uint32_t sendDelayMs_ = 0;
  bool active_ = false;
  long sent_ = 0;
  long skipped_ = 0;  // slots without a valid patch
  long refused_ = 0;  // patches the MIDI output did not take
};

}  // namespace banklore
