#include "midi/support/jack_server.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

extern char** environ;

namespace banklore::test {
namespace {

std::string findOnPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string candidate = dirs.substr(start, end - start) + "/" + program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return {};
}

bool exited(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

}  // namespace

std::unique_ptr<JackServer> JackServer::start(std::string& whyNot) {
  const std::string jackd = findOnPath("jackd");
  if (jackd.empty() || findOnPath("jack_lsp").empty()) {
    whyNot = "jackd or jack_lsp is not installed (Debian package jackd2)";
    return nullptr;
  }
  const std::string lockPath = std::string(BANKLORE_TEST_TMPDIR) + "/jack-server.lock";
  const int lockFd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lockFd < 0 || flock(lockFd, LOCK_EX) != 0) {
    if (lockFd >= 0) close(lockFd);
    whyNot = "cannot take " + lockPath;
    return nullptr;
  }
  const std::string name = "banklore-test-" + std::to_string(getpid());
  const std::string logPath = std::string(BANKLORE_TEST_TMPDIR) + "/jackd-" + name + ".log";

  // Everything the child needs is prepared here: after fork only async-signal-safe calls.
  std::vector<std::string> env{"JACK_NO_AUDIO_RESERVATION=1", "JACK_DEFAULT_SERVER=" + name};
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> args{jackd, "-n", name, "-d", "dummy", "-r", "48000", "-p", "256"};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  const pid_t pid = fork();
  if (pid < 0) {
    close(lockFd);
    whyNot = "fork failed";
    return nullptr;
  }
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }

  setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
  setenv("JACK_DEFAULT_SERVER", name.c_str(), 1);
  auto server = std::make_unique<JackServer>(lockFd, pid, name);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (exited(pid)) {
      server->pid_ = -1;
      whyNot = "jackd exited at once; see " + logPath;
      return nullptr;
    }
    if (std::system("jack_lsp >/dev/null 2>&1") == 0) return server;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  whyNot = "jackd did not answer jack_lsp within 10 s; see " + logPath;
  return nullptr;
}

JackServer::~JackServer() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    bool gone = false;
    for (int i = 0; i < 100 && !gone; ++i) {
      gone = exited(pid_);
      if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    if (!gone) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  close(lockFd_);  // the next test process may start its server now
}

}  // namespace banklore::test
