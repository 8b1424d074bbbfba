#include "ui/termination_watch.h"

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>

namespace banklore {

namespace {

// The handler may only write to a descriptor; the UI thread reads the other end.
int wakeFds[2] = {-1, -1};
constexpr std::array<int, 3> kSignals = {SIGTERM, SIGINT, SIGHUP};

extern "C" void onTerminationSignal(int) {
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(wakeFds[0], &byte, 1);
  errno = saved;
}

}  // namespace

TerminationWatch::TerminationWatch(QObject* parent) : QObject(parent) {
  if (wakeFds[0] != -1) return;  // one watch per process
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, wakeFds) != 0) {
    wakeFds[0] = wakeFds[1] = -1;
    return;
  }
  notifier_ = std::make_unique<QSocketNotifier>(wakeFds[1], QSocketNotifier::Read);
  connect(notifier_.get(), &QSocketNotifier::activated, this, &TerminationWatch::drain);
  struct sigaction action {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : kSignals) ::sigaction(signal, &action, nullptr);
}

TerminationWatch::~TerminationWatch() {
  if (!notifier_) return;
  for (int signal : kSignals) ::signal(signal, SIG_DFL);
  notifier_.reset();
  ::close(wakeFds[0]);
  ::close(wakeFds[1]);
  wakeFds[0] = wakeFds[1] = -1;
}

void TerminationWatch::drain() {
  char bytes[16];
  while (::read(wakeFds[1], bytes, sizeof bytes) > 0) {
  }
  Q_EMIT terminationRequested();
}

}  // namespace banklore
