// Turns SIGTERM, SIGINT and SIGHUP (a logout, `kill`, Ctrl+C in the terminal) into a close request
// on the UI thread, so the librarian's closing steps still save the paths and the placement.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace banklore {

class TerminationWatch : public QObject {
  Q_OBJECT

 public:
  explicit TerminationWatch(QObject* parent = nullptr);
  ~TerminationWatch() override;

  // False when the signals could not be watched; they then end the process as before.
  bool watching() const { return notifier_ != nullptr; }

 Q_SIGNALS:
  void terminationRequested();

 private:
  void drain();

  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace banklore
