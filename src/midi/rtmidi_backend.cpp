#include "midi/rtmidi_backend.h"

#include <RtMidi.h>

#include <algorithm>
#include <array>
#include <exception>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "midi/callback_gate.h"
#include "midi/change_notifier.h"
#include "midi/midi_result.h"
#include "midi/port_names.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

// Set while this thread is inside one of our own RtMidi calls: an error reported then belongs to
// that call; one reported on any other thread is an input error of RtMidi's own thread.
thread_local bool t_insideCall = false;

constexpr const char* kInClient = "Banklore In";
constexpr const char* kOutClient = "Banklore Out";

// What RtMidi's error callback reports into, one per RtMidi object.
struct Side {
  bool failed = false;  // an error was reported during the current call
  bool isInput = false;
  MidiBackend::ErrorHandler onError;  // input side only, guarded by the gate below
  CallbackGate* gate = nullptr;
};

// The open input's handlers, reached from RtMidi's thread through the gate.
struct InputContext {
  CallbackGate gate;
  MidiBackend::InputHandler onMessage;
};

void onRtMidiError(RtMidiError::Type type, const std::string& text, void* user) {
  if (type == RtMidiError::DEBUG_WARNING) return;
  if (type == RtMidiError::WARNING) {
    // Advice, not a failure: the call it came from went on.
    WriteLog(LogPath(), "RtMidi: %s\n", text.c_str());
    return;
  }
  auto* side = static_cast<Side*>(user);
  LogMidiFailure(rtMidiErrorName(type));
  if (t_insideCall) {
    side->failed = true;
    return;
  }
  // Reported by RtMidi's input thread: input was lost or broken. Most input here is SysEx, and a
  // lost piece breaks the message it belonged to.
  if (!side->isInput || side->gate == nullptr) return;
  CallbackGate::Pass pass(*side->gate);
  if (!pass.admitted() || !side->onError) return;
  try {
    side->onError(MidiInputError::Long);
  } catch (...) {
    LogMidiFailure("UNSPECIFIED");
  }
}

void onRtMidiMessage(double /*timeStamp*/, std::vector<unsigned char>* message, void* user) {
  auto* context = static_cast<InputContext*>(user);
  CallbackGate::Pass pass(context->gate);
  if (!pass.admitted() || message == nullptr || message->empty()) return;
  try {
    context->onMessage(*message);
  } catch (...) {
    // An exception must not unwind into RtMidi's (or JACK's) thread.
    LogMidiFailure("UNSPECIFIED");
  }
}

// Runs one RtMidi call: errors reported through the callback or thrown are logged and turn into
// false.
template <typename Call>
bool guarded(Side& side, Call call) {
  side.failed = false;
  t_insideCall = true;
  try {
    call();
  } catch (const RtMidiError& error) {
    LogMidiFailure(rtMidiErrorName(error.getType()));
    side.failed = true;
  } catch (const std::exception&) {
    LogMidiFailure("UNSPECIFIED");
    side.failed = true;
  }
  t_insideCall = false;
  return !side.failed;
}

class RtMidiBackend : public MidiBackend {
 public:
  RtMidiBackend(RtMidiApi api, std::unique_ptr<RtMidiIn> in, std::unique_ptr<RtMidiOut> out)
      : api_(api), in_(std::move(in)), out_(std::move(out)) {
    inSide_.isInput = true;
    inSide_.gate = &context_.gate;
    in_->setErrorCallback(&onRtMidiError, &inSide_);
    out_->setErrorCallback(&onRtMidiError, &outSide_);
  }

  ~RtMidiBackend() override {
    notifier_.setHandler({});
    closeVirtual();
    closeInput();
    closeOutput();
    std::lock_guard inputLock(inputMutex_);
    disconnectInput();
    std::lock_guard outputLock(outputMutex_);
    disconnectOutput();
  }

  std::vector<std::string> inputNames() override {
    std::lock_guard lock(inputMutex_);
    listedInputs_ = listPorts(*in_, inSide_);
    return listedInputs_;
  }

