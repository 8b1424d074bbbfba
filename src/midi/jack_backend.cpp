#include "midi/jack_backend.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <semaphore.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "midi/byte_ring.h"
#include "midi/callback_gate.h"
#include "midi/change_notifier.h"
#include "midi/event_assembler.h"
#include "midi/jack_output_queue.h"
#include "midi/midi_result.h"
#include "midi/tsan_annotations.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

constexpr const char* kInPort = "in";
constexpr const char* kOutPort = "out";

// What JACK's process thread puts before each input event in the ring.
struct EventHeader {
  std::uint32_t size;
  std::uint32_t generation;  // the input's generation when the event came in
  std::uint32_t lostBefore;  // events were lost (the ring was full) just before this one
};

std::span<const std::uint8_t> bytesOf(const EventHeader& header) {
  return {reinterpret_cast<const std::uint8_t*>(&header), sizeof header};
}

// Input between JACK's process thread (the writer) and the dispatcher thread, which joins events
// into messages and runs the handlers. Shared with that thread, which may finish the handler it is
// in after its endpoint is gone (when that handler closed the endpoint).
class InputPipe {
 public:
  explicit InputPipe(std::size_t ringBytes)
      : ring(ringBytes),
        assembler_(
            kMaxMidiMessageBytes, [this](std::span<const std::uint8_t> m) { deliver(m); },
            [this] { reportBroken(); }) {
    sem_init(&wake_, 0, 0);
  }
  ~InputPipe() { sem_destroy(&wake_); }
  InputPipe(const InputPipe&) = delete;
  InputPipe& operator=(const InputPipe&) = delete;

  // Real-time safe: sem_post takes no lock.
  void wake() { sem_post(&wake_); }

  void run() {
    for (;;) {
      while (sem_wait(&wake_) != 0 && errno == EINTR) {
      }
      if (stopping.load(std::memory_order_acquire)) return;
      drain();
    }
  }
  void stop() {
    stopping.store(true, std::memory_order_release);
    wake();
  }

  // New handlers take over; whatever came in before is dropped.
  void open(MidiBackend::InputHandler onMessage, MidiBackend::ErrorHandler onError) {
    gate_.close();
    generation.fetch_add(1, std::memory_order_acq_rel);
    onMessage_ = std::move(onMessage);
    onError_ = std::move(onError);
    gate_.open();
  }
  // After it returns no handler runs (but the one calling it, if any).
  void close() {
    gate_.close();
    generation.fetch_add(1, std::memory_order_acq_rel);
  }

  ByteRing ring;
  std::atomic<std::uint32_t> generation{0};
  std::atomic<bool> stopping{false};

 private:
  void drain() {
    EventHeader header{};
    while (ring.readable() >= sizeof header) {
      ring.peek({reinterpret_cast<std::uint8_t*>(&header), sizeof header});
      ring.skip(sizeof header);
      event_.resize(header.size);
      ring.read(event_);
      current_ = header.generation;
      if (current_ != generation.load(std::memory_order_acquire)) continue;  // before (re)opening
      if (current_ != assembled_) {
        assembled_ = current_;
        assembler_.restart();
      }
      if (header.lostBefore != 0) assembler_.lost();
      assembler_.add(event_);
    }
  }

  // Handlers run through the gate and only for input of the generation still open.
  template <typename Call>
  void callHandler(Call call) {
    CallbackGate::Pass pass(gate_);
    if (!pass.admitted() || current_ != generation.load(std::memory_order_acquire)) return;
    try {
      call();
    } catch (...) {
      // An exception must not end the dispatcher thread.
      LogMidiFailure("UNSPECIFIED");
    }
  }
  void deliver(std::span<const std::uint8_t> message) {
    callHandler([&] {
      if (onMessage_) onMessage_(message);
    });
  }
  void reportBroken() {
    callHandler([&] {
      if (onError_) onError_(MidiInputError::Long);
    });
  }

  sem_t wake_;
  CallbackGate gate_;
  // Set while the gate is closed, read only through it.
  MidiBackend::InputHandler onMessage_;
  MidiBackend::ErrorHandler onError_;
  // The dispatcher thread's own.
  EventAssembler assembler_;
  std::vector<std::uint8_t> event_;
  std::uint32_t current_ = 0;    // generation of the event being handled
  std::uint32_t assembled_ = 0;  // generation the assembler holds input of
};

