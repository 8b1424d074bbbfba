// Turns the events of a JACK MIDI input into whole messages. A SysEx may arrive as consecutive
// events (the first begins with F0, the last ends with F7, those between carry data bytes only),
// with real-time messages between them; every other message is one event.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace banklore {

class EventAssembler {
 public:
  using MessageHandler = std::function<void(std::span<const std::uint8_t> message)>;
  // A SysEx that was cut off, grew past the limit, or lost a piece; its bytes are dropped.
  using BrokenHandler = std::function<void()>;

  EventAssembler(std::size_t maxMessage, MessageHandler onMessage, BrokenHandler onBroken);

  void add(std::span<const std::uint8_t> event);
  // Input was lost in between: reported as a broken SysEx (most input is SysEx), and SysEx data
  // is dropped until the next SysEx starts.
  void lost();
  // Starts afresh (a port was opened): a message in progress is dropped without a word, and so is
  // the tail of one that began before.
  void restart();

 private:
  void finish();
  void breakOff();

  const std::size_t maxMessage_;
  MessageHandler onMessage_;
  BrokenHandler onBroken_;
  std::vector<std::uint8_t> sysEx_;
  bool inSysEx_ = false;
  bool droppingTail_ = true;  // drop SysEx data until the next SysEx starts
};

}  // namespace banklore
