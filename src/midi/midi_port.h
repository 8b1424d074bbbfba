// The program's only door to MIDI: one input and one output device chosen by name, SysEx out, short
// messages and SysEx in through two callbacks. Implements the codec's SysExSender.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/sysex_sender.h"
#include "midi/midi_backend.h"

namespace banklore {

class MidiPort : public SysExSender {
 public:
  static constexpr std::uint32_t MIM_ERROR = 0x3C5;
  static constexpr std::uint32_t MIM_LONGERROR = 0x3C6;

  // Run on the backend's thread. The bytes are valid only during the call. A SysEx message arrives
  // whole in one call; a short message is cut to its length (1 to 3 bytes). A callback may call
  // SendSysEx and the setters, but never Open or Close.
  using MidiDataCallback = std::function<void(MidiPort& port, std::span<const std::uint8_t> bytes)>;
  using MidiErrorCallback = std::function<void(MidiPort& port, std::uint32_t message)>;
  // Receives the text about an input status byte that is not handled; never blocks the MIDI thread.
  using MidiNoticeCallback = std::function<void(const std::string& text)>;

  explicit MidiPort(std::unique_ptr<MidiBackend> backend);
  ~MidiPort() override;  // runs Close
  MidiPort(const MidiPort&) = delete;
  MidiPort& operator=(const MidiPort&) = delete;

  void SetInputDeviceName(std::string_view name);   // at most 255 characters; empty = no input
  void SetOutputDeviceName(std::string_view name);  // at most 255 characters; empty = no output
  void SetDataCallback(MidiDataCallback callback);
  void SetErrorCallback(MidiErrorCallback callback);
  void SetNoticeCallback(MidiNoticeCallback callback);

  // False only when already open, or a name is set for a direction that has no device at all.
  // Names match whole and case-sensitively; of two ports with one name the first listed opens. A
  // name that matches nothing leaves that side closed (logged as MIDIERR_NODEVICE).
  bool Open();
  // Harmless when closed. Waits for a callback in flight; after it returns no callback runs, so the
  // owner may be destroyed.
  void Close();
  bool isOpen() const;
  // Whether Open found and opened the named device of that direction.
  bool isInputOpen() const;
  bool isOutputOpen() const;

  // Safe from the UI thread and from inside a data callback.
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override;

  // Port names as the user sees and the settings store them, in system order.
  std::vector<std::string> inputDeviceNames() const;
  std::vector<std::string> outputDeviceNames() const;

 private:
  // Implementation details are the midi library's; see midi_port.cpp.
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace banklore
