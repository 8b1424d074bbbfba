#include "platform/program_paths.h"

#include <unistd.h>

#include <vector>

namespace banklore {

ProgramPaths programPathsFrom(const std::string& executablePath) {
  ProgramPaths paths;
  const std::size_t slash = executablePath.rfind('/');
  std::string fileName = executablePath;
  if (slash != std::string::npos) {
    // The folder keeps its case: on a case-sensitive file system a lower-cased folder may not
    // exist.
    paths.dir = executablePath.substr(0, slash + 1);
    fileName = executablePath.substr(slash + 1);
  }
  // Only the file name's last extension goes; a leading dot (".banklore") is part of the name.
  const std::size_t dot = fileName.rfind('.');
  paths.name = dot == std::string::npos || dot == 0 ? fileName : fileName.substr(0, dot);
  return paths;
}

std::string currentExecutablePath() {
  std::vector<char> buffer(1024);
  for (;;) {
    const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return {};
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    if (buffer.size() >= 65536) return {};  // no real path is this long
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace banklore
