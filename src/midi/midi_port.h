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
  // Run on a backend thread when MIDI ports may have come or gone or the MIDI system went away;
  // the owner answers on its own thread with Reconnect.
  using MidiDevicesCallback = std::function<void()>;

  enum class Direction { In, Out };
  // What Reconnect found and did about one side, or about the MIDI system.
  struct DeviceChange {
    enum class Kind {
      Lost,         // the named device went away; that side is closed
      Reconnected,  // it is back and open again
      Connected,    // a named device that was missing when the port opened is there now
      SystemGone,   // the MIDI system itself went away (`name` says how); both sides closed
    };
    Kind kind;
    Direction direction;
    std::string name;
    bool operator==(const DeviceChange&) const = default;
  };

  explicit MidiPort(std::unique_ptr<MidiBackend> backend);
  ~MidiPort() override;  // runs Close
  MidiPort(const MidiPort&) = delete;
  MidiPort& operator=(const MidiPort&) = delete;

  void SetInputDeviceName(std::string_view name);   // at most 255 characters; empty = no input
  void SetOutputDeviceName(std::string_view name);  // at most 255 characters; empty = no output
  void SetDataCallback(MidiDataCallback callback);
  void SetErrorCallback(MidiErrorCallback callback);
  void SetNoticeCallback(MidiNoticeCallback callback);
  void SetDevicesCallback(MidiDevicesCallback callback);

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

  // Brings each named side in line with the system, from Open (also one that found nothing) until
  // Close: a side whose device went away is closed, a side whose device is listed (again) is
  // opened. Returns what changed; nothing while no change is due. Called on the owner's thread.
  std::vector<DeviceChange> Reconnect();
  // Why there is no MIDI system behind the port (empty while there is one), in words for the user.
  std::string systemProblem() const;
  // Closes the port and puts it on another backend (say, the system's found anew); the names and
  // callbacks stay. A null backend is ignored.
  void ReplaceBackend(std::unique_ptr<MidiBackend> backend);

  // Safe from the UI thread and from inside a data callback.
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override;

  // Port names as the user sees and the settings store them, in system order.
  std::vector<std::string> inputDeviceNames() const;
  std::vector<std::string> outputDeviceNames() const;

 private:
  void listenForDeviceChanges();
  // One side at a time, on the owner's thread.
  void openInputAt(std::size_t index);
  void openOutputAt(std::size_t index);
  void closeInputSide();
  void closeOutputSide();

  // Implementation details are the midi library's; see midi_port.cpp.
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace banklore
