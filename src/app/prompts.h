// The modal questions the librarian asks: message boxes, file dialogs and its own dialogs. The UI
// implements them with dialogs centred over the main window; tests answer from a script. Every call
// comes on the UI thread and returns when the user has answered.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/archive_browser.h"
#include "app/detect_offers.h"

namespace banklore {

// One entry of a file dialog's type list, e.g. {"SysEx Files (*.syx)", "*.syx"}.
struct FileFilter {
  std::string description;
  std::string pattern;
};

struct FileDialogRequest {
  std::string title;
  std::vector<FileFilter> filters;
  std::string initialFolder;
  std::string initialFile;
  std::string defaultExtension;  // without the dot, appended when the user types none
};

// What the setup dialog shows and hands back. The caller fills every field; after OK the dialog has
// put the user's choice into midiInName, midiOutName, deviceIndex, sendDelay and requestDelay.
struct SetupValues {
  std::string midiInName;
  std::string midiOutName;
  int deviceIndex = 0;  // index into deviceIdNames
  int sendDelay = 0;    // milliseconds
  int requestDelay = 0;
  std::vector<std::string> inputNames;     // MIDI input ports, in system order
  std::vector<std::string> outputNames;    // MIDI output ports, in system order
  std::vector<std::string> deviceIdNames;  // the instrument's device-ID list
  bool playSelected = false;               // "Play the selected patch", handed back after OK
  std::string auditionUnavailable;         // not empty: that box is greyed, and this says why
  // Detect: starts the identity search; `done` comes later, on the UI thread, with what answered.
  // The dialog offers the choices and fills the ports and device from the one taken.
  std::function<void(std::function<void(const DetectReport&)> done)> detect;
  // Set by the dialog when the user took an instrument another section describes and agreed to
  // change to it: after OK, the instrument changes and the ports and deviceIndex are its own.
  std::string changeInstrumentTo;
};

class Prompts {
 public:
  virtual ~Prompts() = default;

  // A message box with an OK button.
  virtual void message(const std::string& text) = 0;
  // A question with Yes and No buttons; true for Yes.
  virtual bool askYesNo(const std::string& text) = 0;
  // File dialogs: the chosen full path, or nothing when cancelled.
  virtual std::optional<std::string> openFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> saveFile(const FileDialogRequest& request) = 0;

  // "Move...": the count of positions, already validated to -1023..1023; nothing when cancelled.
  virtual std::optional<int> moveCount() = 0;
  // The caption-less name editor preloaded with `initialName`; nothing when cancelled.
  virtual std::optional<std::string> rename(const std::string& initialName) = 0;

  // "Instrument Setup": true for OK, with the choice written back into `values`.
  virtual bool setup(SetupValues& values) = 0;
  // "Choose Instrument...": lists the sections of the definition file, preselects the one the
  // settings name (`runningInstrument` when they name none) and, on OK, writes the chosen name to
  // "General"/"Instrument" of the settings file itself. True for OK.
  virtual bool chooseInstrument(const std::string& definitionPath, const std::string& settingsPath,
                                const std::string& runningInstrument) = 0;
  // The About box.
  virtual void about() = 0;
  // "Archive": the archived patches of the running instrument, until the user closes it.
  virtual void archiveWindow(ArchiveBrowser& browser) = 0;
};

}  // namespace banklore
