// A fresh folder under the build's test-tmp for one test, removed with everything in it afterwards.
#pragma once

#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace banklore {

struct TempDir {
  std::string path = std::string(BANKLORE_TEST_TMPDIR) + "/banklore-XXXXXX";
  TempDir() { std::filesystem::create_directories(BANKLORE_TEST_TMPDIR), ::mkdtemp(path.data()); }
  ~TempDir() { std::filesystem::remove_all(path); }
  std::string file(const std::string& name) const { return path + "/" + name; }
  long entries() const { return std::distance(std::filesystem::directory_iterator(path), {}); }
};

inline std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Runs `write` in a child whose files cannot grow past 1000 bytes, as on a full disk: 0 when it
// returned true, 1 when it returned false, -1 when the child failed.
template <typename Write>
int underSizeLimit(Write write) {
  const pid_t child = ::fork();
  if (child == 0) {
    const rlimit limit{1000, 1000};
    ::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &limit);
    ::_exit(write() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace banklore
