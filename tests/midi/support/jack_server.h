// A private JACK server with the dummy driver for one test process: started under a unique name,
// made the default for this process's clients, stopped by its process id.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>

namespace banklore::test {

class JackServer {
 public:
  // Null, with the reason in `whyNot`, when jackd is missing or does not answer in time.
  static std::unique_ptr<JackServer> start(std::string& whyNot);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  JackServer(pid_t pid, std::string name) : pid_(pid), name_(std::move(name)) {}
  const std::string& name() const { return name_; }

 private:
  pid_t pid_;
  std::string name_;
};

}  // namespace banklore::test
