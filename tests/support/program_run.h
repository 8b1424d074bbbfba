// A program run as the test's child: its arguments, what it reads on stdin, what it writes to
// stdout and stderr, and how it ended. A child that hangs is killed at a deadline, so the test
// fails and says so instead of hanging until ctest gives up.
#pragma once

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace banklore::test {

struct ProgramResult {
  int exitCode = -1;  // -1: ended by a signal
  bool hung = false;  // still running at the deadline, and killed
  std::string out, err;
};

class Program {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::seconds kHang{300};

  // Starts `argv[0]` with `env` ("NAME=value") added to the environment.
  explicit Program(std::vector<std::string> argv, const std::string& input = {},
                   std::vector<std::string> env = {}) {
    std::fwrite(input.data(), 1, input.size(), in_.get());
    std::fflush(in_.get());
    std::rewind(in_.get());
    pid_ = fork();
    if (pid_ != 0) return;
    prctl(PR_SET_PDEATHSIG, SIGKILL);  // never outlive a crashed test
    dup2(fileno(in_.get()), STDIN_FILENO);
    dup2(fileno(out_.get()), STDOUT_FILENO);
    dup2(fileno(err_.get()), STDERR_FILENO);
    for (std::string& setting : env) putenv(setting.data());
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  ~Program() { finish(std::chrono::milliseconds(0)); }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  std::string out() const { return contents(out_.get()); }
  std::string err() const { return contents(err_.get()); }
  void signal(int number) const { kill(pid_, number); }

  // Waits until `done` holds, the program ends or `limit` passes; whether `done` holds.
  bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = kHang) {
    const auto deadline = Clock::now() + limit;
    while (!done() && running() && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
  }
  // Waits for its end; past `limit`, kills it.
  ProgramResult finish(std::chrono::milliseconds limit = kHang) {
    waitUntil([this] { return !running(); }, limit);
    const bool hung = running();
    if (hung) {
      signal(SIGKILL);
      waitpid(pid_, &status_, 0);
      ended_ = true;
    }
    return {WIFEXITED(status_) ? WEXITSTATUS(status_) : -1, hung, out(), err()};
  }

 private:
  bool running() {
    if (pid_ > 0 && !ended_ && waitpid(pid_, &status_, WNOHANG) == pid_) ended_ = true;
    return pid_ > 0 && !ended_;
  }
  static std::string contents(std::FILE* file) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = pread(fileno(file), buffer, sizeof buffer,
                                   static_cast<off_t>(text.size()))) > 0;) {
      text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
  }

  using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;
  File in_{std::tmpfile(), &std::fclose}, out_{std::tmpfile(), &std::fclose},
      err_{std::tmpfile(), &std::fclose};
  pid_t pid_ = -1;
  int status_ = -1;  // as if killed, until waitpid says otherwise
  bool ended_ = false;
};

// `program` with `arguments` split at blanks (the tests' paths hold none).
inline std::vector<std::string> commandLine(const std::string& program,
                                            const std::string& arguments) {
  std::vector<std::string> argv = {program};
  std::istringstream words(arguments);
  for (std::string word; words >> word;) argv.push_back(word);
  return argv;
}

// Runs it to its end.
inline ProgramResult runProgram(const std::string& program, const std::string& arguments,
                                const std::string& input = {}) {
  return Program(commandLine(program, arguments), input).finish();
}

}  // namespace banklore::test