// One cycle's JACK MIDI port buffer.
class PortBufferSink : public EventSink {
 public:
  explicit PortBufferSink(void* buffer) : buffer_(buffer) {}
  std::size_t room() override { return buffer_ ? jack_midi_max_event_size(buffer_) : 0; }
  std::uint8_t* reserve(std::size_t size) override {
    return buffer_ ? jack_midi_event_reserve(buffer_, 0, size) : nullptr;
  }

 private:
  void* buffer_;
};

// One JACK client with the ports "in" and "out", each registered when first needed and kept until
// the client closes (unregistering a port JACK's thread may still be reading is what goes wrong).
class JackEndpoint {
  struct Key {};  // only open() constructs

 public:
  JackEndpoint(Key, jack_client_t* client, const JackBackendConfig& config,
               std::shared_ptr<ChangeNotifier> notifier)
      : client_(client),
        notifier_(std::move(notifier)),
        timeout_(config.sendTimeout),
        output_(config.queueBytes, kMaxMidiMessageBytes),
        input_(std::make_shared<InputPipe>(config.queueBytes)) {
    dispatcher_ = std::thread([pipe = input_] { pipe->run(); });
  }

  // Null (logged) when the server does not answer or, with `exactName`, the name is taken. Ports
  // coming and going, and the server ending, wake `notifier`.
  static std::shared_ptr<JackEndpoint> open(const std::string& name, bool exactName,
                                            const JackBackendConfig& config,
                                            std::shared_ptr<ChangeNotifier> notifier) {
    auto options =
        static_cast<jack_options_t>(JackNoStartServer | (exactName ? JackUseExactName : 0));
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name.c_str(), options, &status);
    if (client == nullptr) {
      WriteLog(LogPath(), "JACK: the client \"%s\" could not be opened (status 0x%x)\n",
               name.c_str(), static_cast<unsigned>(status));
      CheckMidiResult(MMSYSERR_NODRIVER);
      return nullptr;
    }
    auto endpoint = std::make_shared<JackEndpoint>(Key{}, client, config, std::move(notifier));
    jack_on_shutdown(client, &JackEndpoint::serverGone, endpoint.get());
    if (jack_set_process_callback(client, &JackEndpoint::process, endpoint.get()) != 0 ||
        jack_set_port_registration_callback(client, &JackEndpoint::portRegistered,
                                            endpoint.get()) != 0 ||
        jack_set_port_connect_callback(client, &JackEndpoint::portsConnected, endpoint.get()) !=
            0 ||
        jack_activate(client) != 0) {
      WriteLog(LogPath(), "JACK: client \"%s\" could not be activated\n", name.c_str());
      CheckMidiResult(MMSYSERR_ERROR);
      return nullptr;
    }
    return endpoint;
  }

  ~JackEndpoint() {
    // JACK's thread stops before the ports and queues it reads go. A client whose server has gone
    // has no thread left to stop; it is only let go.
    if (!serverGone()) jack_deactivate(client_);
    jack_client_close(client_);
    input_->stop();
    if (dispatcher_.get_id() == std::this_thread::get_id()) {
      dispatcher_.detach();  // closed from one of its handlers: it ends when that handler returns
    } else {
      dispatcher_.join();
    }
  }
  JackEndpoint(const JackEndpoint&) = delete;
  JackEndpoint& operator=(const JackEndpoint&) = delete;

  jack_client_t* client() const { return client_; }

  bool hasClientNamed(const std::string& name) const {
    if (serverGone()) return false;
    char* uuid = jack_get_uuid_for_client_name(client_, name.c_str());
    if (uuid == nullptr) return false;
    jack_free(uuid);
    return true;
  }
  bool serverGone() const { return gone_.load(std::memory_order_acquire); }

  // Full port names ("client:port") of the other clients' MIDI ports with the given flag.
  std::vector<std::string> ports(unsigned long flags) const {
    std::vector<std::string> names;
    if (serverGone()) return names;
    const std::string own = std::string(jack_get_client_name(client_)) + ":";
    if (const char** found = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags)) {
      for (const char** name = found; *name != nullptr; ++name) {
        if (std::strncmp(*name, own.c_str(), own.size()) != 0) names.emplace_back(*name);
      }
      jack_free(found);
    }
    return names;
  }

  // The port's full name, registering it first; nullopt (logged) when JACK refuses.
  std::optional<std::string> inputPort() { return portName(inPort_, kInPort, JackPortIsInput); }
  std::optional<std::string> outputPort() { return portName(outPort_, kOutPort, JackPortIsOutput); }
  bool outputConnected() const {
    jack_port_t* port = outPort_.load(std::memory_order_acquire);
    return !serverGone() && port != nullptr && jack_port_connected(port) > 0;
  }
  // Whether our input / output port is joined to the other client's port `other` right now.
  bool inputJoinedTo(const std::string& other) const { return joined(inPort_, other); }
  bool outputJoinedTo(const std::string& other) const { return joined(outPort_, other); }
  // Whether a port of that full name is registered on the server.
  bool hasPort(const std::string& name) const {
    return !serverGone() && jack_port_by_name(client_, name.c_str()) != nullptr;
  }

  void openInput(MidiBackend::InputHandler onMessage, MidiBackend::ErrorHandler onError) {
    input_->open(std::move(onMessage), std::move(onError));
  }
  void closeInput() { input_->close(); }

  // A device output waits for its connection before anything leaves (data written to a port
  // with no connection is lost); a virtual "out" sends whether anyone listens or not.
  void setOutputNeedsConnection(bool needs) {
    needsConnection_.store(needs, std::memory_order_release);
  }

  // Takes the bytes for delivery; false (logged) when refused or when no room came in time.
  bool send(std::span<const std::uint8_t> message) {
    switch (output_.push(message, timeout_)) {
      case JackOutputQueue::Push::Queued:
        return true;
      case JackOutputQueue::Push::Refused:
        WriteLog(LogPath(), "JACK output: a message of %zu bytes is not sent (at most %zu)\n",
                 message.size(), kMaxMidiMessageBytes);
        return CheckMidiResult(MMSYSERR_INVALPARAM);
      case JackOutputQueue::Push::TimedOut:
        WriteLog(LogPath(),
                 "JACK output: a message of %zu bytes is not sent, %zu bytes still queued after "
                 "%lld ms\n",
                 message.size(), output_.queuedBytes(), static_cast<long long>(timeout_.count()));
        return CheckMidiResult(MIDIERR_NOTREADY);
      case JackOutputQueue::Push::Abandoned:
        break;
    }
    WriteLog(LogPath(), "JACK output: the server has gone, a message of %zu bytes is not sent\n",
             message.size());
    return CheckMidiResult(MMSYSERR_NODRIVER);
  }

  // Lets queued output leave before the port is let go: waits while it can leave, and says in the
  // log what could not. Nothing waits for a destination that has gone (JACK may still count the
  // connection to it for a while).
  void finishOutput(bool destinationGone) {
    if (output_.queuedBytes() == 0) return;
    const bool canLeave = !serverGone() && !destinationGone &&
                          (!needsConnection_.load(std::memory_order_acquire) || outputConnected());
    if (canLeave && output_.waitUntilEmpty(timeout_)) return;
    const std::size_t dropped = output_.discardQueued();
    if (dropped == 0) return;
    WriteLog(LogPath(), "JACK output: %zu queued bytes were not delivered\n", dropped);
    CheckMidiResult(MIDIERR_NOTREADY);
  }

 private:
  std::optional<std::string> portName(std::atomic<jack_port_t*>& slot, const char* name,
                                      unsigned long flags) {
    jack_port_t* port = slot.load(std::memory_order_acquire);
    if (port == nullptr) {
      port = jack_port_register(client_, name, JACK_DEFAULT_MIDI_TYPE, flags, 0);
      if (port == nullptr) {
        WriteLog(LogPath(), "JACK: the port \"%s\" could not be registered\n", name);
        CheckMidiResult(MMSYSERR_ERROR);
        return std::nullopt;
      }
      slot.store(port, std::memory_order_release);
    }
    return jack_port_name(port);
  }

  // JACK's process thread: real-time safe (no lock, no allocation, no wait).
  static int process(jack_nframes_t frames, void* self) {
    static_cast<JackEndpoint*>(self)->processCycle(frames);
    return 0;
  }
  void processCycle(jack_nframes_t frames) {
    if (jack_port_t* port = inPort_.load(std::memory_order_acquire)) {
      void* buffer = jack_port_get_buffer(port, frames);
      takeOverJackBuffer(buffer);
      readInput(buffer);
      handOnJackBuffer(buffer);
    }
    if (jack_port_t* port = outPort_.load(std::memory_order_acquire)) {
      void* buffer = jack_port_get_buffer(port, frames);
      takeOverJackBuffer(buffer);
      jack_midi_clear_buffer(buffer);
      const bool canLeave =
          !needsConnection_.load(std::memory_order_acquire) || jack_port_connected(port) > 0;
      PortBufferSink sink(canLeave ? buffer : nullptr);  // without room, only discards happen
      output_.drain(sink);
      handOnJackBuffer(buffer);
    }
  }
  void readInput(void* buffer) {
    const std::uint32_t count = jack_midi_get_event_count(buffer);
    const std::uint32_t generation = input_->generation.load(std::memory_order_acquire);
    bool wrote = false;
    for (std::uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0) continue;
      const EventHeader header{static_cast<std::uint32_t>(event.size), generation, lostInput_};
      if (input_->ring.write(bytesOf(header), {event.buffer, event.size})) {
        lostInput_ = 0;
        wrote = true;
      } else {
        lostInput_ = 1;  // reported with the next event that fits
      }
    }
    if (wrote) input_->wake();
  }

  bool joined(const std::atomic<jack_port_t*>& slot, const std::string& other) const {
    jack_port_t* port = slot.load(std::memory_order_acquire);
    // Asked first: libjack complains on stderr about a port it does not know.
    return port != nullptr && hasPort(other) && jack_port_connected_to(port, other.c_str()) != 0;
  }

  // libjack's threads, which must not be kept: the notifier's thread tells the owner.
  static void serverGone(void* self) {
    auto* endpoint = static_cast<JackEndpoint*>(self);
    endpoint->gone_.store(true, std::memory_order_release);
    endpoint->output_.abandon();
    endpoint->notifier_->wake();
  }
  static void portRegistered(jack_port_id_t, int, void* self) {
    static_cast<JackEndpoint*>(self)->notifier_->wake();
  }
  // A connection cut in a patchbay is a change too: the owner makes it again.
  static void portsConnected(jack_port_id_t, jack_port_id_t, int, void* self) {
    static_cast<JackEndpoint*>(self)->notifier_->wake();
  }

  jack_client_t* client_;
  const std::shared_ptr<ChangeNotifier> notifier_;
  const std::chrono::milliseconds timeout_;
  std::atomic<jack_port_t*> inPort_{nullptr};
  std::atomic<jack_port_t*> outPort_{nullptr};
  std::atomic<bool> needsConnection_{true};
  std::atomic<bool> gone_{false};
  JackOutputQueue output_;
  std::shared_ptr<InputPipe> input_;
  std::uint32_t lostInput_ = 0;  // JACK's process thread's own
  std::thread dispatcher_;
};