  std::vector<std::string> outputNames() override {
    std::lock_guard lock(outputMutex_);
    listedOutputs_ = listPorts(*out_, outSide_);
    return listedOutputs_;
  }

  bool openInput(std::size_t index, InputHandler onMessage, ErrorHandler onError) override {
    closeVirtual();
    closeInput();
    std::lock_guard lock(inputMutex_);
    if (!stillListed(*in_, inSide_, listedInputs_, index)) return false;
    context_.onMessage = std::move(onMessage);
    inSide_.onError = std::move(onError);
    if (connectedInput_ == listedInputs_[index]) {  // still connected from before (JACK only)
      context_.gate.open();
      inputOpen_ = true;
      return true;
    }
    disconnectInput();
    context_.gate.open();
    const auto port = static_cast<unsigned int>(index);
    const bool opened =
        guarded(inSide_, [&] { listenOn([&] { in_->openPort(port, "midi_in"); }); });
    if (!opened) {
      context_.gate.close();
      disconnectInput();
      return false;
    }
    connectedInput_ = listedInputs_[index];
    connectedInputAt_ = rawName(*in_, inSide_, index);
    inputOpen_ = true;
    return true;
  }

  void closeInput() override {
    std::lock_guard lock(inputMutex_);
    if (!inputOpen_) return;
    context_.gate.close();  // a handler in flight finishes first; none starts after this
    // RtMidi's JACK port can be unregistered while JACK's process thread still reads it, which
    // crashes or hands over stale bytes when input is streaming. So on JACK the port stays
    // connected, its input dropped by the closed gate, and is only let go when another port is
    // opened or the backend ends.
    if (api_ != RtMidiApi::Jack) disconnectInput();
    inputOpen_ = false;
  }

  bool openOutput(std::size_t index) override {
    closeVirtual();
    closeOutput();
    std::lock_guard lock(outputMutex_);
    if (!stillListed(*out_, outSide_, listedOutputs_, index)) return false;
    if (connectedOutput_ == listedOutputs_[index]) return outputOpen_ = true;
    disconnectOutput();
    const auto port = static_cast<unsigned int>(index);
    outputOpen_ = guarded(outSide_, [&] { out_->openPort(port, "midi_out"); });
    if (outputOpen_) {
      connectedOutput_ = listedOutputs_[index];
      connectedOutputAt_ = rawName(*out_, outSide_, index);
    } else {
      disconnectOutput();
    }
    return outputOpen_;
  }

  void closeOutput() override {
    std::lock_guard lock(outputMutex_);
    if (!outputOpen_) return;
    // As with input: on JACK the port stays registered (nothing is sent while closed).
    if (api_ != RtMidiApi::Jack) disconnectOutput();
    outputOpen_ = false;
  }

  bool isOutputOpen() const override {
    std::lock_guard lock(outputMutex_);
    return outputOpen_;
  }

  // RtMidi tells nothing of ports that come and go: the notifier polls the listing, whose ALSA
  // addresses also change when a device is plugged in again.
  void setChangeHandler(ChangeHandler handler) override {
    notifier_.setHandler(std::move(handler));
  }
  // A port that went away takes the connection with it: the next open of that name (back again)
  // connects afresh, also on JACK, where a closed port otherwise stays connected.
  bool inputConnected() override {
    std::lock_guard lock(inputMutex_);
    if (!inputOpen_ || !connectedInputAt_) return false;
    if (listed(*in_, inSide_, *connectedInputAt_)) return true;
    connectedInput_.reset();
    return false;
  }
  bool outputConnected() override {
    std::lock_guard lock(outputMutex_);
    if (!outputOpen_ || !connectedOutputAt_) return false;
    if (listed(*out_, outSide_, *connectedOutputAt_)) return true;
    connectedOutput_.reset();
    return false;
  }

