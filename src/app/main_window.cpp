// Start-up, configuration, closing and shutdown, the status helpers and the command entry points.
#include "app/main_window.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <utility>

#include "app/detection_run.h"
#include "app/text_format.h"
#include "app/transfer_view.h"
#include "platform/debug_log.h"
#include "platform/profile.h"

namespace banklore {

namespace {

constexpr std::size_t kInstrumentCapacity = 2047;
constexpr std::size_t kPathCapacity = 259;
constexpr std::size_t kStatusCapacity = 2048;
constexpr int kProgressLimit = 65535;  // progress ranges are 16-bit
constexpr const char* kLastPathKeys[2] = {"LastPath0", "LastPath1"};
constexpr const char* kLastFileKeys[2] = {"LastFile0", "LastFile1"};

}  // namespace

MainWindow::MainWindow(const FileLocations& files, std::unique_ptr<MidiBackend> backend,
                       BankView& view, Prompts& prompts, UiClock& clock)
    : MainWindow(
          files,
          // Kept for Setup's second try, which then gets nothing and keeps the port as it is.
          [held = std::make_shared<std::unique_ptr<MidiBackend>>(std::move(backend))] {
            return std::move(*held);
          },
          view, prompts, clock) {}

MainWindow::MainWindow(const FileLocations& files, const MidiBackendFactory& makeBackend,
                       BankView& view, Prompts& prompts, UiClock& clock)
    : files_(files),
      settingsPath_(files.settingsFile),
      view_(view),
      prompts_(prompts),
      clock_(clock),
      alive_(std::make_shared<MainWindow*>(this)),
      midiPort_([&] {
        startLog();
        return makeBackend();
      }()),
      makeBackend_(makeBackend),
      detectionBackends_(makeBackend) {
  archive_ = std::make_unique<ArchiveRecorder>(
      archivePathFor(files_, settingsPath_),
      [this](const std::string& text) { archiveProblem_ = text; });
  LoadConfiguration();
  WriteLog(LogPath(), "Configuration loaded\n");
  registerBankFileCommands();
  registerInstrumentCommands();
  registerTransferCommands();
  audition_ = std::make_unique<AuditionPlayer>(clock_);
}

void MainWindow::startLog() {
  // Without its folder the log is lost, and without theirs the settings: both are told at start-up.
  if (const auto problem = prepareFolder(files_.logFolder)) {
    folderProblems_.push_back(formatText(kStatusCapacity,
                                         "No debug log this run: cannot write to %s (%s).",
                                         files_.logFolder.c_str(), problem->c_str()));
  }
  SetLogPath(files_.logFile);
  std::remove(files_.logFile.c_str());
  WriteLog(LogPath(), "--- Program Start ---\n");
  if (const auto problem = prepareFolder(files_.settingsFolder)) {
    folderProblems_.push_back(formatText(kStatusCapacity,
                                         "Settings will not be kept: cannot write to %s (%s).",
                                         files_.settingsFolder.c_str(), problem->c_str()));
  }
  for (const std::string& problem : folderProblems_) WriteLog(LogPath(), "%s\n", problem.c_str());
}

void MainWindow::reportFolderProblems() {
  if (folderProblems_.empty()) return;
  std::string text;
  for (const std::string& problem : folderProblems_) text += (text.empty() ? "" : "\n") + problem;
  folderProblems_.clear();
  // Shown once the window is up; a window gone by then has nobody left to tell.
  std::weak_ptr<MainWindow*> owner = alive_;
  clock_.postToUiThread([owner, text] {
    if (auto window = owner.lock()) (*window)->prompts_.message(text);
  });
}

MainWindow::~MainWindow() {
  // A window torn down without closing (the UI quit some other way) still saves its paths and
  // placement; nothing may quit without the closing steps.
  if (!closed_) {
    closed_ = true;
    saveRecoveryFiles();  // nobody was asked: nothing unsaved may go with it
    closingSteps();
  }
  alive_.reset();
  WriteLog(LogPath(), "Exitting...\n");
  ReleaseConfiguration();
  WriteLog(LogPath(), "--- Program end ---\n");
}

void MainWindow::LoadConfiguration() {
  const std::string instrument = readText(settingsPath_, kGeneralSection, "Instrument",
                                          kDefaultInstrument, kInstrumentCapacity);
  definition_ = std::make_unique<InstrumentDefinition>(definitionPath(), instrument, &midiPort_);
  const std::string& section = instrumentSection();
  const std::string midiIn = readText(settingsPath_, section, "MidiIN", "", kDeviceNameCapacity);
  const std::string midiOut = readText(settingsPath_, section, "MidiOUT", "", kDeviceNameCapacity);
  deviceId_ = readInt(settingsPath_, section, "DeviceID", kDefaultDeviceId);
  playSelected_ = readInt(settingsPath_, section, "PlaySelected", 0) != 0;

  registerMidiCallbacks();
  midiPort_.SetInputDeviceName(midiIn);
  midiPort_.SetOutputDeviceName(midiOut);
  midiPort_.Open();  // a port that fails to open stays closed; the port logs why

  for (int b = 0; b < 2; ++b) {
    banks_[b].lastPath =
        readText(settingsPath_, section, kLastPathKeys[b], files_.startFolder, kPathCapacity);
  }
  // The definition keeps a bank within memory bounds (and logs when it had to).
  const int count = definition_->NumTotalPatches();
  for (Bank& bank : banks_) {
    bank.slots.clear();
    bank.slots.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) bank.slots.emplace_back(*definition_);
    bank.unsaved.assign(static_cast<std::size_t>(count), false);
    bank.lastFile.clear();
  }
  activeBank_ = 0;
}

