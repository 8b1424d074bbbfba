#include "cli_fetch_plan.h"

#include <algorithm>
#include <utility>

namespace banklore {

FetchPlan::FetchPlan(std::vector<int> slots)
    : requested_(std::move(slots)), in_(requested_.size(), false), queue_(requested_) {}

void FetchPlan::runEnded(std::size_t arrived) {
  arrived = std::min(arrived, queue_.size());
  for (std::size_t i = 0; i < arrived; ++i) {
    const auto at = std::lower_bound(requested_.begin(), requested_.end(), queue_[i]);
    if (at != requested_.end() && *at == queue_[i])
      in_[static_cast<std::size_t>(at - requested_.begin())] = true;
  }
  if (arrived > 0) failuresInARow_ = 0;
  if (arrived == queue_.size()) {
    queue_.clear();
  } else {
    passedOver_.push_back(queue_[arrived]);
    queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(arrived) + 1);
    if (++failuresInARow_ >= kFailuresToGiveUp) {
      gaveUp_ = true;
      queue_.clear();
      return;
    }
  }
  // An instrument that never answered is not asked again: that would only double the wait.
  if (queue_.empty() && !secondPass_ && !passedOver_.empty() &&
      std::find(in_.begin(), in_.end(), true) != in_.end()) {
    secondPass_ = true;
    failuresInARow_ = 0;
    queue_ = std::move(passedOver_);
    passedOver_.clear();
  }
}

std::vector<int> FetchPlan::arrived() const {
  std::vector<int> slots;
  for (std::size_t i = 0; i < requested_.size(); ++i) {
    if (in_[i]) slots.push_back(requested_[i]);
  }
  return slots;
}

std::vector<int> FetchPlan::missing() const {
  std::vector<int> slots;
  for (std::size_t i = 0; i < requested_.size(); ++i) {
    if (!in_[i]) slots.push_back(requested_[i]);
  }
  return slots;
}

}  // namespace banklore
