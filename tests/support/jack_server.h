// A private JACK server for one test process: the dummy driver in synchronous mode (-S; on a busy
// machine the default asynchronous mode lets a late client see a cycle's events twice), under a
// name no other server has used, made the default server of this process's JACK clients.
//
// All servers of a user share one metadata database, and clients fail to join while another
// server starts or stops, so test processes of every build on the machine take turns through a
// lock file, held from start to stop.
//
//   static void SetUpTestSuite() { server_ = std::make_unique<test::JackServer>(); }
//   static void TearDownTestSuite() { server_.reset(); }
//   void SetUp() override {
//     if (!server_->running()) GTEST_SKIP() << "No JACK server: " << server_->whyNot();
//   }
#pragma once

#include <fcntl.h>
#include <jack/jack.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "support/process_exit.h"

namespace banklore::test {

class JackServer {
 public:
  JackServer() { whyNot_ = start(); }
  ~JackServer() { stop(); }
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  bool running() const { return whyNot_.empty(); }
  // Why there is no server, for the skip message; empty when it runs.
  const std::string& whyNot() const { return whyNot_; }

  // Stops the server (harmless twice); the lock is released for the next test process.
  void stop() {
    if (pid_ > 0 && !terminateWithin(pid_, std::chrono::seconds(10)).byItself) {
      std::fprintf(stderr, "jackd %s ignored SIGTERM for 10 s: killed\n", name_.c_str());
    }
    pid_ = -1;
    if (!name_.empty()) unsetenv("JACK_DEFAULT_SERVER");
    if (lock_ >= 0) close(lock_);
    lock_ = -1;
    if (whyNot_.empty()) whyNot_ = "the server was stopped";
  }

 private:
  std::string start() {
    using namespace std::chrono_literals;
    static std::atomic<int> started{0};
    name_ = "banklore-test-" + std::to_string(getpid()) + "-" + std::to_string(++started);
    const std::string log = std::string(BANKLORE_TEST_TMPDIR) + "/jackd-" + name_ + ".log";
    const char* lockFile = "/tmp/banklore-jack-tests.lock";
    lock_ = open(lockFile, O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    // Another build's test may hold it for a while, never for long.
    if (lock_ < 0 || flock(lock_, LOCK_EX) != 0) return std::string("cannot lock ") + lockFile;
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    const int logFd = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
      if (logFd >= 0) {
        dup2(logFd, STDOUT_FILENO);
        dup2(logFd, STDERR_FILENO);
      }
      execlp("jackd", "jackd", "-S", "-n", name_.c_str(), "-d", "dummy", "-r", "48000", "-p", "256",
             nullptr);
      _exit(127);
    }
    if (logFd >= 0) close(logFd);
    for (int i = 0, status = 0; pid_ > 0 && i < 1200; ++i) {
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        const bool missing = WIFEXITED(status) && WEXITSTATUS(status) == 127;
        return missing ? "jackd was not found (install the package jackd2)"
                       : "jackd ended at start; see " + log;
      }
      if (answers()) return "";
      std::this_thread::sleep_for(50ms);
    }
    return pid_ < 0 ? "cannot fork for jackd" : "jackd did not answer within a minute; see " + log;
  }

  // Whether a client can join; libjack's complaints while the server starts are kept quiet.
  static bool answers() {
    jack_set_error_function(+[](const char*) {});
    jack_status_t status{};
    jack_client_t* probe = jack_client_open("banklore-probe", JackNoStartServer, &status);
    if (probe != nullptr) jack_client_close(probe);
    jack_set_error_function(+[](const char* text) { std::fprintf(stderr, "%s\n", text); });
    return probe != nullptr;
  }

  std::string name_;
  std::string whyNot_;
  int lock_ = -1;
  pid_t pid_ = -1;
};

}  // namespace banklore::test