  bool send(std::span<const std::uint8_t> message) override {
    std::lock_guard lock(outputMutex_);
    if (!outputOpen_) return CheckMidiResult(MMSYSERR_INVALHANDLE);
    return guarded(outSide_, [&] { out_->sendMessage(message.data(), message.size()); });
  }

  // ALSA: two sequencer clients of that name (RtMidi gives each direction a client of its own),
  // one with the port "in", one with "out". ALSA lets a name be used twice, so it is never taken.
  bool openVirtual(const std::string& clientName, InputHandler onMessage,
                   ErrorHandler onError) override {
    closeVirtual();
    closeInput();
    closeOutput();
    if (api_ != RtMidiApi::Alsa) return MidiBackend::openVirtual(clientName, {}, {});
    bool opened = false;
    {
      std::scoped_lock lock(inputMutex_, outputMutex_);
      disconnectInput();
      disconnectOutput();
      context_.onMessage = std::move(onMessage);
      inSide_.onError = std::move(onError);
      context_.gate.open();
      virtualOpen_ = true;  // even half open: closeVirtual undoes the names and ports
      opened = guarded(inSide_,
                       [&] {
                         in_->setClientName(clientName);
                         listenOn([&] { in_->openVirtualPort("in"); });
                       }) &&
               guarded(outSide_, [&] {
                 out_->setClientName(clientName);
                 out_->openVirtualPort("out");
               });
      inputOpen_ = outputOpen_ = opened;
    }
    if (!opened) closeVirtual();
    return opened;
  }

  void closeVirtual() override {
    {
      std::lock_guard lock(inputMutex_);
      if (!virtualOpen_) return;
    }
    // A handler in flight may send: it finishes before the output lock is taken.
    context_.gate.close();
    std::scoped_lock lock(inputMutex_, outputMutex_);
    if (virtualOpen_) releaseVirtual();
  }

 private:
  std::string displayName(const std::string& rtMidiName) const {
    return api_ == RtMidiApi::Alsa ? withoutAlsaAddress(rtMidiName) : rtMidiName;
  }

  template <typename Port>
  std::vector<std::string> listPorts(Port& port, Side& side) {
    std::vector<std::string> names;
    guarded(side, [&] {
      const unsigned int count = port.getPortCount();
      for (unsigned int i = 0; i < count; ++i) names.push_back(displayName(port.getPortName(i)));
    });
    return names;
  }

  // RtMidi's own name of a port, with its ALSA address.
  template <typename Port>
  std::optional<std::string> rawName(Port& port, Side& side, std::size_t index) {
    std::string name;
    if (!guarded(side, [&] { name = port.getPortName(static_cast<unsigned>(index)); })) {
      return std::nullopt;
    }
    return name;
  }
  template <typename Port>
  std::vector<std::string> rawNames(Port& port, Side& side) {
    std::vector<std::string> names;
    guarded(side, [&] {
      const unsigned int count = port.getPortCount();
      for (unsigned int i = 0; i < count; ++i) names.push_back(port.getPortName(i));
    });
    return names;
  }
  template <typename Port>
  bool listed(Port& port, Side& side, const std::string& raw) {
    const std::vector<std::string> names = rawNames(port, side);
    return std::find(names.begin(), names.end(), raw) != names.end();
  }
  // Both directions' listings in one text, for the notifier (on its thread).
  std::string listing() {
    std::string text;
    {
      std::lock_guard lock(inputMutex_);
      for (const std::string& name : rawNames(*in_, inSide_)) text += name + '\n';
    }
    text += '\n';
    std::lock_guard lock(outputMutex_);
    for (const std::string& name : rawNames(*out_, outSide_)) text += name + '\n';
    return text;
  }

