#include "app/request_run.h"

#include <algorithm>
#include <utility>

#include "app/text_format.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

constexpr std::size_t kTextCapacity = 1024;
constexpr const char* kNegativeSlotText =
    "Unable to store sound to a location < 0, maybe error in instrument definition?";

// How long the message in `bytes` is: up to and including its first F7, or all of it.
std::size_t messageLengthOf(std::span<const std::uint8_t> bytes) {
  const auto end = std::find(bytes.begin() + (bytes.empty() ? 0 : 1), bytes.end(), 0xF7);
  return end == bytes.end() ? bytes.size() : static_cast<std::size_t>(end - bytes.begin()) + 1;
}

}  // namespace

RequestRun::RequestRun(UiClock& clock, TransferObserver& observer)
    : clock_(clock), observer_(observer) {}

RequestRun::~RequestRun() {
  clock_.stopTimer(kPauseTimer);
  clock_.stopTimer(kWatchdogTimer);
}

void RequestRun::start(InstrumentDefinition& definition, std::vector<Patch>& bank,
                       std::vector<int> slots, int deviceIndex, std::uint32_t requestDelayMs) {
  abort();
  // Only slots of the bank can be awaited or stored.
  std::erase_if(slots, [&](int slot) { return slot < 0 || std::size_t(slot) >= bank.size(); });
  if (slots.empty()) return;
  definition_ = &definition;
  bank_ = &bank;
  deviceIndex_ = deviceIndex;
  requestDelayMs_ = requestDelayMs;
  observer_.beginProgress("Receiving patches...", static_cast<int>(slots.size()));
  state_ = RequestState{};
  state_.requestActive = true;
  state_.pendingSlots = std::move(slots);
  ++generation_;
  requestAwaited();
  clock_.startTimer(kWatchdogTimer, kWatchdogPeriodMs, true, [this] { watchdogTick(); });
}

void RequestRun::onMessage(std::span<const std::uint8_t> bytes) {
  // Short messages (and anything not starting a SysEx message) never answer a request.
  if (bytes.empty() || bytes[0] != 0xF0) return;
  WriteLog(LogPath(), "MidiInCallback()\n");
  if (!state_.requestActive) return;  // an unsolicited dump is not stored
  if (paused_) {
    deferred_.emplace_back(bytes.begin(), bytes.end());
    return;
  }
  handlePacket(bytes);
}

void RequestRun::onInputError() {
  WriteLog(LogPath(), "MidiInERRORCallback()\n");
  if (!state_.requestActive) return;
  if (paused_) {
    deferred_.emplace_back();
    return;
  }
  handleInputError();
}

bool RequestRun::abort() {
  if (!state_.requestActive) return false;
  state_.requestActive = false;
  paused_ = false;
  deferred_.clear();
  clock_.stopTimer(kPauseTimer);
  clock_.stopTimer(kWatchdogTimer);
  ++generation_;
  observer_.showStatus("Request aborted.");
  return true;
}

void RequestRun::handle(const Event& event) {
  if (event.empty()) {
    handleInputError();
  } else {
    handlePacket(event);
  }
}

Patch& RequestRun::awaitedPatch() {
  return (*bank_)[static_cast<std::size_t>(awaitedSlot())];
}

bool RequestRun::validSlot(long slot) const {
  return slot >= 0 && static_cast<std::size_t>(slot) < bank_->size();
}

bool RequestRun::arrivedBefore(int slot) const {
  const auto arrived =
      state_.pendingSlots.begin() + static_cast<std::ptrdiff_t>(state_.currentPending);
  return std::find(state_.pendingSlots.begin(), arrived, slot) != arrived;
}

void RequestRun::handlePacket(std::span<const std::uint8_t> bytes) {
  const int awaited = awaitedSlot();
  if (!awaitedPatch().isValid(bytes)) {
    awaitedPatch().setName(kBadPacketName);
    observer_.showStatus("Packet error, retrying patch...");
    observer_.slotChanged(awaited, false);
    ++state_.misfitCount;
    lastMisfit_ = misfitText(bytes, -1);
    afterPacket(true);
    return;
  }

  Patch received(*definition_);
  received.loadBytes(bytes);
  // What the header does not name (the bank, or the whole slot) is the awaited slot's.
  const long slot = definition_->patchNumberOf(received.bytes(), awaited);
  if (!validSlot(slot)) {
    const std::string text =
        slot < 0 ? std::string(kNegativeSlotText)
                 : formatText(kTextCapacity,
                              "Unable to store sound to location %ld, beyond the last slot (%ld), "
                              "maybe error in instrument definition?",
                              slot, static_cast<long>(bank_->size()) - 1);
    WriteLog(LogPath(), "%s\n", text.c_str());
    end(text, "Request completed.", true);
    return;
  }
  (*bank_)[static_cast<std::size_t>(slot)].loadBytes(received.bytes());
  observer_.patchStored(static_cast<int>(slot));
  observer_.showStatus(formatText(kTextCapacity, "Got patch %ld", slot));
  WriteLog(LogPath(), "Got patch %ld\n", slot);
  observer_.slotChanged(static_cast<int>(slot), true);
  // A second answer for a slot that arrived already in this run answers an earlier repeat of
  // its request (after a timeout or a bad packet). Asking again for the awaited slot then would
  // leave one more request in flight for every such answer: on a noisy line they pile up until
  // the answers in flight alone end the request.
  if (slot != awaited && arrivedBefore(static_cast<int>(slot))) return;
  if (slot != awaited) {
    // Stored all the same; the awaited slot is asked for again.
    ++state_.misfitCount;
    lastMisfit_ = misfitText(bytes, slot);
    afterPacket(false);
    return;
  }
  observer_.stepProgress();
  state_.misfitCount = 0;
  if (++state_.currentPending == state_.pendingSlots.size()) {
    end("", "Request completed.", true);
    return;
  }
  afterPacket(false);
}

