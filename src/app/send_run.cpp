#include "app/send_run.h"

#include <algorithm>
#include <string>
#include <utility>

#include "app/text_format.h"

namespace banklore {
namespace {

constexpr std::size_t kTextCapacity = 256;

}  // namespace

SendRun::SendRun(UiClock& clock, TransferObserver& observer) : clock_(clock), observer_(observer) {}

SendRun::~SendRun() {
  clock_.stopTimer(kPauseTimer);
}

void SendRun::start(InstrumentDefinition& definition, std::vector<Patch>& bank,
                    std::vector<int> slots, int deviceIndex, std::uint32_t sendDelayMs) {
  if (active_) return;  // one run at a time; nothing interleaves with it
  std::erase_if(slots, [&](int slot) { return slot < 0 || std::size_t(slot) >= bank.size(); });
  if (slots.empty()) return;
  definition_ = &definition;
  bank_ = &bank;
  slots_ = std::move(slots);
  position_ = 0;
  deviceIndex_ = deviceIndex;
  sendDelayMs_ = sendDelayMs;
  sent_ = skipped_ = refused_ = 0;
  active_ = true;
  observer_.beginProgress("Sending patches...", static_cast<int>(slots_.size()));
  next();
}

void SendRun::stop() {
  if (active_) finish(true);
}

void SendRun::next() {
  // Slots that send nothing are passed in one go; only a patch that went out is followed by the
  // pause (the last one too), in which the window gets its turn.
  while (active_) {
    if (position_ == slots_.size()) {
      finish(false);
      return;
    }
    // Asked before every patch, the first included.
    if (observer_.stopWanted()) {
      finish(true);
      return;
    }
    const int slot = slots_[position_++];
    Patch& patch = (*bank_)[static_cast<std::size_t>(slot)];
    bool wentOut = false;
    if (!patch.isValid()) {
      // A placeholder or damaged message would be stored by the instrument over a real sound.
      ++skipped_;
    } else {
      // Stamped with the device chosen now: after Setup changed it, a patch not edited since
      // would otherwise still go to the old device.
      patch.setDeviceId(deviceIndex_);
      wentOut = patch.send(slot);
      ++(wentOut ? sent_ : refused_);
      if (wentOut) observer_.patchSent(slot);
    }
    observer_.stepProgress();
    if (wentOut) {
      clock_.startTimer(kPauseTimer, sendDelayMs_, false, [this] { next(); });
      return;
    }
  }
}

void SendRun::finish(bool stopped) {
  active_ = false;
  clock_.stopTimer(kPauseTimer);
  const long k = static_cast<long>(slots_.size());
  std::string text = formatText(kTextCapacity, "%ld patches sent", sent_);
  if (stopped) text += formatText(kTextCapacity, " (%ld%s)", sent_ * 100 / k, "%");
  if (skipped_ > 0) {
    text +=
        formatText(kTextCapacity, ", %ld empty slot%s skipped", skipped_, skipped_ == 1 ? "" : "s");
  }
  if (refused_ > 0) text += formatText(kTextCapacity, ", %ld refused by the MIDI output", refused_);
  observer_.finishStatus(text + ".");
  observer_.beep();
}

}  // namespace banklore
