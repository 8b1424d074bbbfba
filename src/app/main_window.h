// The librarian itself: owns the instrument definition, the MIDI port, both banks, the clipboard
// and the request state, and makes every decision the user can observe. It draws and asks through
// the BankView, Prompts and UiClock seams and is driven by the UI through the entry points below,
// all on the UI thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "app/archive_recorder.h"
#include "app/audition_player.h"
#include "app/bank_file_io.h"
#include "app/bank_view.h"
#include "app/command_ids.h"
#include "app/prompts.h"
#include "app/request_run.h"
#include "app/send_run.h"
#include "app/settings_defaults.h"
#include "app/ui_clock.h"
#include "app/undo_history.h"
#include "core/instrument_definition.h"
#include "core/patch.h"
#include "midi/midi_backend.h"
#include "midi/midi_port.h"
#include "platform/file_locations.h"

namespace banklore {

// One of the two banks: every slot of the instrument, plus what its status line, progress bar and
// file dialogs show.
struct Bank {
  std::vector<Patch> slots;
  std::string statusText;
  int progressMaximum = 0;
  int progressPosition = 0;
  std::string lastPath;  // folder of this bank's file dialogs
  std::string lastFile;  // file last chosen in this bank's file dialogs
  // Per slot: something was stored into it since a save that covered it (see hasUnsavedChanges).
  std::vector<bool> unsaved;
};

// A context-menu item as it is to be shown.
struct ContextMenuEntry {
  CommandId id;
  const char* text;
  bool separatorAfter;
  bool enabled;
};

// An item of the "Edit" menu as it is to be shown now, e.g. "Undo Paste\tCtrl+Z".
struct EditMenuEntry {
  CommandId id;
  std::string text;
  bool enabled;
};

class DetectionRun;

class MainWindow : public BankRows {
 public:
  static constexpr const char* kVersion = "1.12b";
  static constexpr const char* kPlaceholderName = "???????????????";
  static constexpr const char* kGeneralSection = "General";
  static constexpr const char* kDefaultInstrument = defaults::kInstrument;
  static constexpr int kDefaultDeviceId = defaults::kDeviceId;
  static constexpr int kDefaultDelay = defaults::kDelayMs;
  static constexpr std::size_t kDeviceNameCapacity = 255;
  static constexpr int kDetectTimer = 7;

  // Handler of a command whose behaviour lives in its own module (sending, requesting, bank files,
  // Setup, Change Instrument, About); called with k, the selected slots of the active bank.
  using CommandHandler = std::function<void(int k)>;
  // Receivers of MIDI input, called on the UI thread after the hop from the MIDI thread.
  using MidiDataHandler = std::function<void(std::span<const std::uint8_t> bytes)>;
  using MidiErrorHandler = std::function<void(std::uint32_t message)>;

  // Start-up: takes the settings, definition and log paths from `files` (a ProgramPaths puts them
  // all beside the program), makes the settings and log folders, starts a fresh log and loads the
  // configuration (definition, settings, MIDI port over `backend`, both banks). Touches no seam:
  // the UI may finish building its widgets before calling initWindow. The seams must outlive the
  // window.
  MainWindow(const FileLocations& files, std::unique_ptr<MidiBackend> backend, BankView& view,
             Prompts& prompts, UiClock& clock);
  // The same with the backend made after the fresh log has begun, so that what the system's MIDI
  // set-up logs lands in this run's log.
  using MidiBackendFactory = std::function<std::unique_ptr<MidiBackend>()>;
  MainWindow(const FileLocations& files, const MidiBackendFactory& makeBackend, BankView& view,
             Prompts& prompts, UiClock& clock);
  // Shutdown: releases clipboard, port, banks and definition, in that order, between the log's
  // "Exitting..." and "--- Program end ---".
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // Window initialisation: restores the saved placement and fills both lists. A settings or log
  // folder that cannot be written is told once, in a box posted to the UI thread. Returns true.
  bool initWindow();
  // Closing (Quit, the close box, Escape): when a bank holds unsaved changes, ends a running
  // transfer and asks whether to discard them (No: nothing closes). Then ends a running request,
  // saves the last paths and the window placement, and asks the view to end the run. A second
  // call does nothing.
  void close();
  // Closing when nobody can answer (a logout, `kill`): each bank with unsaved changes is written
  // to its recovery file first, offered back at the next start; then closing as above.
  void closeUnattended();
  bool closed() const { return closed_; }

