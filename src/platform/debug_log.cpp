#include "platform/debug_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <string>

namespace banklore {
namespace {

constexpr std::size_t kMessageCapacity = 128 * 1024;

// Function-local statics: constructed on first use, so a log line written during another object's
// static initialisation still finds the lock and the path ready.
std::mutex& logMutex() {
  static std::mutex mutex;
  return mutex;
}

// A fixed buffer rather than a std::string: the pointer LogPath() hands out stays valid when the
// path changes, and WriteLog reads its contents (in fopen) under the same lock SetLogPath writes
// them under.
constexpr std::size_t kPathCapacity = 2048;

char* logPathStorage() {
  static char path[kPathCapacity] = "C:\\Quillfen_Debug.txt";
  return path;
}

char* messageBuffer() {
  static char buffer[kMessageCapacity];
  return buffer;
}

}  // namespace

const char* LogPath() {
  return logPathStorage();
}

void SetLogPath(const std::string& path) {
  std::lock_guard lock(logMutex());
  std::snprintf(logPathStorage(), kPathCapacity, "%s", path.c_str());
}

void WriteLog(const char* path, const char* format, ...) {
  if (format == nullptr || path == nullptr) return;
  std::lock_guard lock(logMutex());

  char* buffer = messageBuffer();
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(buffer, kMessageCapacity, format, args);
  va_end(args);
  if (length < 0) return;  // an encoding error leaves nothing worth writing
  const std::size_t size =
      static_cast<std::size_t>(length) < kMessageCapacity ? length : kMessageCapacity - 1;

  // The log is diagnostic only: a file that cannot be opened or written drops the message.
  std::FILE* file = std::fopen(path, "a");
  if (file == nullptr) return;
  std::fwrite(buffer, 1, size, file);
  std::fclose(file);
}

}  // namespace banklore
