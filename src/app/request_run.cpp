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
  if (definition_ != &definition) {
    // Another instrument: what was asked of the last one tells nothing about this one's answers.
    inFlight_.clear();
    delivered_.clear();
  }
  // Slots asked for anew may answer with something else than before.
  for (const int slot : slots) delivered_.erase(slot);
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
  // Handled at once, also during a pause: an answer is judged against the requests that were
  // really out when it came, and nothing queues up behind a pause.
  handlePacket(bytes);
}

void RequestRun::onInputError() {
  WriteLog(LogPath(), "MidiInERRORCallback()\n");
  if (!state_.requestActive) return;
  handleInputError();
}

bool RequestRun::abort() {
  if (!state_.requestActive) return false;
  state_.requestActive = false;
  paused_ = false;
  clock_.stopTimer(kPauseTimer);
  clock_.stopTimer(kWatchdogTimer);
  ++generation_;
  observer_.showStatus("Request aborted.");
  return true;
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
    // After a bad packet the pause comes twice: the instrument may still be sending.
    afterPacket(2 * requestDelayMs_);
    return;
  }
  const auto answer = bytes.first(static_cast<std::size_t>(definition_->PatchSize()));
  if (definition_->sendTemplateNamesWholeSlot()) {
    // (An instrument of one bank names no bank: that of the awaited slot is the only one.)
    storeAnswer(answer, definition_->patchNumberOf(answer, awaited));
    return;
  }
  std::vector<int> others;
  switch (fitOf(answer, others)) {
    case AnswerFit::Awaited:
      noteAnswered(awaited, answer);
      storeAnswer(answer, awaited);
      return;
    case AnswerFit::Repeat:
      // Whichever of them it was, it brings what they gave already.
      noteAnswered(others.front(), answer);
      WriteLog(LogPath(), "Answer repeats patch %d: nothing stored\n", others.front());
      return;
    case AnswerFit::OtherSlot:
      WriteLog(LogPath(), "Answer belongs to patch %d, not asked for now: nothing stored\n",
               others.front());
      return;
    case AnswerFit::Unclear: {
      std::string labels;
      for (const int slot : others)
        labels += (labels.empty() ? "" : ", ") + definition_->patchLabel(slot);
      // Asked again once the other requests can no longer answer, so the next answer is clear.
      misfit("a patch that may answer slot " + definition_->patchLabel(awaited) +
                 " or an earlier request for " + labels,
             std::max(requestDelayMs_, msUntilLanded(others)));
      return;
    }
    case AnswerFit::Unasked:
      misfit("a patch that fits no slot asked for", requestDelayMs_);
      return;
  }
}

void RequestRun::storeAnswer(std::span<const std::uint8_t> bytes, long slot) {
  const int awaited = awaitedSlot();
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
  (*bank_)[static_cast<std::size_t>(slot)].loadBytes(bytes);
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
    afterPacket(requestDelayMs_);
    return;
  }
  observer_.stepProgress();
  state_.misfitCount = 0;
  if (++state_.currentPending == state_.pendingSlots.size()) {
    end("", "Request completed.", true);
    return;
  }
  afterPacket(requestDelayMs_);
}

void RequestRun::misfit(std::string reason, std::uint32_t pauseMs) {
  WriteLog(LogPath(), "Answer not stored: %s\n", reason.c_str());
  ++state_.misfitCount;
  lastMisfit_ = std::move(reason);
  afterPacket(pauseMs);
}

void RequestRun::afterPacket(std::uint32_t pauseMs) {
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
  pauseThen(pauseMs, [this] { requestAwaited(); });
}

void RequestRun::handleInputError() {
  // The watchdog asks again when the awaited slot's time runs out; an error stops no clock, so a
  // line that keeps failing still ends the request in time.
  awaitedPatch().setName(kBadPacketName);
  observer_.slotChanged(awaitedSlot(), false);
}

void RequestRun::watchdogTick() {
  // While a request waits for its pause, nothing has been asked yet that could time out.
  if (!state_.requestActive || paused_) return;
  if (clock_.nowMs() - state_.lastActivityTime <= kAnswerTimeoutMs) return;
  ++state_.retryCount;
  pauseThen(requestDelayMs_, [this] {
    requestAwaited();
    // The last timeout still asks once more; the box follows that request. An answer that came
    // during the pause was handled already and moved the request on.
    if (state_.retryCount >= kMaxTimeouts) end("Receive Timeout!", "Ready.", false);
  });
}

