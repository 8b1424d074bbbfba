// Runs part of a test in a forked child: as an unprivileged user (tests run as root, for whom file
// permissions hardly bind), under a file-size limit, or where a fault could block for good (which
// then hangs the child, not the test's own process). The child's answer comes back through a pipe,
// so the parent can compare it and say what differed.
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace banklore::test {

struct ChildLimits {
  bool unprivileged = false;        // as the user and group 65534 ("nobody") when run as root
  rlim_t fileSize = RLIM_INFINITY;  // SIGXFSZ is ignored, as the programs ignore it
};

struct ChildRun {
  bool finished = false;     // the body returned (no signal)
  bool unsupported = false;  // the child could not take its limits here: the body did not run
  std::string output;        // what it returned
};

constexpr int kChildUnsupported = 3;

// Runs `body` (returning std::string) in a child process under `limits`.
template <typename Body>
ChildRun runInChild(Body body, const ChildLimits& limits = {}) {
  int channel[2];
  if (::pipe(channel) != 0) return {.output = "no pipe"};
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(channel[0]);
    bool ready = true;
    if (limits.unprivileged && ::geteuid() == 0) {
      ready = ::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 &&
              ::setresuid(65534, 65534, 65534) == 0;
      ::prctl(PR_SET_DUMPABLE, 1);  // keeps /proc/self/fd open to the child itself
    }
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{limits.fileSize, limits.fileSize};
    ready = ready && ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
    const std::string output = ready ? body() : "cannot run as an unprivileged user here";
    // A blocking pipe takes the whole answer in one write.
    [[maybe_unused]] const ssize_t put = ::write(channel[1], output.data(), output.size());
    ::_exit(ready ? 0 : kChildUnsupported);
  }
  ::close(channel[1]);
  ChildRun run;
  char block[4096];
  for (ssize_t got; (got = ::read(channel[0], block, sizeof block)) > 0;)
    run.output.append(block, static_cast<std::size_t>(got));
  ::close(channel[0]);
  int status = 0;
  const bool ended = child > 0 && ::waitpid(child, &status, 0) == child;
  run.finished = ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  run.unsupported = ended && WIFEXITED(status) && WEXITSTATUS(status) == kChildUnsupported;
  if (ended && WIFSIGNALED(status))
    run.output += "[killed by signal " + std::to_string(WTERMSIG(status)) + "]";
  return run;
}

}  // namespace banklore::test