class JackBackend : public MidiBackend {
 public:
  JackBackend(const JackBackendConfig& config, std::shared_ptr<ChangeNotifier> notifier,
              std::shared_ptr<JackEndpoint> endpoint)
      : config_(config), notifier_(std::move(notifier)), endpoint_(std::move(endpoint)) {}

  ~JackBackend() override {
    notifier_->setHandler({});
    closeVirtual();
    closeInput();
    closeOutput();
  }

  std::vector<std::string> inputNames() override {
    std::lock_guard lock(listMutex_);
    const auto endpoint = current();
    listedInputs_ = endpoint ? endpoint->ports(JackPortIsOutput) : std::vector<std::string>{};
    return listedInputs_;
  }

  std::vector<std::string> outputNames() override {
    std::lock_guard lock(listMutex_);
    const auto endpoint = current();
    listedOutputs_ = endpoint ? endpoint->ports(JackPortIsInput) : std::vector<std::string>{};
    return listedOutputs_;
  }

  bool openInput(std::size_t index, InputHandler onMessage, ErrorHandler onError) override {
    closeVirtual();
    closeInput();
    const std::optional<std::string> source = listed(listedInputs_, index);
    if (!source) return CheckMidiResult(MMSYSERR_BADDEVICEID);
    const auto endpoint = current();
    if (!endpoint) return false;
    const std::optional<std::string> own = endpoint->inputPort();
    if (!own) return false;
    std::lock_guard lock(inputMutex_);
    endpoint->openInput(std::move(onMessage), std::move(onError));  // before input can flow
    if (!connect(*endpoint, *source, *own)) {
      endpoint->closeInput();
      return false;
    }
    input_ = Connection{endpoint, *source, *own};
    return true;
  }

