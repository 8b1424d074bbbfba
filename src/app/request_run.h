// "Request Selected": asks the instrument for a list of slots one at a time, checks each answer
// against the definition, stores it in the slot it belongs to and moves on; a watchdog repeats a
// request that gets no answer. Driven on one thread (the UI thread): received messages are handed
// in through onMessage / onInputError after the hop from the MIDI thread. Pauses are timers of the
// clock, never sleeps.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
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

// Where an answer goes when its header does not name the whole slot. Banklore's own requests are
// the only witness then: an answer belongs to a request still in flight for a slot it can be (its
// program or bank, where the header carries them, agree), and a slot that arrived already only
// ever answers with the patch it gave before.
enum class AnswerFit {
  Awaited,    // the awaited slot's, and nothing else in flight could have sent it
  Repeat,     // a slot that arrived already, answering again: nothing to store
  OtherSlot,  // a slot in flight that is not awaited now (a run that ended): not stored
  Unclear,    // the awaited slot's or another's in flight, no telling which: not stored
  Unasked,    // no request in flight can have brought it: not stored
};

class RequestRun {
 public:
  static constexpr int kWatchdogTimer = 0;
  static constexpr int kPauseTimer = 4;
  static constexpr std::uint32_t kWatchdogPeriodMs = 100;
  static constexpr std::uint32_t kAnswerTimeoutMs = 2000;  // more than this is a timeout
  static constexpr int kMaxTimeouts = 6;
  static constexpr int kMaxMisfits = 6;
  // A request stays in flight this long after it went out: an answer later than that is taken
  // for none (instruments answer within a second or two; this covers five seconds with room).
  static constexpr std::uint32_t kLateAnswerMs = 6000;
  // Copies of one answer arriving within this time after it (a merger's echo, an instrument that
  // sends its dump twice) are one answer.
  static constexpr std::uint32_t kEchoWindowMs = 500;
  static constexpr const char* kBadPacketName = "??????????";

  // How long one slot can take, from its first request until it arrived or ended the request,
  // whatever the instrument and the line do. A timeout comes at most kAnswerTimeoutMs +
  // kWatchdogPeriodMs after a request; every pause before a request is at most the longer of
  // twice the delay (after a bad packet) and kLateAnswerMs (waiting out requests that make an
  // answer unclear). A misfit starts the timeout count again, but the sixth misfit or the sixth
  // timeout in a row ends the request, so a slot sees at most 5 misfits with 5 timeouts before
  // each, then 6 timeouts: 36 waits for an answer, each after one pause, plus the last pause.
  // Answers that change nothing (repeats, other slots' late answers) and input errors start no
  // pause and stop no clock. For any delay the Setup offers (up to 1,000 ms, so the late-answer
  // wait is the longer pause) that is 36 x 8,101 + 6,001 ms = 4 min 58 s a slot. An instrument
  // that answers at all stays far below: each answer it sends ends a wait.
  static constexpr std::uint64_t slotTimeBoundMs(std::uint32_t requestDelayMs) {
    const std::uint64_t longestPause =
        std::max<std::uint64_t>(2ull * requestDelayMs, kLateAnswerMs + 1ull);
    const std::uint64_t waits = std::uint64_t{kMaxMisfits} * kMaxTimeouts;
    return waits * (longestPause + kAnswerTimeoutMs + kWatchdogPeriodMs) + longestPause;
  }

  RequestRun(UiClock& clock, TransferObserver& observer);
  ~RequestRun();
  RequestRun(const RequestRun&) = delete;
  RequestRun& operator=(const RequestRun&) = delete;

  // Requests `slots` (ascending) into `bank`, the first at once. Nothing happens for no slots.
  // The definition and the bank must stay until the request ends (abort it before changing them).
  // Requests of earlier runs on the same definition stay in flight: their late answers are told
  // apart from this run's.
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
  struct InFlight {
    int slot;
    std::uint32_t sentAt;
    std::optional<std::uint32_t> answeredAt;
  };

  void handlePacket(std::span<const std::uint8_t> bytes);
  void handleInputError();
  // Stores an answer into the slot it names or belongs to, and moves on (or asks again).
  void storeAnswer(std::span<const std::uint8_t> bytes, long slot);
  // An answer not stored: counted, and the awaited slot asked for again after `pauseMs`.
  void misfit(std::string reason, std::uint32_t pauseMs);
  // The part of a packet's handling after it was judged: move on, ask again, or end.
  void afterPacket(std::uint32_t pauseMs);
  void watchdogTick();
  void requestAwaited();
  // Runs `then` after `ms` (at once for 0). Input is handled as it comes meanwhile.
  void pauseThen(std::uint32_t ms, std::function<void()> then);
  int awaitedSlot() const { return state_.pendingSlots[state_.currentPending]; }
  Patch& awaitedPatch();
  bool validSlot(long slot) const;
  // Whether the slot is one of those awaited before the one awaited now.
  bool arrivedBefore(int slot) const;
  // Ends the run: `box` (if any) is shown with the request already over, then the status.
  void end(const std::string& box, const char* status, bool withBeep);
  std::string misfitText(std::span<const std::uint8_t> bytes, long namedSlot) const;

  // Requests in flight.
  bool live(const InFlight& request, std::uint32_t now) const;
  void forgetLandedRequests();
  // Judges an answer (forgetting requests that landed); `others` gets every slot in flight, other
  // than the awaited one, that may have sent it.
  AnswerFit fitOf(std::span<const std::uint8_t> answer, std::vector<int>& others);
  // Marks the request `answer` came by as answered (the oldest fitting that is not).
  void noteAnswered(int slot, std::span<const std::uint8_t> answer);
  // How long until no request of `slots` is in flight any more.
  std::uint32_t msUntilLanded(const std::vector<int>& slots) const;

  UiClock& clock_;
  TransferObserver& observer_;
  InstrumentDefinition* definition_ = nullptr;
  std::vector<Patch>* bank_ = nullptr;
  int deviceIndex_ = 0;
  std::uint32_t requestDelayMs_ = 0;
  RequestState state_;
  bool paused_ = false;
  std::string lastMisfit_;
  unsigned generation_ = 0;        // changes with every start and end, so a stale callback can tell
  std::deque<InFlight> inFlight_;  // oldest first
  // What each slot with a request in flight answered, once it did: its repeats are that again.
  std::map<int, std::vector<std::uint8_t>> delivered_;
};

}  // namespace banklore
