// banklore-virtual-synth as a process of its own on the tests' JACK server: started with the
// options a test gives, waited for until its ports are there, and stopped with SIGTERM, after
// which it has written what it holds (its --dump file). What it printed goes to `logPath`.
#pragma once

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "support/program_run.h"

namespace banklore::test {

class SynthProcess {
 public:
  SynthProcess(const std::string& executable, std::vector<std::string> options,
               std::string dumpPath, std::string logPath)
      : dumpPath_(std::move(dumpPath)), logPath_(std::move(logPath)), program_([&] {
          std::remove(dumpPath_.c_str());
          options.insert(options.begin(), executable);
          options.insert(options.end(), {"--verbose", "--dump", dumpPath_});
          return options;
        }()) {}
  ~SynthProcess() { stop(); }
  SynthProcess(const SynthProcess&) = delete;
  SynthProcess& operator=(const SynthProcess&) = delete;

  // Whether it opened its ports (it names them once they are there).
  bool waitForPorts() { return waitForLines("out: ", 1); }
  // Whether it printed `count` lines that begin with `start` ("patch slot": patches stored).
  bool waitForLines(const std::string& start, long count,
                    std::chrono::milliseconds limit = std::chrono::seconds(20)) {
    return program_.waitUntil([&] { return linesStarting(start) >= count; }, limit);
  }

  // Ends the process as a user would (SIGTERM); true when it ended with exit code 0 (a process
  // that ignores SIGTERM for 20 s is killed).
  bool stop() {
    if (ended_) return result_.exitCode == 0 && !result_.hung;
    program_.signal(SIGTERM);
    return end(std::chrono::seconds(20));
  }
  // Ends it at once, as a crash would (SIGKILL): its ports vanish and it writes nothing.
  void crash() {
    if (ended_) return;
    program_.signal(SIGKILL);
    end(std::chrono::seconds(20));
  }
  // What it wrote to its dump file when it ended.
  std::vector<std::uint8_t> dump() const {
    std::ifstream file(dumpPath_, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
  }

 private:
  long linesStarting(const std::string& start) const {
    long count = 0;
    std::istringstream lines(program_.out());
    for (std::string line; std::getline(lines, line);) count += line.starts_with(start);
    return count;
  }
  bool end(std::chrono::seconds limit) {
    result_ = program_.finish(limit);
    ended_ = true;
    std::ofstream(logPath_) << result_.out << result_.err << (result_.hung ? "(killed)\n" : "");
    return result_.exitCode == 0 && !result_.hung;
  }

  std::string dumpPath_, logPath_;
  Program program_;
  ProgramResult result_;
  bool ended_ = false;
};

}  // namespace banklore::test
