#include "app/audition_player.h"

#include <utility>
#include <vector>

#include "core/audition.h"

namespace banklore {

AuditionPlayer::AuditionPlayer(UiClock& clock) : clock_(clock) {}

AuditionPlayer::~AuditionPlayer() {
  cancel();
}

AuditionPlayer::Outcome AuditionPlayer::play(InstrumentDefinition& definition, SysExSender& port,
                                             const Patch& patch, std::int32_t slot,
                                             int deviceIndex) {
  if (definition.Audition().empty()) return Outcome::NoAudition;
  if (!patch.isValid()) return Outcome::NoPatch;
  definition.selectDevice(deviceIndex);
  definition.selectSlot(slot);
  const std::vector<std::uint8_t> message =
      auditionMessage(definition, definition.Audition(), patch.bytes());
  if (message.empty()) return Outcome::NoPatch;
  return port.SendSysEx(message.data(), message.size()) ? Outcome::Played : Outcome::NotSent;
}

void AuditionPlayer::playWhenRested(std::function<void()> play) {
  clock_.startTimer(kRestTimer, kRestMs, false, std::move(play));
}

void AuditionPlayer::cancel() {
  clock_.stopTimer(kRestTimer);
}

}  // namespace banklore
