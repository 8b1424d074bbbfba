// Definitions loaded from the text of one .idf section, and a recorder of what they would send.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "core/instrument_definition.h"
#include "platform/debug_log.h"
#include "platform/temp_dir.h"

namespace banklore {

using Bytes = std::vector<std::uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes copy(std::span<const std::uint8_t> bytes) {
  return Bytes(bytes.begin(), bytes.end());
}

struct Recorder : SysExSender {
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override {
    sent.emplace_back(bytes, bytes + length);
    return refuseFrom < 0 || static_cast<long>(sent.size()) <= refuseFrom;
  }
  std::vector<Bytes> sent;
  long refuseFrom = -1;  // from this many messages on, each is recorded but refused
};

// Loads `section` as instrument "Test"; what loading logs goes to `log` (when given), never to the
// working directory.
inline std::unique_ptr<InstrumentDefinition> load(const std::string& section,
                                                  SysExSender* port = nullptr,
                                                  std::string* log = nullptr) {
  TempDir dir;
  writeFile(dir.file("test.idf"), "[Test]\n" + section);
  const std::string previous = LogPath();
  SetLogPath(dir.file("log.txt"));
  auto definition = std::make_unique<InstrumentDefinition>(dir.file("test.idf"), "Test", port);
  SetLogPath(previous);
  if (log != nullptr) *log = readFile(dir.file("log.txt"));
  return definition;
}

}  // namespace banklore