  // Every command from a menu item, button or accelerator, with its identifier. Identifiers outside
  // the table are accepted (they end a request and return the focus like any other).
  void onCommand(int id);
  void onCommand(CommandId id) { onCommand(static_cast<int>(id)); }
  // A context-menu request over bank 0's or 1's list, or elsewhere (nothing): the items to show, or
  // nothing when no menu is to be shown. The chosen item comes back through onCommand.
  std::optional<std::vector<ContextMenuEntry>> onContextMenu(std::optional<int> bankUnderCursor);
  // A left click into a bank's list. Refused while a send runs.
  void onListClicked(int bank);
  // The key that stops a send (Space) went down or up while the window was in front. A press while
  // a send runs stops it before its next patch; held down when a send starts, it sends nothing.
  void onStopKey(bool down);
  // A send runs: until it ends, commands (other than closing), clicks into the lists, context
  // menus and drops are refused.
  bool sending() const { return send_->active(); }
  // Audition (audition_commands.cpp). A double-click on a row plays its patch in the instrument's
  // edit buffer, as Audition (Ctrl+P, the context menu) does for one selected slot; refused while a
  // send or a request runs. A cursor moved onto a row plays it once it has rested there, when
  // "Play the selected patch" is on. None of them changes a bank.
  void onListDoubleClicked(int bank, int row);
  void onCursorMoved(int bank, int row);
  // Whether the instrument has an edit buffer to play in, and what the status line says when not.
  bool canAudition() const;
  std::string auditionUnavailableText() const;
  // "Play the selected patch", kept per instrument in the settings.
  bool playSelected() const { return playSelected_; }
  // Files dropped from the desktop onto bank 0's or 1's list: each .syx or .mid file is loaded into
  // that bank as Load would, in the order given.
  void onFilesDropped(int bank, const std::vector<std::string>& paths);

  // Extension points for the commands of other modules and for MIDI input.
  void setCommandHandler(CommandId id, CommandHandler handler);
  void setMidiDataHandler(MidiDataHandler handler) { midiDataHandler_ = std::move(handler); }
  void setMidiErrorHandler(MidiErrorHandler handler) { midiErrorHandler_ = std::move(handler); }

  // BankRows.
  int rowCount(int bank) const override;
  std::string label(int bank, int row) const override;
  std::string name(int bank, int row) const override;

  // Configuration.
  void LoadConfiguration();
  void ReleaseConfiguration();
  void RebuildBanks();

