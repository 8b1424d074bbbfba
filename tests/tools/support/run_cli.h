// Runs the built banklore-cli with arguments and collects its exit code, stdout and stderr.
#pragma once

#include <string>
#include <vector>

namespace banklore::testing {

struct CliResult {
  int exitCode = -1;
  std::string out;
  std::string err;
  std::vector<std::string> lines() const;  // stdout split at line ends
};

CliResult runCli(const std::vector<std::string>& arguments);

// A file in the test folder holding `content`, removed at the end of the scope.
class TempFile {
 public:
  TempFile(const std::string& suffix, const std::string& content);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace banklore::testing