void MainWindow::ReleaseConfiguration() {
  // Nothing may still be sending from, filling or playing the banks about to go.
  if (audition_) audition_->cancel();
  if (send_) send_->stop();
  AbortRequest();
  clipboard_.clear();
  history_.clear();  // its bytes belong to the slots about to go
  midiPort_.Close();
  for (Bank& bank : banks_) {
    bank.slots.clear();
    bank.slots.shrink_to_fit();
    bank.unsaved.clear();
  }
  definition_.reset();
}

void MainWindow::registerMidiCallbacks() {
  // The MIDI thread only copies the bytes and hops; everything else happens on the UI thread, and a
  // task that arrives after the window is gone finds the weak owner expired.
  std::weak_ptr<MainWindow*> owner = alive_;
  UiClock* clock = &clock_;
  midiPort_.SetDataCallback([owner, clock](MidiPort&, std::span<const std::uint8_t> bytes) {
    clock->postToUiThread([owner, copy = std::vector<std::uint8_t>(bytes.begin(), bytes.end())] {
      if (auto window = owner.lock()) (*window)->receivedMidiData(copy);
    });
  });
  midiPort_.SetErrorCallback([owner, clock](MidiPort&, std::uint32_t message) {
    clock->postToUiThread([owner, message] {
      if (auto window = owner.lock()) (*window)->receivedMidiError(message);
    });
  });
  midiPort_.SetNoticeCallback([owner, clock](const std::string& text) {
    clock->postToUiThread([owner, text] {
      if (auto window = owner.lock()) (*window)->showMidiNotice(text);
    });
  });
  midiPort_.SetDevicesCallback([owner, clock] {
    clock->postToUiThread([owner] {
      if (auto window = owner.lock()) (*window)->midiDevicesChanged();
    });
  });
}

void MainWindow::showMidiNotice(const std::string& text) {
  // One box at a time: the box runs its own event loop, in which every further notice would open
  // another on top. The port has logged each of them.
  if (noticeShown_) return;
  noticeShown_ = true;
  prompts_.message(text);
  noticeShown_ = false;
}

void MainWindow::receivedMidiData(std::span<const std::uint8_t> bytes) {
  requestRun_->onMessage(bytes);
  if (midiDataHandler_) midiDataHandler_(bytes);
}

void MainWindow::receivedMidiError(std::uint32_t message) {
  requestRun_->onInputError();
  if (midiErrorHandler_) midiErrorHandler_(message);
}

bool MainWindow::initWindow() {
  WriteLog(LogPath(), "Initializing dialog...\n");
  WriteLog(LogPath(), "...completed.\n");
  windowReady_ = true;
  WindowRect saved;
  saved.left = readInt(settingsPath_, kGeneralSection, "PosX", 0);
  saved.top = readInt(settingsPath_, kGeneralSection, "PosY", 0);
  saved.right = readInt(settingsPath_, kGeneralSection, "Width", 0);
  saved.bottom = readInt(settingsPath_, kGeneralSection, "Height", 0);
  // "Width" and "Height" hold the right and bottom edges; both zero means never saved.
  if (saved.right != 0 && saved.bottom != 0) view_.setWindowRect(saved);
  RebuildBanks();
  reportMidiProblem();
  reportFolderProblems();
  scheduleRecoveryOffer();
  return true;
}

void MainWindow::close() {
  if (closed_) return;
  if (!mayDiscardUnsavedChanges()) return;
  closed_ = true;
  closingSteps();
  view_.endRun();
}

