#include "midi/loopback_backend.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <variant>

#include "midi/change_notifier.h"
#include "midi/midi_result.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

using Event = std::variant<std::vector<std::uint8_t>, MidiInputError>;

// Counts messages queued for delivery, so a test can wait until all of them were handled.
class PendingCount {
 public:
  void add(std::size_t n) {
    std::lock_guard lock(mutex_);
    count_ += n;
  }
  void done(std::size_t n) {
    std::lock_guard lock(mutex_);
    count_ -= n;
    if (count_ == 0) idle_.notify_all();
  }
  bool waitIdle(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return idle_.wait_for(lock, timeout, [&] { return count_ == 0; });
  }

 private:
  std::mutex mutex_;
  std::condition_variable idle_;
  std::size_t count_ = 0;
};

PendingCount& pending() {
  static PendingCount count;
  return count;
}

// One open input of one backend: a queue and the thread that empties it into the handlers.
class InputListener : public std::enable_shared_from_this<InputListener> {
 public:
  InputListener(MidiBackend::InputHandler onMessage, MidiBackend::ErrorHandler onError)
      : onMessage_(std::move(onMessage)), onError_(std::move(onError)) {}

  void start() {
    thread_ = std::thread([self = shared_from_this()] { self->run(); });
  }

  void push(Event event) {
    {
      std::lock_guard lock(mutex_);
      if (stopping_) return;
      pending().add(1);
      queue_.push_back(std::move(event));
    }
    wake_.notify_one();
  }

  // After it returns no handler call runs, unless called from a handler (then only that one).
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_one();
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();  // the thread holds itself alive and ends when the handler returns
    } else if (thread_.joinable()) {
      thread_.join();
    }
  }

 private:
  void run() {
    for (;;) {
      Event event;
      {
        std::unique_lock lock(mutex_);
        wake_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
        if (stopping_) {
          pending().done(queue_.size());
          queue_.clear();
          return;
        }
        event = std::move(queue_.front());
        queue_.pop_front();
      }
      if (const auto* bytes = std::get_if<std::vector<std::uint8_t>>(&event)) {
        if (onMessage_) onMessage_(*bytes);
      } else if (onError_) {
        onError_(std::get<MidiInputError>(event));
      }
      pending().done(1);
    }
  }

  MidiBackend::InputHandler onMessage_;
  MidiBackend::ErrorHandler onError_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Event> queue_;
  bool stopping_ = false;
  std::thread thread_;
};

struct Port {
  std::string name;
  LoopbackDirection direction;
  std::vector<std::vector<std::uint8_t>> sent;
  loopback::Responder responder;
  std::vector<std::shared_ptr<InputListener>> listeners;
  std::size_t outputsOpen = 0;
  bool gone = false;  // unplugged: whoever still holds it reaches nothing

  bool isInput() const { return direction != LoopbackDirection::OutputOnly; }
  bool isOutput() const { return direction != LoopbackDirection::InputOnly; }
};

std::shared_ptr<Port> newPort(std::string name, LoopbackDirection direction) {
  auto port = std::make_shared<Port>();
  port->name = std::move(name);
  port->direction = direction;
  return port;
}

struct Registry {
  std::mutex mutex;  // taken before any listener's own lock
  std::vector<std::shared_ptr<Port>> ports;
  // Each backend's, told when ports are unplugged or plugged in.
  std::vector<std::weak_ptr<ChangeNotifier>> notifiers;

  // Callers hold the mutex.
  void announce() {
    std::erase_if(notifiers, [](const auto& notifier) { return notifier.expired(); });
    for (const auto& weak : notifiers) {
      if (const auto notifier = weak.lock()) notifier->wake();
    }
  }
};

Registry& registry() {
  static Registry instance;
  return instance;
}

std::shared_ptr<Port> findPort(Registry& reg, std::string_view name, std::size_t occurrence) {
  for (const auto& port : reg.ports) {
    if (port->name == name && occurrence-- == 0) return port;
  }
  return nullptr;
}

template <typename Select>
std::vector<std::shared_ptr<Port>> listPorts(Select select) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  std::vector<std::shared_ptr<Port>> result;
  for (const auto& port : reg.ports) {
    if (select(*port)) result.push_back(port);
  }
  return result;
}

std::vector<std::string> namesOf(const std::vector<std::shared_ptr<Port>>& ports) {
  std::vector<std::string> names;
  for (const auto& port : ports) names.push_back(port->name);
  return names;
}

bool injectEvent(std::string_view name, const Event& event) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  bool found = false;
  for (const auto& port : reg.ports) {
    if (port->name != name || !port->isInput()) continue;
    found = true;
    for (const auto& listener : port->listeners) listener->push(event);
  }
  return found;
}

