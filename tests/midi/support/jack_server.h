// A private JACK server with the dummy driver for one test process: started under a unique name,
// made the default for this process's clients, stopped by its process id. JACK servers share one
// shared-memory registry, and clients fail to join while another server starts or stops, so test
// processes running side by side take turns through a lock file.
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

  JackServer(int lockFd, pid_t pid, std::string name)
      : lockFd_(lockFd), pid_(pid), name_(std::move(name)) {}
  const std::string& name() const { return name_; }

 private:
  int lockFd_;
  pid_t pid_;
  std::string name_;
};

}  // namespace banklore::test
