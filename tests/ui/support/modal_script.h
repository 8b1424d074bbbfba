// Answers modal dialogs and popups from a script while the code under test sits in exec(): each
// step waits for a widget of its kind to be the active modal (or popup) widget, then acts on it.
#pragma once

#include <QPointer>
#include <QWidget>
#include <deque>
#include <functional>

namespace banklore::testing {

class ModalScript {
 public:
  using Matcher = std::function<bool(QWidget*)>;
  using Action = std::function<void(QWidget*)>;

  ModalScript();
  ~ModalScript();

  // Steps run in order; a step runs once its widget shows up.
  template <typename Widget>
  ModalScript& on(std::function<void(Widget&)> action) {
    steps_.push_back({[](QWidget* w) { return qobject_cast<Widget*>(w) != nullptr; },
                      [action](QWidget* w) { action(*qobject_cast<Widget*>(w)); }});
    return *this;
  }

  bool finished() const { return steps_.empty(); }
  // Whether the script had to give up (a step never found its widget in time) and closed what was
  // open so the test could go on.
  bool gaveUp() const { return gaveUp_; }

 private:
  struct Step {
    Matcher matches;
    Action act;
  };
  void poll();

  std::deque<Step> steps_;
  QPointer<QWidget> lastHandled_;
  int idlePolls_ = 0;
  bool gaveUp_ = false;
  bool stopped_ = false;
  std::shared_ptr<bool> alive_;
};

}  // namespace banklore::testing