  void closeInput() override {
    {
      std::lock_guard lock(inputMutex_);
      if (!input_) return;
      input_->endpoint->closeInput();  // a handler in flight finishes first
      disconnect(*input_);
      input_.reset();
    }
    dropLostClient();
  }

  bool openOutput(std::size_t index) override {
    closeVirtual();
    closeOutput();
    const std::optional<std::string> destination = listed(listedOutputs_, index);
    if (!destination) return CheckMidiResult(MMSYSERR_BADDEVICEID);
    const auto endpoint = current();
    if (!endpoint) return false;
    const std::optional<std::string> own = endpoint->outputPort();
    if (!own) return false;
    std::lock_guard lock(outputMutex_);
    endpoint->setOutputNeedsConnection(true);
    if (!connect(*endpoint, *own, *destination)) return false;
    output_ = Connection{endpoint, *own, *destination};
    return true;
  }

  void closeOutput() override {
    {
      std::lock_guard lock(outputMutex_);
      if (!output_) return;
      const bool gone = !output_->to.empty() && !output_->endpoint->hasPort(output_->to);
      output_->endpoint->finishOutput(gone);
      disconnect(*output_);
      output_.reset();
    }
    dropLostClient();
  }

  bool isOutputOpen() const override {
    std::lock_guard lock(outputMutex_);
    return output_.has_value();
  }

