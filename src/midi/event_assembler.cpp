#include "midi/event_assembler.h"

#include <algorithm>

namespace banklore {
namespace {

constexpr std::uint8_t kSysExStart = 0xF0;
constexpr std::uint8_t kSysExEnd = 0xF7;

bool isRealTime(std::uint8_t byte) {
  return byte >= 0xF8;
}

// Bytes that carry on a SysEx: data, or the end byte in a piece of its own.
bool continuesSysEx(std::uint8_t byte) {
  return byte < 0x80 || byte == kSysExEnd;
}

}  // namespace

EventAssembler::EventAssembler(std::size_t maxMessage, MessageHandler onMessage,
                               BrokenHandler onBroken)
    : maxMessage_(maxMessage), onMessage_(std::move(onMessage)), onBroken_(std::move(onBroken)) {}

void EventAssembler::add(std::span<const std::uint8_t> event) {
  if (event.empty()) return;
  const std::uint8_t first = event.front();
  if (isRealTime(first)) {  // may sit between the pieces of a SysEx without breaking it
    onMessage_(event);
    return;
  }
  if (continuesSysEx(first)) {
    if (!inSysEx_) {
      // The tail of a SysEx whose start was never seen (it began before the port was opened) or
      // that was reported broken already is dropped quietly; any other is itself broken.
      if (!droppingTail_) breakOff();
      return;
    }
  } else {
    if (inSysEx_) breakOff();  // a new message before the SysEx ended
    if (first != kSysExStart) {
      onMessage_(event);
      return;
    }
    inSysEx_ = true;
    droppingTail_ = false;
  }

  const auto end = std::find(event.begin(), event.end(), kSysExEnd);
  const std::size_t count = static_cast<std::size_t>(end - event.begin()) + (end != event.end());
  if (sysEx_.size() + count > maxMessage_) {
    breakOff();
    return;
  }
  sysEx_.insert(sysEx_.end(), event.begin(), event.begin() + static_cast<std::ptrdiff_t>(count));
  if (end != event.end()) finish();
}

void EventAssembler::lost() {
  breakOff();
}

void EventAssembler::restart() {
  sysEx_.clear();
  inSysEx_ = false;
  droppingTail_ = true;
}

void EventAssembler::finish() {
  onMessage_(sysEx_);
  sysEx_.clear();
  inSysEx_ = false;
}

void EventAssembler::breakOff() {
  restart();
  onBroken_();
}

}  // namespace banklore
