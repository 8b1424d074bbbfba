#include "tools/support/run_cli.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace banklore::testing {
namespace {

std::string uniquePath(const std::string& suffix) {
  static std::atomic<int> counter{0};
  return std::string(BANKLORE_TEST_TMPDIR) + "/cli-" + std::to_string(getpid()) + "-" +
         std::to_string(counter++) + suffix;
}

std::string quoted(const std::string& text) {
  std::string result = "'";
  for (const char c : text) result += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return result + "'";
}

std::string slurp(const std::string& path) {
  std::string content;
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) content.append(chunk, got);
    std::fclose(file);
  }
  return content;
}

}  // namespace

std::vector<std::string> CliResult::lines() const {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start < out.size()) {
    const std::size_t end = out.find('\n', start);
    result.push_back(out.substr(start, end == std::string::npos ? end : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return result;
}

CliResult runCli(const std::vector<std::string>& arguments) {
  const std::string outPath = uniquePath(".out");
  const std::string errPath = uniquePath(".err");
  std::string command = quoted(BANKLORE_CLI);
  for (const std::string& argument : arguments) command += " " + quoted(argument);
  command += " >" + quoted(outPath) + " 2>" + quoted(errPath) + " </dev/null";
  const int status = std::system(command.c_str());
  CliResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = slurp(outPath);
  result.err = slurp(errPath);
  std::remove(outPath.c_str());
  std::remove(errPath.c_str());
  return result;
}

TempFile::TempFile(const std::string& suffix, const std::string& content)
    : path_(uniquePath(suffix)) {
  if (std::FILE* file = std::fopen(path_.c_str(), "wb")) {
    std::fwrite(content.data(), 1, content.size(), file);
    std::fclose(file);
  }
}

TempFile::~TempFile() {
  std::remove(path_.c_str());
}

}  // namespace banklore::testing