  // Status line and progress bar of a bank. SetStatus is printf-style (at most 2047 characters) and
  // fills the bar; BeginProgress empties it with a range of `count` (0..65535); StepProgress moves
  // it one step.
  void SetStatus(int bank, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void BeginProgress(int bank, const std::string& text, int count);
  void StepProgress(int bank);
  // Shows both banks' status texts.
  void pushStatusTexts();

  // Slot primitives; a bank or slot out of range is ignored. Whatever lands in a slot is renumbered
  // to it, stamped with the current device ID and checksummed; LoadFromSlot copies bytes unchanged.
  void RefreshRow(int bank, int slot);
  void CopySlot(int sourceBank, int sourceSlot, int destinationBank, int destinationSlot,
                bool refresh);
  void StoreToSlot(int bank, int slot, const Patch& patch, bool refresh);
  void LoadFromSlot(Patch& patch, int bank, int slot) const;
  // Writes a new name into the slot's patch; nothing else of it changes.
  void RenameSlot(int bank, int slot, const std::string& name, bool refresh);

  // Unsaved changes (unsaved_changes.cpp). A slot is changed by StoreToSlot and CopySlot (so by
  // every editing command, paste and load), by RenameSlot and by a patch a request stores; a save
  // of the bank's selection that succeeds clears the slots it covered. True when any slot of the
  // bank is changed.
  bool hasUnsavedChanges(int bank) const;
  // For closing and Change Instrument: true when no bank has unsaved changes or the user agreed
  // to discard them.
  bool mayDiscardUnsavedChanges();
  // Where a bank's unsaved changes are kept when the program is ended without asking: beside the
  // settings file, e.g. banklore_recovery_1.syx for Bank 1.
  std::string recoveryPath(int bank) const;

  // Moves the bank's selected patches, and the selection with them, one slot up or down; nothing
  // when the selection is empty or touches the edge it moves towards.
  void MoveSelectionUp(int bank, bool refresh);
  void MoveSelectionDown(int bank, bool refresh);

  // Ends a running request: its bank's status text becomes "Request aborted.".
  void AbortRequest();

  // Undo and redo (undo_commands.cpp). Every user action that changes a bank is one step: a
  // command, a drop, a request from its start to its end. Undo puts the slots the step changed
  // back as they were, byte for byte, without a word to the instrument; redo applies them again.
  // Both refresh the rows, say so in the bank's status line and leave the selection alone.
  void undo();
  void redo();
  // The "Edit" menu: Undo and Redo with what they would act on, grayed when there is nothing or a
  // send runs.
  std::vector<EditMenuEntry> editMenu();
  const UndoHistory& undoHistory() const { return history_; }
  // Selects, in both banks, every slot whose patch data equals that of an earlier slot (Bank 1
  // before Bank 2) and says how many in each bank's status line (duplicates.cpp).
  void markDuplicates();

  // Send Selected and Request Selected on the active bank (transfers.cpp).
  void registerTransferCommands();
  void sendSelected();
  void requestSelected();

  // The archive of every patch seen (archive_commands.cpp): what fetches, loads, saves and sends
  // saw goes in, one transaction per command; "Archive..." shows it. A failing archive is told
  // once, in the status line of the bank at hand, and never fails a command.
  void archiveCommand();
  ArchiveRecorder& archive() { return *archive_; }

  // Setup, Change Instrument and About (instrument_commands.cpp).
  void registerInstrumentCommands();
  void setupCommand();
  void changeInstrument();
  // Where Setup's Detect opens its ports: by default the backends the window's own port came
  // from.
  void setDetectionBackends(MidiBackendFactory factory) { detectionBackends_ = std::move(factory); }
  void aboutCommand();

  // Bank files (bank_files.cpp). The dialogs of a bank: true when the user chose a file (then the
  // bank's lastFile and lastPath) and, for saving, agreed to replace an existing one.
  bool AskLoadFile(int bank);
  bool AskSaveFile(int bank);
  // The six file operations, on a path as the user chose it. Loading into the bank stores each
  // patch in the slot its bytes name; into the selection, in the selected slots in order. Saving
  // renumbers each selected patch to its slot and replaces the file only when all was written.
  void LoadSyxIntoBank(const std::string& path, int bank);
  void LoadMidIntoBank(const std::string& path, int bank);
  void LoadSyxIntoSelection(const std::string& path, int bank);
  void LoadMidIntoSelection(const std::string& path, int bank);
  void SaveSelectionAsSyx(const std::string& path, int bank);
  void SaveSelectionAsMid(const std::string& path, int bank);

  // State, for the other modules of the librarian and for tests.
  int activeBank() const { return activeBank_; }
  void setActiveBank(int bank);
  InstrumentDefinition& definition() { return *definition_; }
  const InstrumentDefinition& definition() const { return *definition_; }
  MidiPort& midiPort() { return midiPort_; }
  Bank& bank(int index) { return banks_[index == 1 ? 1 : 0]; }
  const Bank& bank(int index) const { return banks_[index == 1 ? 1 : 0]; }
  const std::vector<Patch>& clipboard() const { return clipboard_; }
  const RequestState& request() const { return requestRun_->state(); }
  int requestBank() const;
  int deviceId() const { return deviceId_; }
  void setDeviceId(int id) { deviceId_ = id; }
  int sendDelay() const { return sendDelay_; }
  void setSendDelay(int ms) { sendDelay_ = ms; }
  int requestDelay() const { return requestDelay_; }
  void setRequestDelay(int ms) { requestDelay_ = ms; }
  bool windowReady() const { return windowReady_; }
  const std::string& programDir() const { return files_.program.dir; }
  const std::string& programName() const { return files_.program.name; }
  const std::string& settingsPath() const { return settingsPath_; }
  // The folder of the settings file, with its trailing '/': where files that belong with the
  // settings go.
  const std::string& settingsFolder() const { return files_.settingsFolder; }
  // The definition file the window, the chooser and banklore-cli read.
  const std::string& definitionPath() const { return files_.definitionFile; }
  const FileLocations& fileLocations() const { return files_; }
  // Name of the settings section of the current instrument (its definition's "Settings").
  const std::string& instrumentSection() const { return definition_->Settings(); }
  // Slots per bank: NumTotalPatches of the current definition (0 while no configuration is
  // loaded). Slot numbers are checked against this.
  int slotCount() const { return static_cast<int>(banks_[0].slots.size()); }

  BankView& view() { return view_; }
  Prompts& prompts() { return prompts_; }
  UiClock& clock() { return clock_; }

 private:
  bool validBank(int bank) const { return bank == 0 || bank == 1; }
  bool validSlot(int bank, int slot) const {
    return validBank(bank) && slot >= 0 &&
           static_cast<std::size_t>(slot) < banks_[bank].slots.size();
  }
  std::vector<int> selectedSlots(int bank) const;
  void performCommand(int id, int k);
  // Calls the handler set for the command, if any, with k.
  void runHandler(int id, int k);

  // Bank editing (bank_editing.cpp).
  void selectAll();
  void selectNone();
  void copyToOtherBank();
  void renameSelection();
  void copySelection();
  void pasteClipboard();
  void swapSelection();
  void moveByCount();
  void sortSelection();
  void activate(int bank);
  void auditionSelection();
  void auditionSlot(int bank, int slot);
  // Moves the bank's selection and its patches `steps` slots (negative: up) at once, stopping at
  // the edge, and selects the moved slots; the first and last row it changed, if any.
  std::optional<std::pair<int, int>> moveSelection(int bank, int steps);
  void exchangeSlots(int bank, int a, int b, bool refresh);

  // Bank files (bank_files.cpp).
  void registerBankFileCommands();
  void loadFileCommand(int bank, bool intoSelection);
  void saveFileCommand(int bank);
  void rememberChosenFile(int bank, const std::string& path);
  // The box after a load: wrong packets, and where a damaged file stops holding whole ones.
  void reportWrongPackets(long loaded, long wrong,
                          std::optional<std::uint64_t> damagedAfter = std::nullopt);
  void reportSaveFailure(int bank);
  // Loads into the slots the patches name, or into the selected slots in order; false when the
  // file could not be read at all (nothing was changed or told then).
  bool loadBankFile(const std::string& path, int bank, BankFormat format, bool intoSelection);
  void saveSelection(const std::string& path, int bank, BankFormat format);

  // Unsaved changes (unsaved_changes.cpp).
  void markUnsaved(int bank, int slot);
  void markSaved(int bank, const std::vector<int>& slots);
  // Stops the transfers and writes each changed bank to its recovery file.
  void saveRecoveryFiles();
  bool writeRecoveryFile(int bank);
  // At start: offers back the recovery files a previous run left, once the window is up.
  void scheduleRecoveryOffer();
  void offerRecovery();
  // Puts a recovery file back into its bank: empty when it did, else why not.
  std::string restoreRecoveryFile(int bank);

  // Shows a transfer in one bank (transfers.cpp).
  class TransferView;
  // Archive (archive_commands.cpp): notes what the transfer saw, once it has ended.
  void archiveTransfer(TransferView& view);
  void noteInArchive(int bank, std::span<const SeenSlot> seen, ArchiveAction action,
                     const std::string& file = "");
  void noteSlotsInArchive(int bank, const std::vector<int>& slots, ArchiveAction action,
                          const std::string& file = "");
  class ArchiveWindow;
  void showArchiveProblem();
  void tellArchiveMovedAside();

  // Undo (undo_commands.cpp). Every change of a slot is noted before it happens; a group gathers
  // the changes of one user action into one step, and a change made outside any group is a step
  // of its own.
  class UndoGroup {
   public:
    UndoGroup(MainWindow& window, std::string_view what);
    ~UndoGroup();
    UndoGroup(const UndoGroup&) = delete;
    UndoGroup& operator=(const UndoGroup&) = delete;

   private:
    MainWindow& window_;
  };
  void noteSlotChanging(int bank, int slot);
  UndoHistory::SlotReader slotReader() const;
  // A request's step stays open from its start to its end, however it ends.
  void openRequestStep(int bank);
  void settleRequestStep();
  void applyStep(const UndoStep& step, bool backwards);

  // Makes the log and settings folders, points the log at its file, deletes the last run's file
  // and writes the first line. Keeps what could not be made for initWindow to tell.
  void startLog();
  void reportFolderProblems();
  void registerMidiCallbacks();
  void receivedMidiData(std::span<const std::uint8_t> bytes);
  void receivedMidiError(std::uint32_t message);
  // An input status byte the program does not handle: told to the user in a message box.
  void showMidiNotice(const std::string& text);
  // MIDI devices that come and go, and a MIDI system that is missing (midi_connection.cpp).
  // Reconnects the port's named devices and says what changed in the log and the status lines.
  void midiDevicesChanged();
  void showMidiConnection(const std::string& text);
  // Says in the status lines why there is no MIDI, if so.
  void reportMidiProblem();
  // Looks for the system's MIDI again (for Setup) when there was none, and reopens the port.
  void retryMidiSystem();
  void closingSteps();
  // A settings write failed: logged, and shown when the user is there to read it.
  void reportUnsavedSettings(bool tellUser);
  void routeButton(int id);
  void changeToDetectedInstrument(const SetupValues& chosen);

  FileLocations files_;
  std::string settingsPath_;
  std::vector<std::string> folderProblems_;  // what initWindow tells the user
  BankView& view_;
  Prompts& prompts_;
  UiClock& clock_;
  // Lets tasks posted from the MIDI thread find out that the window is gone.
  std::shared_ptr<MainWindow*> alive_;
  MidiPort midiPort_;
  MidiBackendFactory makeBackend_;
  std::unique_ptr<InstrumentDefinition> definition_;
  Bank banks_[2];
  std::vector<Patch> clipboard_;
  int activeBank_ = 0;
  int deviceId_ = kDefaultDeviceId;
  int sendDelay_ = kDefaultDelay;
  int requestDelay_ = kDefaultDelay;
  bool windowReady_ = false;
  bool closed_ = false;
  bool noticeShown_ = false;
  std::unordered_map<int, CommandHandler> commandHandlers_;
  MidiDataHandler midiDataHandler_;
  MidiErrorHandler midiErrorHandler_;
  bool playSelected_ = false;
  bool stopKeyDown_ = false;
  bool stopKeyPressed_ = false;  // during the running send
  UndoHistory history_;
  bool requestStepOpen_ = false;
  // The command under way ended a request that had changed nothing.
  bool requestEndedUnchanged_ = false;
  // The transfers and what they show; declared last, so they go first.
  std::unique_ptr<TransferView> sendView_;
  std::unique_ptr<TransferView> requestView_;
  std::unique_ptr<SendRun> send_;
  std::unique_ptr<RequestRun> requestRun_;
  std::unique_ptr<AuditionPlayer> audition_;
  std::unique_ptr<ArchiveRecorder> archive_;
  std::string archiveProblem_;  // told by the recorder, shown by the command at hand
  bool archiveMoveTold_ = false;
  MidiBackendFactory detectionBackends_;
  std::unique_ptr<DetectionRun> detection_;
};

}  // namespace banklore
