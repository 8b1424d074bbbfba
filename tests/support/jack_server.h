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
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "support/program_run.h"

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
    if (jackd_) {
      jackd_->signal(SIGTERM);
      if (end(std::chrono::seconds(10)).hung) {
        std::fprintf(stderr, "jackd %s ignored SIGTERM for 10 s: killed\n", name_.c_str());
      }
    }
    if (!name_.empty()) unsetenv("JACK_DEFAULT_SERVER");
    if (lock_ >= 0) close(lock_);
    lock_ = -1;
    if (whyNot_.empty()) whyNot_ = "the server was stopped";
  }

 private:
  std::string start() {
    static std::atomic<int> started{0};
    name_ = "banklore-test-" + std::to_string(getpid()) + "-" + std::to_string(++started);
    log_ = std::string(BANKLORE_TEST_TMPDIR) + "/jackd-" + name_ + ".log";
    const char* lockFile = "/tmp/banklore-jack-tests.lock";
    lock_ = open(lockFile, O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
    // Another build's test may hold it for a while, never for long.
    if (lock_ < 0 || flock(lock_, LOCK_EX) != 0) return std::string("cannot lock ") + lockFile;
    setenv("JACK_NO_AUDIO_RESERVATION", "1", 1);
    setenv("JACK_DEFAULT_SERVER", name_.c_str(), 1);
    jackd_ = std::make_unique<Program>(std::vector<std::string>{
        "/usr/bin/env", "jackd", "-S", "-n", name_, "-d", "dummy", "-r", "48000", "-p", "256"});
    if (jackd_->waitUntil(&answers, std::chrono::minutes(1))) return "";
    const ProgramResult ended = end(std::chrono::milliseconds(0));
    if (ended.exitCode == 127) return "jackd was not found (install the package jackd2)";
    return (ended.hung ? "jackd did not answer within a minute; see " : "jackd ended at start; see ") +
           log_;
  }
  // Waits up to `limit` for its end (then kills it) and keeps what it printed in the log.
  ProgramResult end(std::chrono::milliseconds limit) {
    const ProgramResult ended = jackd_->finish(limit);
    std::ofstream(log_) << ended.out << ended.err;
    jackd_.reset();
    return ended;
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

  std::string name_, log_;
  std::string whyNot_;
  int lock_ = -1;
  std::unique_ptr<Program> jackd_;
};

}  // namespace banklore::test
