#include "app/support/fakes.h"

#include <utility>

namespace banklore::testing {

void FakeView::rebuildRows(int bank, int rowCount) {
  BankState& state = banks[bank];
  state.rows = rowCount;
  ++state.rebuilds;
  state.selection.clear();
  state.focusRow.reset();
  state.refreshed.clear();
}

void FakeView::setSelection(int bank, const std::vector<int>& rows, std::optional<int> focusRow) {
  banks[bank].selection = rows;
  banks[bank].focusRow = focusRow;
}

void FakeView::setProgress(int bank, int maximum, int position) {
  banks[bank].progressMaximum = maximum;
  banks[bank].progressPosition = position;
}

void FakeView::setWindowRect(const WindowRect& r) {
  rect = r;
  ++placements;
}

void FakeView::setStatusText(int bank, const std::string& text) {
  BankState& state = banks[bank];
  if (state.statusHistory.empty() || state.statusHistory.back() != text) {
    state.statusHistory.push_back(text);
  }
  state.status = text;
}

void FakePrompts::message(const std::string& text) {
  messages.push_back(text);
  if (onMessage) onMessage(text);
}

namespace {

std::optional<std::string> nextAnswer(std::deque<std::optional<std::string>>& script) {
  if (script.empty()) return std::nullopt;
  std::optional<std::string> answer = std::move(script.front());
  script.pop_front();
  return answer;
}

}  // namespace

std::optional<std::string> FakePrompts::openFile(const FileDialogRequest& request) {
  openRequests.push_back(request);
  return nextAnswer(openAnswers);
}

std::optional<std::string> FakePrompts::saveFile(const FileDialogRequest& request) {
  saveRequests.push_back(request);
  return nextAnswer(saveAnswers);
}

bool FakePrompts::askYesNo(const std::string& text) {
  questions.push_back(text);
  if (yesNoAnswers.empty()) return false;
  const bool answer = yesNoAnswers.front();
  yesNoAnswers.pop_front();
  return answer;
}

std::optional<int> FakePrompts::moveCount() {
  ++moveAsked;
  if (moveAnswers.empty()) return std::nullopt;
  const std::optional<int> answer = moveAnswers.front();
  moveAnswers.pop_front();
  return answer;
}

std::optional<std::string> FakePrompts::rename(const std::string& initialName) {
  renameAsked.push_back(initialName);
  if (renameAnswers.empty()) return std::nullopt;
  std::optional<std::string> answer = renameAnswers.front();
  renameAnswers.pop_front();
  return answer;
}

void ManualClock::startTimer(int id, std::uint32_t periodMs, bool repeating,
                             std::function<void()> onTick) {
  timers_[id] = Timer{periodMs, repeating, now_ + periodMs, std::move(onTick)};
}

void ManualClock::postToUiThread(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(postedMutex_);
  posted_.push_back(std::move(task));
}

void ManualClock::advance(std::uint32_t ms) {
  for (std::uint32_t i = 0; i < ms; ++i) {
    ++now_;
    std::vector<int> due;
    for (const auto& [id, timer] : timers_) {
      if (timer.due == now_) due.push_back(id);
    }
    for (int id : due) {
      auto it = timers_.find(id);
      if (it == timers_.end() || it->second.due != now_)
        continue;  // stopped or restarted meanwhile
      std::function<void()> tick = it->second.onTick;
      if (it->second.repeating) {
        it->second.due = now_ + it->second.period;
      } else {
        timers_.erase(it);
      }
      tick();
    }
  }
}

int ManualClock::runPosted() {
  int ran = 0;
  for (;;) {
    std::function<void()> task;
    {
      std::lock_guard<std::mutex> lock(postedMutex_);
      if (posted_.empty()) return ran;
      task = std::move(posted_.front());
      posted_.pop_front();
    }
    task();
    ++ran;
  }
}

}  // namespace banklore::testing