  bool send(std::span<const std::uint8_t> message) override {
    std::lock_guard lock(outputMutex_);
    if (!output_) return CheckMidiResult(MMSYSERR_INVALHANDLE);
    // Queued for a port that went away, a message would count as sent and never arrive.
    if (!output_->to.empty() && !output_->endpoint->serverGone() &&
        !output_->endpoint->hasPort(output_->to)) {
      WriteLog(LogPath(), "JACK output: %s has gone, a message of %zu bytes is not sent\n",
               output_->to.c_str(), message.size());
      return CheckMidiResult(MIDIERR_NODEVICE);
    }
    return output_->endpoint->send(message);
  }

  void setChangeHandler(ChangeHandler handler) override {
    notifier_->setHandler(std::move(handler));
  }

  // A device port that is there but not seen connected is connected in place: JACK shows a new
  // connection only from a later cycle on, and one cut in a patchbay should be made again.
  // Closing and opening the side instead raced the connection just made and could leave none.
  bool inputConnected() override {
    std::lock_guard lock(inputMutex_);
    if (!input_) return false;
    JackEndpoint& endpoint = *input_->endpoint;
    if (input_->from.empty()) return !endpoint.serverGone();  // virtual
    if (!endpoint.hasPort(input_->from)) return false;
    return endpoint.inputJoinedTo(input_->from) || connect(endpoint, input_->from, input_->to);
  }

  bool outputConnected() override {
    std::lock_guard lock(outputMutex_);
    if (!output_) return false;
    JackEndpoint& endpoint = *output_->endpoint;
    if (output_->to.empty()) return !endpoint.serverGone();  // virtual
    if (!endpoint.hasPort(output_->to)) return false;
    return endpoint.outputJoinedTo(output_->to) || connect(endpoint, output_->from, output_->to);
  }

  std::string unavailableReason() const override {
    std::lock_guard lock(endpointMutex_);
    if (lostServer_ || (endpoint_ && endpoint_->serverGone()))
      return "the JACK server has gone away";
    if (!endpoint_) return "no JACK server answers";
    return {};
  }

  bool openVirtual(const std::string& clientName, InputHandler onMessage,
                   ErrorHandler onError) override {
    closeVirtual();
    closeInput();
    closeOutput();
    // Asked first: libjack's own refusal is a generic failure, and noisy on stderr.
    if (const auto plain = current(); plain && plain->hasClientNamed(clientName)) {
      WriteLog(LogPath(), "JACK: the client name \"%s\" is taken\n", clientName.c_str());
      return CheckMidiResult(MMSYSERR_ALLOCATED);
    }
    const auto endpoint = JackEndpoint::open(clientName, true, config_, notifier_);
    if (!endpoint || !endpoint->inputPort() || !endpoint->outputPort()) return false;
    endpoint->setOutputNeedsConnection(false);
    endpoint->openInput(std::move(onMessage), std::move(onError));
    {
      std::lock_guard lock(inputMutex_);
      input_ = Connection{endpoint, "", ""};
    }
    {
      std::lock_guard lock(outputMutex_);
      output_ = Connection{endpoint, "", ""};
    }
    std::lock_guard lock(endpointMutex_);
    endpoint_ = endpoint;  // the plain client goes; it is opened again when needed
    virtual_ = true;
    return true;
  }

