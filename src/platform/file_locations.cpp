#include "platform/file_locations.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace banklore {
namespace {

constexpr const char* kFolderName = "banklore/";

bool absolute(const std::string& path) {
  return !path.empty() && path.front() == '/';
}

std::string withSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

// $XDG_..._HOME/banklore/, or ~/<fallback>/banklore/; empty without either.
std::string xdgFolder(const std::string& variable, const std::string& home, const char* fallback) {
  if (absolute(variable)) return withSlash(variable) + kFolderName;
  if (absolute(home)) return withSlash(home) + fallback + kFolderName;
  return {};
}

std::string environment(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string homeFromPasswordDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
    return {};
  }
  return found->pw_dir != nullptr ? found->pw_dir : "";
}

}  // namespace

FileLocations::FileLocations(const ProgramPaths& paths)
    : program(paths),
      settingsFolder(paths.dir),
      settingsFile(paths.dir + paths.name + ".ini"),
      logFolder(paths.dir),
      logFile(paths.dir + paths.name + "_Debug.txt"),
      definitionFile(paths.dir + paths.name + ".idf"),
      startFolder(paths.dir),
      // One archive for the window and banklore-cli, whatever the program is called.
      archiveFile(paths.dir + "banklore_archive.sqlite") {}

std::optional<std::string> installedDataFolder(const ProgramPaths& program) {
  const std::string& dir = program.dir;
  constexpr std::string_view kBin = "/bin/";
  if (dir.size() < kBin.size() || dir.compare(dir.size() - kBin.size(), kBin.size(), kBin) != 0) {
    return std::nullopt;
  }
  return dir.substr(0, dir.size() - kBin.size() + 1) + "share/" + kFolderName;
}

FileLocations chooseFileLocations(const LocationInputs& in) {
  FileLocations files(in.program);
  const std::string idfName = in.program.name + ".idf";
  const auto readable = [&](const std::string& path) { return in.readable && in.readable(path); };
  const std::optional<std::string> dataFolder = installedDataFolder(in.program);
  const std::string installed = dataFolder ? *dataFolder + idfName : std::string();
  const std::string configFolder = xdgFolder(in.xdgConfigHome, in.home, ".config/");
  const std::string user = configFolder.empty() ? std::string() : configFolder + idfName;
  const std::string beside = files.definitionFile;

  // Root may write /usr/bin: what makes a copy installed is the data folder cmake --install made.
  const bool installedCopy = !installed.empty() && readable(installed);
  files.besideProgram = in.programDirWritable && !installedCopy;

  std::vector<std::string> order = {beside, user, installed};
  if (!files.besideProgram) {
    order = {user, beside, installed};
    const std::string stateFolder = xdgFolder(in.xdgStateHome, in.home, ".local/state/");
    if (!configFolder.empty()) {
      files.settingsFolder = configFolder;
      files.settingsFile = configFolder + in.program.name + ".ini";
    }
    if (!stateFolder.empty()) {
      files.logFolder = stateFolder;
      files.logFile = stateFolder + in.program.name + "_Debug.txt";
    }
    if (absolute(in.home)) files.startFolder = withSlash(in.home);
    if (const std::string dataFolder = xdgFolder(in.xdgDataHome, in.home, ".local/share/");
        !dataFolder.empty()) {
      files.archiveFile = dataFolder + "archive.sqlite";
    }
  }
  for (const std::string& candidate : order) {
    if (!candidate.empty() && readable(candidate)) {
      files.definitionFile = candidate;
      break;
    }
  }
  return files;
}

LocationInputs currentLocationInputs(const ProgramPaths& program) {
  LocationInputs in;
  in.program = program;
  const std::string folder = program.dir.empty() ? "." : program.dir;
  in.programDirWritable = ::access(folder.c_str(), W_OK | X_OK) == 0;
  in.home = environment("HOME");
  if (!absolute(in.home)) in.home = homeFromPasswordDatabase();
  in.xdgConfigHome = environment("XDG_CONFIG_HOME");
  in.xdgStateHome = environment("XDG_STATE_HOME");
  in.xdgDataHome = environment("XDG_DATA_HOME");
  in.readable = [](const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
           ::access(path.c_str(), R_OK) == 0;
  };
  return in;
}

std::optional<std::string> prepareFolder(const std::string& folder) {
  if (folder.empty()) return std::string(std::strerror(ENOENT));
  // Each missing part in turn, so that a folder made on the way gets 0700 too.
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      return std::string(std::strerror(errno));
    }
    if (slash == std::string::npos || slash + 1 >= folder.size()) break;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return std::string(std::strerror(errno));
  if (!S_ISDIR(info.st_mode)) return std::string(std::strerror(ENOTDIR));
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return std::string(std::strerror(errno));
  return std::nullopt;
}

}  // namespace banklore
