// MIDI devices that come and go while the program runs (a USB synth unplugged and plugged in
// again, an instrument program restarted, the JACK server ended), and a MIDI system that was
// missing at start: what is reconnected, and what the user is told.
#include <string>

#include "app/main_window.h"
#include "app/text_format.h"
#include "platform/debug_log.h"

namespace banklore {
namespace {

constexpr std::size_t kTextCapacity = 1024;

std::string changeText(const MidiPort::DeviceChange& change) {
  using Kind = MidiPort::DeviceChange::Kind;
  const char* side = change.direction == MidiPort::Direction::In ? "MIDI IN" : "MIDI OUT";
  const char* name = change.name.c_str();
  switch (change.kind) {
    case Kind::Lost:
      return formatText(kTextCapacity, "%s %s is gone; it is reconnected when it is back.", side,
                        name);
    case Kind::Reconnected:
      return formatText(kTextCapacity, "%s %s reconnected.", side, name);
    case Kind::Connected:
      return formatText(kTextCapacity, "%s %s connected.", side, name);
    case Kind::SystemGone:
      break;
  }
  return formatText(kTextCapacity, "No MIDI: %s. Setup tries again.", name);
}

}  // namespace

void MainWindow::midiDevicesChanged() {
  // A transfer running meanwhile ends as it would with a silent instrument: by its watchdog, or
  // with the patches the output refused counted.
  std::string text;
  for (const MidiPort::DeviceChange& change : midiPort_.Reconnect()) {
    const std::string line = changeText(change);
    WriteLog(LogPath(), "%s\n", line.c_str());
    text += (text.empty() ? "" : " ") + line;
  }
  if (!text.empty()) showMidiConnection(text);
}

void MainWindow::showMidiConnection(const std::string& text) {
  // Text only: a transfer's progress bar stays where it is.
  for (Bank& bank : banks_) bank.statusText = text;
  pushStatusTexts();
}

void MainWindow::reportMidiProblem() {
  // The MIDI layer has logged why already.
  const std::string problem = midiPort_.systemProblem();
  if (!problem.empty()) {
    showMidiConnection(
        formatText(kTextCapacity, "No MIDI: %s. Setup tries again.", problem.c_str()));
  }
}

void MainWindow::retryMidiSystem() {
  if (midiPort_.systemProblem().empty() || !makeBackend_) return;
  WriteLog(LogPath(), "Looking for MIDI again\n");
  midiPort_.ReplaceBackend(makeBackend_());
  midiPort_.Open();  // with the names of before; a failure is logged by the port
  reportMidiProblem();
}

}  // namespace banklore