class LoopbackBackend : public MidiBackend {
 public:
  LoopbackBackend() {
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    reg.notifiers.push_back(notifier_);
  }

  ~LoopbackBackend() override {
    notifier_->setHandler({});
    closeVirtual();
    closeInput();
    closeOutput();
  }

  std::vector<std::string> inputNames() override {
    std::lock_guard lock(listMutex_);
    listedInputs_ = listPorts([](const Port& port) { return port.isInput(); });
    return namesOf(listedInputs_);
  }

  std::vector<std::string> outputNames() override {
    std::lock_guard lock(listMutex_);
    listedOutputs_ = listPorts([](const Port& port) { return port.isOutput(); });
    return namesOf(listedOutputs_);
  }

  bool openInput(std::size_t index, InputHandler onMessage, ErrorHandler onError) override {
    closeVirtual();
    closeInput();
    std::shared_ptr<Port> port = listed(listedInputs_, index);
    if (!port) return CheckMidiResult(MMSYSERR_BADDEVICEID);
    listenOn(std::move(port), std::move(onMessage), std::move(onError));
    return true;
  }

  void closeInput() override {
    std::shared_ptr<Port> port;
    std::shared_ptr<InputListener> listener;
    {
      std::lock_guard lock(inputMutex_);
      port = std::exchange(inputPort_, nullptr);
      listener = std::exchange(listener_, nullptr);
    }
    if (!listener) return;
    {
      std::lock_guard lock(registry().mutex);
      std::erase(port->listeners, listener);
    }
    listener->stop();
  }

  bool openOutput(std::size_t index) override {
    closeVirtual();
    closeOutput();
    std::shared_ptr<Port> port = listed(listedOutputs_, index);
    if (!port) return CheckMidiResult(MMSYSERR_BADDEVICEID);
    {
      std::lock_guard lock(registry().mutex);
      ++port->outputsOpen;
    }
    std::lock_guard lock(outputMutex_);
    outputPort_ = std::move(port);
    return true;
  }

  void closeOutput() override {
    std::shared_ptr<Port> port;
    bool own = false;
    {
      std::lock_guard lock(outputMutex_);
      port = std::exchange(outputPort_, nullptr);
      own = std::exchange(outputIsOwn_, false);
    }
    if (!port || own) return;
    std::lock_guard lock(registry().mutex);
    --port->outputsOpen;
  }

  // Others send to "<name>:in" (an output to them) and receive from "<name>:out" (an input).
  bool openVirtual(const std::string& clientName, InputHandler onMessage,
                   ErrorHandler onError) override {
    closeVirtual();
    closeInput();
    closeOutput();
    auto in = newPort(clientName + ":in", LoopbackDirection::OutputOnly);
    auto out = newPort(clientName + ":out", LoopbackDirection::InputOnly);
    {
      Registry& reg = registry();
      std::lock_guard lock(reg.mutex);
      if (findPort(reg, in->name, 0) || findPort(reg, out->name, 0)) {
        WriteLog(LogPath(), "Loopback: the name \"%s\" is taken\n", clientName.c_str());
        return CheckMidiResult(MMSYSERR_ALLOCATED);
      }
      reg.ports.push_back(in);
      reg.ports.push_back(out);
    }
    listenOn(in, std::move(onMessage), std::move(onError));
    {
      std::lock_guard lock(outputMutex_);
      outputPort_ = out;
      outputIsOwn_ = true;
    }
    std::lock_guard lock(virtualMutex_);
    virtualPorts_ = {std::move(in), std::move(out)};
    return true;
  }

  void closeVirtual() override {
    std::vector<std::shared_ptr<Port>> ports;
    {
      std::lock_guard lock(virtualMutex_);
      ports = std::exchange(virtualPorts_, {});
    }
    if (ports.empty()) return;
    closeInput();
    closeOutput();
    Registry& reg = registry();
    std::lock_guard lock(reg.mutex);
    std::erase_if(reg.ports, [&](const auto& port) {
      return std::find(ports.begin(), ports.end(), port) != ports.end();
    });
  }

  bool isOutputOpen() const override {
    std::lock_guard lock(outputMutex_);
    return outputPort_ != nullptr;
  }

  void setChangeHandler(ChangeHandler handler) override {
    notifier_->setHandler(std::move(handler));
  }
  bool inputConnected() override {
    std::shared_ptr<Port> port;
    {
      std::lock_guard lock(inputMutex_);
      port = inputPort_;
    }
    std::lock_guard lock(registry().mutex);
    return port && !port->gone;
  }
  bool outputConnected() override {
    std::shared_ptr<Port> port;
    {
      std::lock_guard lock(outputMutex_);
      port = outputPort_;
    }
    std::lock_guard lock(registry().mutex);
    return port && !port->gone;
  }

