#include "core/support/idf_file.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>

namespace banklore::testing {
namespace {

std::string uniquePath(const char* stem) {
  static std::atomic<int> counter{0};
  return std::string(BANKLORE_TEST_TMPDIR) + "/" + stem + "-" + std::to_string(getpid()) + "-" +
         std::to_string(counter++) + ".idf";
}

}  // namespace

IdfFile::IdfFile(const std::string& body) : path_(uniquePath("core")) {
  if (std::FILE* file = std::fopen(path_.c_str(), "wb")) {
    std::fwrite(body.data(), 1, body.size(), file);
    std::fclose(file);
  }
}

IdfFile::~IdfFile() {
  std::remove(path_.c_str());
}

std::string missingFilePath() {
  return uniquePath("missing");
}

}  // namespace banklore::testing
