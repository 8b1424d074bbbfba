// banklore-virtual-synth as a process of its own on the tests' JACK server: started with the
// options a test gives, waited for until its ports are there, and stopped with SIGTERM, after
// which it has written what it holds (its --dump file).
#pragma once

#include <jack/jack.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/process_exit.h"

namespace banklore::test {

class SynthProcess {
 public:
  static constexpr const char* kName = "banklore-virtual-synth";

  // Runs `executable` with `options` plus --dump `dumpPath` (and its output to `logPath`).
  SynthProcess(const std::string& executable, std::vector<std::string> options,
               std::string dumpPath, const std::string& logPath)
      : dumpPath_(std::move(dumpPath)) {
    options.insert(options.begin(), executable);
    options.push_back("--dump");
    options.push_back(dumpPath_);
    std::remove(dumpPath_.c_str());
    pid_ = fork();
    if (pid_ == 0) {
      prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive a crashed test
      if (std::FILE* log = std::fopen(logPath.c_str(), "w")) {
        dup2(fileno(log), STDOUT_FILENO);
        dup2(fileno(log), STDERR_FILENO);
      }
      std::vector<char*> argv;
      for (std::string& option : options) argv.push_back(option.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~SynthProcess() { stop(); }
  SynthProcess(const SynthProcess&) = delete;
  SynthProcess& operator=(const SynthProcess&) = delete;

  // Whether both of its ports appeared on the server within `timeout`.
  bool waitForPorts(std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    jack_client_t* probe = jack_client_open("banklore-synth-probe", JackNoStartServer, nullptr);
    if (probe == nullptr) return false;
    const std::string in = std::string(kName) + ":in", out = std::string(kName) + ":out";
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    bool found = false;
    while (!found && std::chrono::steady_clock::now() < deadline) {
      found = jack_port_by_name(probe, in.c_str()) && jack_port_by_name(probe, out.c_str());
      if (!found) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    jack_client_close(probe);
    return found;
  }

  // Ends the process as a user would (SIGTERM); true when it ended by itself with exit code 0
  // within 10 s (else it is killed).
  bool stop() {
    if (pid_ <= 0) return false;
    const ProcessEnd end = terminateWithin(pid_, std::chrono::seconds(10));
    pid_ = -1;
    if (!end.byItself) std::fprintf(stderr, "%s ignored SIGTERM for 10 s: killed\n", kName);
    return end.byItself && WIFEXITED(end.status) && WEXITSTATUS(end.status) == 0;
  }

  // Ends it at once, as a crash would (SIGKILL): its ports vanish and it writes nothing.
  void crash() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
    pid_ = -1;
  }

  // What it wrote to its dump file when it ended.
  std::vector<std::uint8_t> dump() const {
    std::ifstream file(dumpPath_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

 private:
  std::string dumpPath_;
  pid_t pid_ = -1;
};

}  // namespace banklore::test
