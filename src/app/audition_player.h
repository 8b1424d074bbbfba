// Hearing a patch without storing it: one patch sent to the instrument's edit buffer through the
// section's Audition header, at once or, for walking a bank by ear, once the cursor has rested on
// a slot for a moment. Touches no bank and no instrument memory; knows neither the window nor Qt.
#pragma once

#include <cstdint>
#include <functional>

#include "app/ui_clock.h"
#include "core/instrument_definition.h"
#include "core/patch.h"
#include "core/sysex_sender.h"

namespace banklore {

class AuditionPlayer {
 public:
  // How long the cursor must rest on a slot before it plays: long enough that holding an arrow
  // key down does not flood the instrument, short enough to feel immediate.
  static constexpr std::uint32_t kRestMs = 150;
  static constexpr int kRestTimer = 6;

  enum class Outcome {
    Played,
    NoAudition,  // the definition has no Audition header
    NoPatch,     // the slot holds no valid patch: nothing goes out
    NotSent,     // the MIDI output did not take it
  };

  explicit AuditionPlayer(UiClock& clock);
  ~AuditionPlayer();
  AuditionPlayer(const AuditionPlayer&) = delete;
  AuditionPlayer& operator=(const AuditionPlayer&) = delete;

  // Sends `patch`, the patch of `slot`, to the edit buffer of the device `deviceIndex` names.
  // Leaves the definition addressing that device and slot, as a send does.
  static Outcome play(InstrumentDefinition& definition, SysExSender& port, const Patch& patch,
                      std::int32_t slot, int deviceIndex);

  // Runs `play` once kRestMs have passed without another call; a new call replaces the waiting
  // one, so only the slot the cursor stops on is heard.
  void playWhenRested(std::function<void()> play);
  void cancel();

 private:
  UiClock& clock_;
};

}  // namespace banklore
