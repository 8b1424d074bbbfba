// A SysExSender that keeps every message it is given, for asserting what would go out.
#pragma once

#include <cstdint>
#include <vector>

#include "core/sysex_sender.h"

namespace banklore::testing {

class RecordingSender : public SysExSender {
 public:
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override {
    if (length > 0) sent.emplace_back(bytes, bytes + length);
    return true;
  }
  std::vector<std::vector<std::uint8_t>> sent;
};

}  // namespace banklore::testing
