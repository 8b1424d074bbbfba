// "Request Selected": asks the instrument for a list of slots one at a time, checks each answer
// against the definition, stores it in the slot it belongs to and moves on; a watchdog repeats a
// request that gets no answer. Driven on one thread (the UI thread): received messages are handed
// in through onMessage / onInputError after the hop from the MIDI thread. Pauses are timers of the
// clock, never sleeps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "app/transfer_observer.h"
#include "app/ui_clock.h"
#include "core/instrument_definition.h"
#include "core/patch.h"

namespace banklore {

// A running request: which slots are awaited, and how the awaited one is doing.
struct RequestState {
  bool requestActive = false;
  std::vector<int> pendingSlots;       // ascending list order
  std::size_t currentPending = 0;      // index into pendingSlots; its size means nothing is left
  std::uint32_t lastActivityTime = 0;  // clock time the awaited slot's request last went out
  int retryCount = 0;                  // watchdog timeouts since then
  int misfitCount = 0;                 // answers in a row that did not fit the awaited slot
};

class RequestRun {
 public:
  static constexpr int kWatchdogTimer = 0;
  static constexpr int kPauseTimer = 4;
  static constexpr std::uint32_t kWatchdogPeriodMs = 100;
  static constexpr std::uint32_t kAnswerTimeoutMs = 2000;  // more than this is a timeout
  static constexpr int kMaxTimeouts = 6;
  static constexpr int kMaxMisfits = 6;
  static constexpr const char* kBadPacketName = "??????????";

  RequestRun(UiClock& clock, TransferObserver& observer);
  ~RequestRun();
  RequestRun(const RequestRun&) = delete;
  RequestRun& operator=(const RequestRun&) = delete;

  // Requests `slots` (ascending) into `bank`, the first at once. Nothing happens for no slots.
  // The definition and the bank must stay until the request ends (abort it before changing them).
  void start(InstrumentDefinition& definition, std::vector<Patch>& bank, std::vector<int> slots,
             int deviceIndex, std::uint32_t requestDelayMs);
  // A whole message the instrument sent, and an input error; ignored while no request runs.
  void onMessage(std::span<const std::uint8_t> bytes);
  void onInputError();
  // Ends a running request with the status text "Request aborted."; false when none ran.
  bool abort();

  bool active() const { return state_.requestActive; }
  const RequestState& state() const { return state_; }

 private:
  using Event = std::vector<std::uint8_t>;  // empty: an input error

  void handle(const Event& event);
  void handlePacket(std::span<const std::uint8_t> bytes);
  void handleInputError();
  // The Part of a packet's handling after it was judged: move on, ask again, or end.
  void afterPacket(bool badPacket);
  void watchdogTick();
  void requestAwaited();
  // Runs `then` after `ms` (at once for 0); input arriving meanwhile waits until it has run, as it
  // would behind a sleeping thread.
  void pauseThen(std::uint32_t ms, std::function<void()> then);
  void drainDeferred();
  int awaitedSlot() const { return state_.pendingSlots[state_.currentPending]; }
  Patch& awaitedPatch();
  bool validSlot(long slot) const;
  // Whether the slot is one of those awaited before the one awaited now.
  bool arrivedBefore(int slot) const;
  // Ends the run: `box` (if any) is shown with the request already over, then the status.
  void end(const std::string& box, const char* status, bool withBeep);
  std::string misfitText(std::span<const std::uint8_t> bytes, long namedSlot) const;

  UiClock& clock_;
  TransferObserver& observer_;
  InstrumentDefinition* definition_ = nullptr;
  std::vector<Patch>* bank_ = nullptr;
  int deviceIndex_ = 0;
  std::uint32_t requestDelayMs_ = 0;
  RequestState state_;
  bool paused_ = false;
  std::deque<Event> deferred_;
  std::string lastMisfit_;
  unsigned generation_ = 0;  // changes with every start and end, so a stale callback can tell
};

}  // namespace banklore