void RequestRun::requestAwaited() {
  // Only the request carries the device: rebuilding the awaited patch's header here would leave
  // it naming another slot (the last request's) whenever no answer replaces it.
  definition_->selectDevice(deviceIndex_);
  // The answer's time is counted from when the request went out, whatever pause came before.
  state_.lastActivityTime = clock_.nowMs();
  forgetLandedRequests();
  inFlight_.push_back({awaitedSlot(), state_.lastActivityTime, std::nullopt});
  awaitedPatch().request(awaitedSlot());
}

void RequestRun::pauseThen(std::uint32_t ms, std::function<void()> then) {
  if (ms == 0) {
    paused_ = false;
    clock_.stopTimer(kPauseTimer);
    then();
    return;
  }
  paused_ = true;
  const unsigned generation = generation_;
  clock_.startTimer(kPauseTimer, ms, false, [this, generation, then = std::move(then)] {
    if (generation != generation_) return;
    paused_ = false;
    then();
  });
}

void RequestRun::end(const std::string& box, const char* status, bool withBeep) {
  // Over before the box opens: whatever arrives while it is open is ignored.
  state_.requestActive = false;
  paused_ = false;
  clock_.stopTimer(kPauseTimer);
  clock_.stopTimer(kWatchdogTimer);
  const unsigned generation = ++generation_;
  if (!box.empty()) observer_.message(box);
  if (generation != generation_) return;  // a new run began while the box was open
  observer_.finishStatus(status);
  if (withBeep) observer_.beep();
}

bool RequestRun::live(const InFlight& request, std::uint32_t now) const {
  return request.answeredAt ? now - *request.answeredAt <= kEchoWindowMs
                            : now - request.sentAt <= kLateAnswerMs;
}

void RequestRun::forgetLandedRequests() {
  const std::uint32_t now = clock_.nowMs();
  std::erase_if(inFlight_, [&](const InFlight& request) { return !live(request, now); });
  std::erase_if(delivered_, [&](const auto& entry) {
    return std::none_of(inFlight_.begin(), inFlight_.end(),
                        [&](const InFlight& request) { return request.slot == entry.first; });
  });
}

AnswerFit RequestRun::fitOf(std::span<const std::uint8_t> answer, std::vector<int>& others) {
  forgetLandedRequests();
  const int awaited = awaitedSlot();
  bool awaitedFits = false;
  for (const InFlight& request : inFlight_) {
    const int slot = request.slot;
    if (slot == awaited ? awaitedFits
                        : std::find(others.begin(), others.end(), slot) != others.end()) {
      continue;
    }
    // What the header leaves out is taken from the slot asked for: the program and bank it
    // carries must then give that slot back.
    if (definition_->patchNumberOf(answer, slot) != slot) continue;
    const auto gave = delivered_.find(slot);
    if (gave != delivered_.end() &&
        !std::equal(answer.begin(), answer.end(), gave->second.begin(), gave->second.end())) {
      continue;  // a slot that arrived answers with the same patch again, or not at all
    }
    if (slot == awaited) {
      awaitedFits = true;
    } else {
      others.push_back(slot);
    }
  }
  if (awaitedFits) return others.empty() ? AnswerFit::Awaited : AnswerFit::Unclear;
  if (others.empty()) return AnswerFit::Unasked;
  const bool allArrived = std::all_of(others.begin(), others.end(),
                                      [&](int slot) { return delivered_.contains(slot); });
  return allArrived ? AnswerFit::Repeat : AnswerFit::OtherSlot;
}

void RequestRun::noteAnswered(int slot, std::span<const std::uint8_t> answer) {
  const std::uint32_t now = clock_.nowMs();
  delivered_[slot].assign(answer.begin(), answer.end());
  // A copy of an answer just noted is that answer again; otherwise the oldest request waiting is
  // the one answered, so the newer ones, which stay in flight longer, remain.
  const auto isSlot = [&](const InFlight& request) { return request.slot == slot; };
  for (const InFlight& request : inFlight_) {
    if (isSlot(request) && request.answeredAt) return;
  }
  for (InFlight& request : inFlight_) {
    if (isSlot(request) && !request.answeredAt) {
      request.answeredAt = now;
      return;
    }
  }
}

std::uint32_t RequestRun::msUntilLanded(const std::vector<int>& slots) const {
  const std::uint32_t now = clock_.nowMs();
  std::uint32_t longest = 0;
  for (const InFlight& request : inFlight_) {
    if (std::find(slots.begin(), slots.end(), request.slot) == slots.end()) continue;
    const std::uint32_t until =
        request.answeredAt ? *request.answeredAt + kEchoWindowMs : request.sentAt + kLateAnswerMs;
    longest = std::max(longest, until - now + 1);
  }
  return longest;
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
