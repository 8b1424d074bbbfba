// Answers modal dialogs and popups from a script while the code under test sits in exec(): each
// step waits for a widget of its kind to be the active modal (or popup) widget, then acts on it.
#pragma once

#include <QWidget>
#include <deque>
#include <functional>
#include <memory>

namespace banklore::testing {

class ModalScript {
 public:
  ModalScript() { poll(); }
  ~ModalScript() { *alive_ = false; }

  // Steps run in order; a step runs once its widget shows up.
  template <typename Widget>
  ModalScript& on(std::function<void(Widget&)> action) {
    steps_.push_back({[](QWidget* w) { return qobject_cast<Widget*>(w) != nullptr; },
                      [action](QWidget* w) { action(*qobject_cast<Widget*>(w)); }});
    return *this;
  }

  bool finished() const { return steps_.empty(); }

 private:
  struct Step {
    std::function<bool(QWidget*)> matches;
    std::function<void(QWidget*)> act;
  };
  void poll();

  std::deque<Step> steps_;
  int idlePolls_ = 0;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace banklore::testing