void RequestRun::afterPacket(bool badPacket) {
  if (state_.misfitCount >= kMaxMisfits) {
    // An instrument that keeps answering with something else will not change its mind.
    const std::string text = formatText(
        kTextCapacity,
        "Slot %s did not arrive: the instrument answered %d times in a row with something else. "
        "Last answer: %s. Check that the instrument definition and the device ID match the "
        "instrument.",
        definition_->patchLabel(awaitedSlot()).c_str(), state_.misfitCount, lastMisfit_.c_str());
    WriteLog(LogPath(), "%s\n", text.c_str());
    end(text, "Ready.", false);
    return;
  }
  state_.retryCount = 0;
  // After a bad packet the pause comes twice: the instrument may still be sending.
  pauseThen(badPacket ? 2 * requestDelayMs_ : requestDelayMs_, [this] { requestAwaited(); });
}

void RequestRun::handleInputError() {
  // The watchdog asks again when the awaited slot's time runs out.
  awaitedPatch().setName(kBadPacketName);
  observer_.slotChanged(awaitedSlot(), false);
  pauseThen(requestDelayMs_, [] {});
}

void RequestRun::watchdogTick() {
  // While a request waits for its pause, nothing has been asked yet that could time out.
  if (!state_.requestActive || paused_) return;
  if (clock_.nowMs() - state_.lastActivityTime <= kAnswerTimeoutMs) return;
  ++state_.retryCount;
  pauseThen(requestDelayMs_, [this] {
    requestAwaited();
    // The last timeout still asks once more; the box follows that request.
    if (state_.retryCount >= kMaxTimeouts) end("Receive Timeout!", "Ready.", false);
  });
}

void RequestRun::requestAwaited() {
  // Only the request carries the device: rebuilding the awaited patch's header here would leave
  // it naming another slot (the last request's) whenever no answer replaces it.
  definition_->selectDevice(deviceIndex_);
  // The answer's time is counted from when the request went out, whatever pause came before.
  state_.lastActivityTime = clock_.nowMs();
  awaitedPatch().request(awaitedSlot());
}

void RequestRun::pauseThen(std::uint32_t ms, std::function<void()> then) {
  if (ms == 0) {
    then();
    return;
  }
  paused_ = true;
  const unsigned generation = generation_;
  clock_.startTimer(kPauseTimer, ms, false, [this, generation, then = std::move(then)] {
    if (generation != generation_) return;
    paused_ = false;
    then();
    drainDeferred();
  });
}

void RequestRun::drainDeferred() {
  while (state_.requestActive && !paused_ && !deferred_.empty()) {
    const Event event = std::move(deferred_.front());
    deferred_.pop_front();
    handle(event);
  }
  if (!state_.requestActive) deferred_.clear();
}

void RequestRun::end(const std::string& box, const char* status, bool withBeep) {
  // Over before the box opens: whatever arrives while it is open is ignored.
  state_.requestActive = false;
  paused_ = false;
  deferred_.clear();
  clock_.stopTimer(kPauseTimer);
  clock_.stopTimer(kWatchdogTimer);
  const unsigned generation = ++generation_;
  if (!box.empty()) observer_.message(box);
  if (generation != generation_) return;  // a new run began while the box was open
  observer_.finishStatus(status);
  if (withBeep) observer_.beep();
}

std::string RequestRun::misfitText(std::span<const std::uint8_t> bytes, long namedSlot) const {
  if (namedSlot >= 0) {
    return "a patch for slot " + definition_->patchLabel(static_cast<std::int32_t>(namedSlot));
  }
  const std::string& header = definition_->Send();
  if (const auto position = firstMismatch(bytes, header); position && *position < bytes.size()) {
    return formatText(kTextCapacity, "byte %zu is %02X where the \"Send\" template expects %02X",
                      *position, bytes[*position], literalAt(header, *position).value_or(0));
  }
  const std::size_t length = messageLengthOf(bytes);
  const auto patchSize = static_cast<std::size_t>(definition_->PatchSize());
  if (length == patchSize) return "the message does not end with F7 where PatchSize says it should";
  return formatText(kTextCapacity,
                    "%zu bytes long, but a patch of this instrument is %zu bytes "
                    "(PatchSize)",
                    length, patchSize);
}

}  // namespace banklore