void MainWindow::closingSteps() {
  WriteLog(LogPath(), "Closing dialog...\n");
  // A send stops before its next patch and says how far it got; then the window closes.
  send_->stop();
  AbortRequest();
  bool saved = true;
  if (definition_) {
    const std::string& section = instrumentSection();
    for (int b = 0; b < 2; ++b) {
      saved &= writeText(settingsPath_, section, kLastPathKeys[b], banks_[b].lastPath);
      saved &= writeText(settingsPath_, section, kLastFileKeys[b], banks_[b].lastFile);
    }
  }
  const WindowRect rect = view_.windowRect();
  saved &= writeInt(settingsPath_, kGeneralSection, "PosX", rect.left);
  saved &= writeInt(settingsPath_, kGeneralSection, "PosY", rect.top);
  saved &= writeInt(settingsPath_, kGeneralSection, "Width", rect.right);
  saved &= writeInt(settingsPath_, kGeneralSection, "Height", rect.bottom);
  // The window is going away: the log is the one place left to say so.
  if (!saved) reportUnsavedSettings(false);
  WriteLog(LogPath(), "..completed.\n");
}

void MainWindow::reportUnsavedSettings(bool tellUser) {
  WriteLog(LogPath(), "Couldn't save the settings to %s\n", settingsPath_.c_str());
  if (tellUser) {
    prompts_.message(
        formatText(kStatusCapacity, "Couldn't save the settings to %s.", settingsPath_.c_str()));
  }
}

void MainWindow::RebuildBanks() {
  const int rows = slotCount();
  for (int b = 0; b < 2; ++b) {
    for (Patch& patch : banks_[b].slots) patch.setName(kPlaceholderName);
    view_.rebuildRows(b, rows);
    SetStatus(b, "Ready.");
    if (rows > 0) view_.setSelection(b, {0}, 0);
  }
  view_.setWindowTitle(formatText(kStatusCapacity, "Banklore %s - %s", kVersion,
                                  definition_ ? definition_->InstrumentName().c_str() : ""));
  const std::string section = definition_ ? instrumentSection() : std::string();
  sendDelay_ = readInt(settingsPath_, section, "SendDelay", kDefaultDelay);
  requestDelay_ = readInt(settingsPath_, section, "RequestDelay", kDefaultDelay);
}

void MainWindow::SetStatus(int bank, const char* format, ...) {
  if (!validBank(bank)) return;
  va_list args;
  va_start(args, format);
  banks_[bank].statusText = vformatText(kStatusCapacity, format, args);
  va_end(args);
  banks_[bank].progressMaximum = 1;
  banks_[bank].progressPosition = 1;
  view_.setProgress(bank, 1, 1);
  pushStatusTexts();
}

void MainWindow::BeginProgress(int bank, const std::string& text, int count) {
  if (!validBank(bank)) return;
  banks_[bank].statusText = text;
  banks_[bank].progressMaximum = std::clamp(count, 0, kProgressLimit);
  banks_[bank].progressPosition = 0;
  view_.setProgress(bank, banks_[bank].progressMaximum, 0);
  pushStatusTexts();
}

void MainWindow::StepProgress(int bank) {
  if (!validBank(bank)) return;
  Bank& target = banks_[bank];
  // A progress bar holds its position inside its range.
  target.progressPosition = std::min(target.progressPosition + 1, target.progressMaximum);
  view_.setProgress(bank, target.progressMaximum, target.progressPosition);
  pushStatusTexts();
}

void MainWindow::pushStatusTexts() {
  view_.setStatusText(0, banks_[0].statusText);
  view_.setStatusText(1, banks_[1].statusText);
}

void MainWindow::AbortRequest() {
  // Shown at once (through the request's view), so the user sees that the transfer ended.
  if (requestRun_) requestRun_->abort();
  settleRequestStep();
  if (requestView_) archiveTransfer(*requestView_);
}

void MainWindow::setCommandHandler(CommandId id, CommandHandler handler) {
  commandHandlers_[static_cast<int>(id)] = std::move(handler);
}

void MainWindow::onCommand(int id) {
  WriteLog(LogPath(), "OnCommand(%ld, %ld)\n", static_cast<long>(id), 0L);
  if (sending()) {
    // Nothing interleaves with a send; closing stops it first.
    if (id == static_cast<int>(CommandId::Quit)) {
      close();
    } else {
      view_.beep();
    }
    return;
  }
  if (id == static_cast<int>(CommandId::Audition) && request().requestActive) {
    // Its message would land among the answers the request waits for.
    view_.beep();
    return;
  }
  requestEndedUnchanged_ = false;
  AbortRequest();
  const int k = static_cast<int>(selectedSlots(activeBank_).size());
  // Whatever the command changes in either bank is one undo step; in the archive window each
  // load is a step of its own.
  std::optional<UndoGroup> step;
  if (id != static_cast<int>(CommandId::Archive))
    step.emplace(*this, stepNameOf(static_cast<CommandId>(id)));
  performCommand(id, k);
  view_.focusList(activeBank_);
  routeButton(id);
}

