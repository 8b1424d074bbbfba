// A fresh folder under the build's test-tmp for one test, removed with everything in it afterwards.
#pragma once

#include <stdlib.h>

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

}  // namespace banklore
