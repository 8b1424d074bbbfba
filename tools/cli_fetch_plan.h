// Which slots `banklore-cli fetch` asks the request engine for, run after run. The engine ends a
// run at the first slot that does not arrive (no answer after its retries, or answers that keep
// not fitting); a backup should still get everything it can, so the plan passes that slot over and
// starts the engine again from the next one. Slots passed over are asked for once more at the end,
// when the instrument answered at all. Two slots in a row that do not arrive mean the instrument
// is gone (off, unplugged, another device ID): the plan gives up rather than wait out every slot.
#pragma once

#include <cstddef>
#include <vector>

namespace banklore {

class FetchPlan {
 public:
  static constexpr int kFailuresToGiveUp = 2;

  // `slots` ascending, each once.
  explicit FetchPlan(std::vector<int> slots);

  // The slots the next engine run asks for, in order; empty when the fetch is over.
  const std::vector<int>& nextRun() const { return queue_; }
  bool over() const { return queue_.empty(); }

  // The run over nextRun() ended with its first `arrived` slots in. Fewer than all: the slot after
  // them did not arrive, and the run ended there.
  void runEnded(std::size_t arrived);
  // Ends the fetch where it is (the user interrupted it): what is left is missing.
  void stop() { queue_.clear(); }

  // Whether the last slot that failed was the second in a row, and the rest was never asked for.
  bool gaveUp() const { return gaveUp_; }
  // Whether the slots passed over are being asked for again.
  bool askingAgain() const { return secondPass_; }
  // Requested slots that arrived, and those that did not (so far), each ascending.
  std::vector<int> arrived() const;
  std::vector<int> missing() const;

 private:
  std::vector<int> requested_;
  std::vector<bool> in_;  // by position in requested_
  std::vector<int> queue_;
  std::vector<int> passedOver_;
  int failuresInARow_ = 0;
  bool secondPass_ = false;
  bool gaveUp_ = false;
};

}  // namespace banklore