void MainWindow::performCommand(int id, int k) {
  switch (static_cast<CommandId>(id)) {
    case CommandId::SelectAll:
      selectAll();
      return;
    case CommandId::SelectNone:
      selectNone();
      return;
    case CommandId::CopyToOtherBank:
      if (k > 0) copyToOtherBank();
      return;
    case CommandId::Rename:
      if (k > 0) renameSelection();
      return;
    case CommandId::Copy:
      if (k > 0) copySelection();
      return;
    case CommandId::Paste:
      if (k > 0) pasteClipboard();
      return;
    case CommandId::Swap:
      if (k == 2) swapSelection();
      return;
    case CommandId::Move:
      moveByCount();
      return;
    case CommandId::Sort:
      if (k >= 2) sortSelection();
      return;
    case CommandId::Quit:
      close();
      return;
    case CommandId::Undo:
      // Undo of a running request that had changed nothing: not the step before it, which the
      // Edit menu did not offer.
      if (!requestEndedUnchanged_) undo();
      return;
    case CommandId::Redo:
      redo();
      return;
    case CommandId::MarkDuplicates:
      markDuplicates();
      return;
    case CommandId::Audition:
      auditionSelection();
      return;
    case CommandId::Archive:
      archiveCommand();
      return;
    case CommandId::SaveSelected:
    case CommandId::Load:
    case CommandId::LoadToSelected:
    case CommandId::SendSelected:
    case CommandId::RequestSelected:
    case CommandId::ChangeInstrument:
      runHandler(id, k);
      return;
    default:
      return;  // buttons are routed after the focus returns; anything else does nothing
  }
}

void MainWindow::routeButton(int id) {
  switch (static_cast<CommandId>(id)) {
    case CommandId::UpBank0:
      MoveSelectionUp(0, true);
      return;
    case CommandId::UpBank1:
      MoveSelectionUp(1, true);
      return;
    case CommandId::DownBank0:
      MoveSelectionDown(0, true);
      return;
    case CommandId::DownBank1:
      MoveSelectionDown(1, true);
      return;
    case CommandId::ActivateBank0:
      activate(0);
      return;
    case CommandId::ActivateBank1:
      activate(1);
      return;
    case CommandId::Setup:
    case CommandId::About:
      runHandler(id, static_cast<int>(selectedSlots(activeBank_).size()));
      return;
    default:
      return;
  }
}

void MainWindow::runHandler(int id, int k) {
  if (auto it = commandHandlers_.find(id); it != commandHandlers_.end() && it->second) {
    it->second(k);
  }
}

std::optional<std::vector<ContextMenuEntry>> MainWindow::onContextMenu(
    std::optional<int> bankUnderCursor) {
  if (sending()) return std::nullopt;
  WriteLog(LogPath(), "Displaying context menu\n");
  AbortRequest();
  if (!bankUnderCursor || !validBank(*bankUnderCursor)) return std::nullopt;
  activeBank_ = *bankUnderCursor;
  const int k = static_cast<int>(selectedSlots(activeBank_).size());
  const int n = slotCount();
  std::vector<ContextMenuEntry> entries;
  for (const ContextMenuItem& item : contextMenuItems()) {
    entries.push_back({item.id, item.text, item.separatorAfter,
                       contextMenuItemEnabled(item.id, k, n, clipboard_.empty())});
  }
  // The additions follow the classic items, set apart by a separator.
  for (const ContextMenuItem& item : addedContextMenuItems()) {
    if (!entries.empty() && entries.back().id == contextMenuItems().back().id) {
      entries.back().separatorAfter = true;
    }
    entries.push_back({item.id, item.text, item.separatorAfter,
                       contextMenuItemEnabled(item.id, k, n, clipboard_.empty()) &&
                           (item.id != CommandId::Audition || canAudition())});
  }
  return entries;
}

void MainWindow::onListClicked(int bank) {
  if (sending()) return;
  AbortRequest();
  if (validBank(bank)) activeBank_ = bank;
}

void MainWindow::setActiveBank(int bank) {
  if (validBank(bank)) activeBank_ = bank;
}

std::vector<int> MainWindow::selectedSlots(int bank) const {
  if (!validBank(bank)) return {};
  std::vector<int> rows = view_.selectedRows(bank);
  // Only slots that exist, each once, ascending: nothing may index outside a bank.
  std::erase_if(rows, [&](int row) { return !validSlot(bank, row); });
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

int MainWindow::rowCount(int bank) const {
  return validBank(bank) ? static_cast<int>(banks_[bank].slots.size()) : 0;
}

std::string MainWindow::label(int bank, int row) const {
  return validSlot(bank, row) ? definition_->patchLabel(row) : std::string();
}

std::string MainWindow::name(int bank, int row) const {
  return validSlot(bank, row) ? banks_[bank].slots[static_cast<std::size_t>(row)].name()
                              : std::string();
}

}  // namespace banklore
