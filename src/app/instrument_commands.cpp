// The Setup command (MIDI ports, device ID, delays), Change Instrument and the About box.
#include <algorithm>
#include <functional>
#include <string>

#include "app/detection_run.h"
#include "app/main_window.h"
#include "platform/debug_log.h"
#include "platform/profile.h"

namespace banklore {

void MainWindow::registerInstrumentCommands() {
  setCommandHandler(CommandId::Setup, [this](int) { setupCommand(); });
  setCommandHandler(CommandId::ChangeInstrument, [this](int) { changeInstrument(); });
  setCommandHandler(CommandId::About, [this](int) { aboutCommand(); });
}

void MainWindow::setupCommand() {
  AbortRequest();
  // Without a MIDI system the dialog would list nothing: look once more.
  retryMidiSystem();
  const std::string& section = instrumentSection();
  SetupValues values;
  values.midiInName = readText(settingsPath_, section, "MidiIN", "", kDeviceNameCapacity);
  values.midiOutName = readText(settingsPath_, section, "MidiOUT", "", kDeviceNameCapacity);
  // The stored device ID is taken whatever the dialog's outcome.
  deviceId_ = readInt(settingsPath_, section, "DeviceID", kDefaultDeviceId);
  values.deviceIndex = deviceId_;
  values.sendDelay = sendDelay_;
  values.requestDelay = requestDelay_;
  values.inputNames = midiPort_.inputDeviceNames();
  values.outputNames = midiPort_.outputDeviceNames();
  const auto& deviceNames = definition_->DeviceIdNames();
  values.deviceIdNames.assign(deviceNames.begin(),
                              deviceNames.begin() + definition_->DeviceCount());
  values.playSelected = playSelected_;
  if (!canAudition()) values.auditionUnavailable = auditionUnavailableText();
  values.detect = [this](std::function<void(const DetectReport&)> done) {
    detection_ = std::make_unique<DetectionRun>(detectionBackends_, clock_,
                                                identitySections(definitionPath()), kDetectTimer);
    detection_->start([done = std::move(done), running = definition_->InstrumentName()](
                          std::vector<DetectedInstrument> found, int tried) {
      done(detectReport(found, tried, running));
    });
  };

  // The dialog works on a copy: after Cancel the values read above are what is written back.
  SetupValues chosen = values;
  const bool ok = prompts_.setup(chosen);
  detection_.reset();  // a search still running when the dialog closed has nobody to tell
  if (ok && !chosen.changeInstrumentTo.empty() &&
      chosen.changeInstrumentTo != definition_->InstrumentName()) {
    // Another instrument answered and the user took it: its ports go to its own settings.
    if (mayDiscardUnsavedChanges()) {
      changeToDetectedInstrument(chosen);
      return;
    }
  } else if (ok) {
    values = chosen;
    WriteLog(LogPath(), "Changing midi device\n");
    midiPort_.Close();
    midiPort_.SetInputDeviceName(values.midiInName);
    midiPort_.SetOutputDeviceName(values.midiOutName);
    midiPort_.Open();  // a failure is logged by the port; the names are kept all the same
    sendDelay_ = values.sendDelay;
    deviceId_ = values.deviceIndex;
    requestDelay_ = values.requestDelay;
    playSelected_ = values.playSelected;
    if (!playSelected_) audition_->cancel();
  }
  // Written after Cancel too: that writes back what was read. Each is written even when one
  // before it failed (a braced list is evaluated in order, and in full).
  const bool written[] = {writeText(settingsPath_, section, "MidiIN", values.midiInName),
                          writeText(settingsPath_, section, "MidiOUT", values.midiOutName),
                          writeInt(settingsPath_, section, "DeviceID", deviceId_),
                          writeInt(settingsPath_, section, "SendDelay", sendDelay_),
                          writeInt(settingsPath_, section, "RequestDelay", requestDelay_),
                          writeInt(settingsPath_, section, "PlaySelected", playSelected_ ? 1 : 0)};
  const bool saved = std::ranges::all_of(written, std::identity{});
  // The ports chosen here would be gone at the next start: say so while the user is here.
  if (!saved) reportUnsavedSettings(true);
}

void MainWindow::changeToDetectedInstrument(const SetupValues& chosen) {
  const std::string& instrument = chosen.changeInstrumentTo;
  WriteLog(LogPath(), "Changing to the detected instrument %s\n", instrument.c_str());
  const std::string section =
      InstrumentDefinition(definitionPath(), instrument, nullptr).Settings();
  bool saved = writeText(settingsPath_, section, "MidiIN", chosen.midiInName);
  saved &= writeText(settingsPath_, section, "MidiOUT", chosen.midiOutName);
  if (chosen.deviceIndex >= 0)
    saved &= writeInt(settingsPath_, section, "DeviceID", chosen.deviceIndex);
  saved &= writeText(settingsPath_, kGeneralSection, "Instrument", instrument);
  if (!saved) {
    // The instrument is read from the settings: without them nothing would change.
    reportUnsavedSettings(true);
    return;
  }
  ReleaseConfiguration();
  LoadConfiguration();
  RebuildBanks();
}

void MainWindow::changeInstrument() {
  // Asked before the chooser, which writes the chosen section to "General"/"Instrument" itself on
  // OK: after a No the settings still name the instrument that runs.
  if (!mayDiscardUnsavedChanges()) return;
  if (!prompts_.chooseInstrument(definitionPath(), settingsPath_, definition_->InstrumentName())) {
    return;
  }
  ReleaseConfiguration();
  LoadConfiguration();
  RebuildBanks();
}

void MainWindow::aboutCommand() {
  WriteLog(LogPath(), "Displaying about box\n");
  prompts_.about();
}

}  // namespace banklore
