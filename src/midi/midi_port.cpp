#include "midi/midi_port.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <string>

#include "midi/midi_result.h"
#include "midi/short_message.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

constexpr std::size_t kMaxDeviceName = 255;
constexpr std::size_t kMaxDumpedBytes = 16;

// The first of the ports named exactly `name` (case-sensitive); the system order decides between
// two ports of the same name.
std::optional<std::size_t> findByName(const std::vector<std::string>& names,
                                      const std::string& name) {
  const auto it = std::find(names.begin(), names.end(), name);
  if (it == names.end()) return std::nullopt;
  return static_cast<std::size_t>(it - names.begin());
}

bool isDataByte(std::uint8_t byte) {
  return byte < 0x80;
}

}  // namespace

// Threads: Open, Close, the setters and the listings are called on one thread (the UI thread).
// The backend's thread runs the input handlers; SendSysEx may come from either.
struct MidiPort::State {
  explicit State(std::unique_ptr<MidiBackend> b) : backend(std::move(b)) {}

  std::unique_ptr<MidiBackend> backend;
  std::string inputName;
  std::string outputName;
  std::atomic<bool> open{false};
  bool inputOpen = false;
  // From Open until Close: the named devices are wanted, so Reconnect brings them back.
  bool wanted = false;
  // A side was open since Open: its return is a reconnection.
  bool inputWasOpen = false;
  bool outputWasOpen = false;
  bool systemGoneTold = false;

  // The owner's callbacks, read by the backend's thread: copied out under the lock and called
  // outside it, so a callback may set callbacks or send without deadlocking.
  std::mutex callbackMutex;
  MidiDataCallback data;
  MidiErrorCallback error;
  MidiNoticeCallback notice;
  MidiDevicesCallback devices;

  // Serialises sending against opening and closing the output.
  std::mutex outputMutex;

  // Input handlers, run on the backend's thread.
  void handleInput(MidiPort& port, std::span<const std::uint8_t> message);
  void handleInputError(MidiPort& port, MidiInputError kind);
  void notify(const std::string& text);
  // A copy of one of the owner's callbacks, taken under the lock.
  template <typename Callback>
  Callback copied(const Callback& callback) {
    std::lock_guard lock(callbackMutex);
    return callback;
  }
};

MidiPort::MidiPort(std::unique_ptr<MidiBackend> backend)
    : state_(std::make_unique<State>(std::move(backend))) {
  listenForDeviceChanges();
}

MidiPort::~MidiPort() {
  Close();
  // The backend's thread may be about to tell: not after this.
  if (state_->backend) state_->backend->setChangeHandler({});
}

void MidiPort::listenForDeviceChanges() {
  if (!state_->backend) return;
  state_->backend->setChangeHandler([this] {
    if (const MidiDevicesCallback callback = state_->copied(state_->devices)) callback();
  });
}

void MidiPort::SetInputDeviceName(std::string_view name) {
  state_->inputName.assign(name.substr(0, kMaxDeviceName));
}

void MidiPort::SetOutputDeviceName(std::string_view name) {
  state_->outputName.assign(name.substr(0, kMaxDeviceName));
}

void MidiPort::SetDataCallback(MidiDataCallback callback) {
  std::lock_guard lock(state_->callbackMutex);
  state_->data = std::move(callback);
}

void MidiPort::SetErrorCallback(MidiErrorCallback callback) {
  std::lock_guard lock(state_->callbackMutex);
  state_->error = std::move(callback);
}

void MidiPort::SetNoticeCallback(MidiNoticeCallback callback) {
  std::lock_guard lock(state_->callbackMutex);
  state_->notice = std::move(callback);
}

void MidiPort::SetDevicesCallback(MidiDevicesCallback callback) {
  std::lock_guard lock(state_->callbackMutex);
  state_->devices = std::move(callback);
}