  void closeVirtual() override {
    {
      std::lock_guard lock(endpointMutex_);
      if (!virtual_) return;
    }
    closeInput();
    closeOutput();
    std::lock_guard lock(endpointMutex_);
    endpoint_.reset();
    virtual_ = false;
  }

 private:
  // An open direction: which client it runs on and the two ports joined (none when virtual).
  struct Connection {
    std::shared_ptr<JackEndpoint> endpoint;
    std::string from;
    std::string to;
  };

  // The client in use, opening the plain one again after virtual ports were closed or the server
  // went away (a new server may run by now).
  std::shared_ptr<JackEndpoint> current() {
    std::lock_guard lock(endpointMutex_);
    if (endpoint_ && endpoint_->serverGone() && !virtual_) endpoint_.reset();
    if (!endpoint_) {
      endpoint_ = JackEndpoint::open(config_.clientName, false, config_, notifier_);
      if (endpoint_) lostServer_ = false;
    }
    return endpoint_;
  }

  // A client whose server has gone is let go as soon as no direction uses it: libjack's state for
  // it does not survive a client of this process joining a new server.
  void dropLostClient() {
    std::shared_ptr<JackEndpoint> lost;
    {
      std::scoped_lock lock(endpointMutex_, inputMutex_, outputMutex_);
      if (!endpoint_ || !endpoint_->serverGone() || virtual_ || input_ || output_) return;
      lost = std::move(endpoint_);
      lostServer_ = true;
    }
    // Destroyed here, outside the locks: it waits for its input thread.
  }

  std::optional<std::string> listed(const std::vector<std::string>& names, std::size_t index) {
    std::lock_guard lock(listMutex_);
    if (index >= names.size()) return std::nullopt;
    return names[index];
  }

  static bool connect(JackEndpoint& endpoint, const std::string& from, const std::string& to) {
    if (endpoint.serverGone()) return CheckMidiResult(MMSYSERR_NODRIVER);
    const int result = jack_connect(endpoint.client(), from.c_str(), to.c_str());
    if (result == 0 || result == EEXIST) return true;
    WriteLog(LogPath(), "JACK: cannot connect %s to %s\n", from.c_str(), to.c_str());
    return CheckMidiResult(MMSYSERR_BADDEVICEID);
  }

  static void disconnect(const Connection& connection) {
    if (connection.from.empty() || connection.endpoint->serverGone()) return;
    // The other side may have gone already; libjack would complain about it on stderr.
    const JackEndpoint& endpoint = *connection.endpoint;
    if (!endpoint.hasPort(connection.from) || !endpoint.hasPort(connection.to)) return;
    jack_disconnect(endpoint.client(), connection.from.c_str(), connection.to.c_str());
  }

  const JackBackendConfig config_;
  const std::shared_ptr<ChangeNotifier> notifier_;
  mutable std::mutex endpointMutex_;
  std::shared_ptr<JackEndpoint> endpoint_;
  bool lostServer_ = false;  // the client was let go because its server went away
  bool virtual_ = false;
  std::mutex listMutex_;
  std::vector<std::string> listedInputs_;
  std::vector<std::string> listedOutputs_;
  // An input handler may send, so the two directions have locks of their own.
  std::mutex inputMutex_;
  std::optional<Connection> input_;
  mutable std::mutex outputMutex_;
  std::optional<Connection> output_;
};

}  // namespace

std::unique_ptr<MidiBackend> makeJackBackend(const JackBackendConfig& config) {
  auto notifier = std::make_shared<ChangeNotifier>();
  auto endpoint = JackEndpoint::open(config.clientName, false, config, notifier);
  if (!endpoint) return nullptr;
  return std::make_unique<JackBackend>(config, std::move(notifier), std::move(endpoint));
}

}  // namespace banklore