  bool send(std::span<const std::uint8_t> message) override {
    std::shared_ptr<Port> port;
    {
      std::lock_guard lock(outputMutex_);
      port = outputPort_;
    }
    if (!port) return CheckMidiResult(MMSYSERR_INVALHANDLE);
    std::vector<std::uint8_t> bytes(message.begin(), message.end());
    loopback::Responder responder;
    {
      std::lock_guard lock(registry().mutex);
      if (port->gone) {
        WriteLog(LogPath(), "Loopback: %s has gone, a message of %zu bytes is not sent\n",
                 port->name.c_str(), bytes.size());
        return CheckMidiResult(MIDIERR_NODEVICE);
      }
      port->sent.push_back(bytes);
      for (const auto& listener : port->listeners) listener->push(bytes);
      responder = port->responder;
    }
    // Outside every lock: the responder may inject, or even send again.
    if (responder) responder(bytes);
    return true;
  }

 private:
  void listenOn(std::shared_ptr<Port> port, InputHandler onMessage, ErrorHandler onError) {
    auto listener = std::make_shared<InputListener>(std::move(onMessage), std::move(onError));
    listener->start();
    {
      std::lock_guard lock(registry().mutex);
      port->listeners.push_back(listener);
    }
    std::lock_guard lock(inputMutex_);
    inputPort_ = std::move(port);
    listener_ = std::move(listener);
  }

  std::shared_ptr<Port> listed(const std::vector<std::shared_ptr<Port>>& ports, std::size_t index) {
    std::lock_guard lock(listMutex_);
    return index < ports.size() ? ports[index] : nullptr;
  }

  std::mutex listMutex_;
  std::vector<std::shared_ptr<Port>> listedInputs_;
  std::vector<std::shared_ptr<Port>> listedOutputs_;
  std::mutex inputMutex_;
  std::shared_ptr<Port> inputPort_;
  std::shared_ptr<InputListener> listener_;
  mutable std::mutex outputMutex_;
  std::shared_ptr<Port> outputPort_;
  bool outputIsOwn_ = false;  // the "out" of this backend's virtual ports
  std::mutex virtualMutex_;
  std::vector<std::shared_ptr<Port>> virtualPorts_;
  const std::shared_ptr<ChangeNotifier> notifier_ = std::make_shared<ChangeNotifier>();
};

}  // namespace

std::unique_ptr<MidiBackend> makeLoopbackBackend() {
  return std::make_unique<LoopbackBackend>();
}

namespace loopback {

void addPort(std::string name, LoopbackDirection direction) {
  auto port = newPort(std::move(name), direction);
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  reg.ports.push_back(std::move(port));
}

void reset() {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  reg.ports.clear();
}

std::size_t unplug(std::string_view name) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  const auto removed = std::erase_if(reg.ports, [&](const std::shared_ptr<Port>& port) {
    if (port->name != name) return false;
    port->gone = true;
    return true;
  });
  if (removed > 0) reg.announce();
  return removed;
}

void plugIn(std::string name, LoopbackDirection direction) {
  auto port = newPort(std::move(name), direction);
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  reg.ports.push_back(std::move(port));
  reg.announce();
}

bool inject(std::string_view name, std::vector<std::uint8_t> message) {
  return injectEvent(name, Event(std::move(message)));
}

bool injectError(std::string_view name, MidiInputError error) {
  return injectEvent(name, Event(error));
}

std::vector<std::vector<std::uint8_t>> sentMessages(std::string_view name, std::size_t occurrence) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  const auto port = findPort(reg, name, occurrence);
  return port ? port->sent : std::vector<std::vector<std::uint8_t>>{};
}

void clearSentMessages(std::string_view name) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  for (const auto& port : reg.ports) {
    if (port->name == name) port->sent.clear();
  }
}

void setResponder(std::string_view name, Responder responder) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  for (const auto& port : reg.ports) {
    if (port->name == name) port->responder = responder;
  }
}

std::size_t openInputCount(std::string_view name, std::size_t occurrence) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  const auto port = findPort(reg, name, occurrence);
  return port ? port->listeners.size() : 0;
}

std::size_t openOutputCount(std::string_view name, std::size_t occurrence) {
  Registry& reg = registry();
  std::lock_guard lock(reg.mutex);
  const auto port = findPort(reg, name, occurrence);
  return port ? port->outputsOpen : 0;
}

bool waitUntilIdle(std::chrono::milliseconds timeout) {
  return pending().waitIdle(timeout);
}

}  // namespace loopback
}  // namespace banklore