bool MidiPort::Open() {
  State& s = *state_;
  if (s.open || !s.backend) return false;
  s.wanted = true;
  s.inputWasOpen = s.outputWasOpen = s.systemGoneTold = false;
  const std::vector<std::string> inputs = s.backend->inputNames();
  const std::vector<std::string> outputs = s.backend->outputNames();
  if (inputs.empty() && !s.inputName.empty()) return false;
  if (outputs.empty() && !s.outputName.empty()) return false;

  if (!s.inputName.empty()) {
    if (const auto index = findByName(inputs, s.inputName)) {
      openInputAt(*index);
    } else {
      CheckMidiResult(MIDIERR_NODEVICE);
    }
  }
  if (!s.outputName.empty()) {
    if (const auto index = findByName(outputs, s.outputName)) {
      openOutputAt(*index);
    } else {
      CheckMidiResult(MIDIERR_NODEVICE);
    }
  }
  s.open = true;
  return true;
}

void MidiPort::Close() {
  State& s = *state_;
  s.wanted = false;
  if (!s.open) return;
  s.open = false;
  closeInputSide();
  closeOutputSide();
}

void MidiPort::openInputAt(std::size_t index) {
  State& s = *state_;
  s.inputOpen = s.backend->openInput(
      index, [this](std::span<const std::uint8_t> message) { state_->handleInput(*this, message); },
      [this](MidiInputError error) { state_->handleInputError(*this, error); });
  if (!s.inputOpen) return;
  s.inputWasOpen = true;
  WriteLog(LogPath(), "MM_MIM_OPEN\n");
}

void MidiPort::openOutputAt(std::size_t index) {
  State& s = *state_;
  std::lock_guard lock(s.outputMutex);
  if (!s.backend->openOutput(index)) return;
  s.outputWasOpen = true;
  WriteLog(LogPath(), "MM_MOM_OPEN\n");
}

void MidiPort::closeInputSide() {
  State& s = *state_;
  if (!s.inputOpen) return;
  // Waits for a handler in flight; no lock of ours is held, so that handler may still send.
  s.backend->closeInput();
  s.inputOpen = false;
  WriteLog(LogPath(), "MM_MIM_CLOSE\n");
}

void MidiPort::closeOutputSide() {
  State& s = *state_;
  std::lock_guard lock(s.outputMutex);
  if (!s.backend->isOutputOpen()) return;
  s.backend->closeOutput();
  WriteLog(LogPath(), "MM_MOM_CLOSE\n");
}

std::vector<MidiPort::DeviceChange> MidiPort::Reconnect() {
  State& s = *state_;
  std::vector<DeviceChange> changes;
  if (!s.wanted || !s.backend) return changes;
  if (std::string why = s.backend->unavailableReason(); !why.empty()) {
    // Nothing reaches through the old ports; they come back once the system does (Setup).
    closeInputSide();
    closeOutputSide();
    if (!s.systemGoneTold) changes.push_back({DeviceChange::Kind::SystemGone, Direction::In, why});
    s.systemGoneTold = true;
    return changes;
  }
  s.systemGoneTold = false;

  // A side whose device went away is closed; one whose device is listed is opened, so a device
  // that went and came back between two calls is a reconnection, not a loss.
  const auto follow = [&](Direction direction, const std::string& name) {
    if (name.empty()) return;
    const bool input = direction == Direction::In;
    bool lost = false;
    if (input ? s.inputOpen : isOutputOpen()) {
      if (input ? s.backend->inputConnected() : s.backend->outputConnected()) return;
      input ? closeInputSide() : closeOutputSide();
      lost = true;
    }
    const bool wasOpen = input ? s.inputWasOpen : s.outputWasOpen;
    const std::vector<std::string> names =
        input ? s.backend->inputNames() : s.backend->outputNames();
    if (const auto index = findByName(names, name)) {
      input ? openInputAt(*index) : openOutputAt(*index);
      if (input ? s.inputOpen : isOutputOpen()) {
        s.open = true;
        using Kind = DeviceChange::Kind;
        changes.push_back({wasOpen ? Kind::Reconnected : Kind::Connected, direction, name});
        return;
      }
    }
    if (lost) changes.push_back({DeviceChange::Kind::Lost, direction, name});
  };
  follow(Direction::In, s.inputName);
  follow(Direction::Out, s.outputName);
  return changes;
}

std::string MidiPort::systemProblem() const {
  return state_->backend ? state_->backend->unavailableReason() : std::string();
}