  // Ports come and go between listing and opening; open only the port the caller chose by name.
  template <typename Port>
  bool stillListed(Port& port, Side& side, const std::vector<std::string>& listed,
                   std::size_t index) {
    std::string current;
    if (index < listed.size()) {
      guarded(side, [&] { current = displayName(port.getPortName(static_cast<unsigned>(index))); });
    }
    if (index >= listed.size() || current != listed[index]) {
      LogMidiFailure(rtMidiErrorName(RtMidiError::INVALID_DEVICE));
      return false;
    }
    return true;
  }

  // Opens input with our callback set first. Callers hold the input mutex.
  template <typename Open>
  void listenOn(Open open) {
    in_->ignoreTypes(false, true, true);  // SysEx in; clock and active sensing stay out
    in_->setCallback(&onRtMidiMessage, &context_);
    callbackSet_ = true;
    open();
  }

  // Let go of the RtMidi ports; callers hold the direction's mutex and have closed its gate.
  void disconnectInput() {
    guarded(inSide_, [&] {
      in_->closePort();
      // Cancelling a callback that was never set makes RtMidi warn.
      if (callbackSet_) in_->cancelCallback();
      callbackSet_ = false;
    });
    connectedInput_.reset();
    connectedInputAt_.reset();
  }
  void disconnectOutput() {
    guarded(outSide_, [&] { out_->closePort(); });
    connectedOutput_.reset();
    connectedOutputAt_.reset();
  }

  // Callers hold both mutexes and have closed the gate.
  void releaseVirtual() {
    disconnectInput();
    disconnectOutput();
    guarded(inSide_, [&] { in_->setClientName(kInClient); });
    guarded(outSide_, [&] { out_->setClientName(kOutClient); });
    inputOpen_ = outputOpen_ = virtualOpen_ = false;
  }

  const RtMidiApi api_;
  // The context outlives the RtMidi objects declared after it, whose threads point into it.
  InputContext context_;
  Side inSide_;
  Side outSide_;
  mutable std::mutex inputMutex_;
  mutable std::mutex outputMutex_;
  std::unique_ptr<RtMidiIn> in_;
  std::unique_ptr<RtMidiOut> out_;
  std::vector<std::string> listedInputs_;
  std::vector<std::string> listedOutputs_;
  bool inputOpen_ = false;
  bool outputOpen_ = false;
  bool callbackSet_ = false;
  bool virtualOpen_ = false;
  // The ports the RtMidi objects are connected to, which on JACK outlive a close.
  std::optional<std::string> connectedInput_;
  std::optional<std::string> connectedOutput_;
  // The same as RtMidi names them, with the ALSA address they had when opened.
  std::optional<std::string> connectedInputAt_;
  std::optional<std::string> connectedOutputAt_;
  // Last: its thread polls through the members above, so it stops first.
  ChangeNotifier notifier_{[this] { return listing(); }};
};

}  // namespace

const char* rtMidiErrorName(int type) {
  static constexpr std::array<const char*, 11> kNames{
      "WARNING",        "DEBUG_WARNING", "UNSPECIFIED",       "NO_DEVICES_FOUND",
      "INVALID_DEVICE", "MEMORY_ERROR",  "INVALID_PARAMETER", "INVALID_USE",
      "DRIVER_ERROR",   "SYSTEM_ERROR",  "THREAD_ERROR"};
  if (type < 0 || static_cast<std::size_t>(type) >= kNames.size()) return "UNSPECIFIED";
  return kNames[static_cast<std::size_t>(type)];
}

std::unique_ptr<MidiBackend> makeRtMidiBackend(RtMidiApi api) {
  const RtMidi::Api rtApi = api == RtMidiApi::Alsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
  try {
    auto in = std::make_unique<RtMidiIn>(rtApi, kInClient);
    auto out = std::make_unique<RtMidiOut>(rtApi, kOutClient);
    return std::make_unique<RtMidiBackend>(api, std::move(in), std::move(out));
  } catch (const RtMidiError& error) {
    LogMidiFailure(rtMidiErrorName(error.getType()));
  } catch (const std::exception&) {
    LogMidiFailure("UNSPECIFIED");
  }
  return nullptr;
}

}  // namespace banklore