void MidiPort::ReplaceBackend(std::unique_ptr<MidiBackend> backend) {
  if (!backend) return;
  Close();
  if (state_->backend) state_->backend->setChangeHandler({});
  state_->backend = std::move(backend);
  listenForDeviceChanges();
}

bool MidiPort::isOpen() const {
  return state_->open;
}

bool MidiPort::isInputOpen() const {
  return state_->inputOpen;
}

bool MidiPort::isOutputOpen() const {
  std::lock_guard lock(state_->outputMutex);
  return state_->backend && state_->backend->isOutputOpen();
}

bool MidiPort::SendSysEx(const std::uint8_t* bytes, std::size_t length) {
  State& s = *state_;
  if (length == 0 || bytes == nullptr || !s.open) return false;

  // The dump is written in one piece: a line logged by the other thread meanwhile cannot land in
  // the middle of it, and a send opens the log once rather than up to eighteen times.
  std::string dump;
  char hex[8];
  const std::size_t dumped = std::min(length - 1, kMaxDumpedBytes);
  for (std::size_t i = 0; i < dumped; ++i) {
    std::snprintf(hex, sizeof hex, "%02x, ", bytes[i]);
    dump += hex;
  }
  std::snprintf(hex, sizeof hex, "%02x\n", bytes[length - 1]);
  dump += hex;
  WriteLog(LogPath(), "Attempting to send %ld bytes:\n%s", static_cast<long>(length), dump.c_str());

  std::lock_guard lock(s.outputMutex);
  if (!s.backend->isOutputOpen()) return CheckMidiResult(MMSYSERR_INVALHANDLE);
  if (!s.backend->send(std::span(bytes, length))) return false;
  WriteLog(LogPath(), "MM_MOM_DONE\n");
  return true;
}

std::vector<std::string> MidiPort::inputDeviceNames() const {
  return state_->backend ? state_->backend->inputNames() : std::vector<std::string>{};
}

std::vector<std::string> MidiPort::outputDeviceNames() const {
  return state_->backend ? state_->backend->outputNames() : std::vector<std::string>{};
}

void MidiPort::State::handleInput(MidiPort& port, std::span<const std::uint8_t> message) {
  if (message.empty()) return;
  if (message[0] == 0xF0) {
    WriteLog(LogPath(), "MIM_LONGDATA\n");
    // The owner gets bytes of its port's own, whatever the backend does with its buffer.
    const std::vector<std::uint8_t> copy(message.begin(), message.end());
    if (const MidiDataCallback callback = copied(data)) callback(port, copy);
    return;
  }

  WriteLog(LogPath(), "MIM_DATA/MIM_MOREDATA\n");
  const std::uint8_t cls = statusClass(message[0]);
  const std::optional<std::size_t> length = shortMessageLength(cls);
  if (!length) {
    const std::string text = unknownStatusText(cls);
    WriteLog(LogPath(), "%s\n", text.c_str());
    notify(text);
    return;
  }
  // A message cut short or carrying a status byte where data belongs is garbled: passing it on
  // padded would forge a different message (a note-on without velocity is a note-off).
  const bool garbled = message.size() < *length ||
                       !std::all_of(message.begin() + 1, message.begin() + *length, isDataByte);
  if (garbled) {
    handleInputError(port, MidiInputError::Short);
    return;
  }
  std::array<std::uint8_t, 3> bytes{};
  std::copy_n(message.begin(), *length, bytes.begin());
  if (const MidiDataCallback callback = copied(data)) {
    callback(port, std::span<const std::uint8_t>(bytes.data(), *length));
  }
}

void MidiPort::State::handleInputError(MidiPort& port, MidiInputError kind) {
  const bool isLong = kind == MidiInputError::Long;
  WriteLog(LogPath(), isLong ? "MM_MIM_LONGERROR\n" : "MM_MIM_ERROR\n");
  if (const MidiErrorCallback callback = copied(error)) {
    callback(port, isLong ? MIM_LONGERROR : MIM_ERROR);
  }
}

void MidiPort::State::notify(const std::string& text) {
  if (const MidiNoticeCallback callback = copied(notice)) callback(text);
}

}  // namespace banklore
