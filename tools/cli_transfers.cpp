#include "cli_transfers.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/archive_recorder.h"
#include "app/audition_player.h"
#include "app/event_loop.h"
#include "app/request_run.h"
#include "app/send_run.h"
#include "app/settings_defaults.h"
#include "app/text_format.h"
#include "cli_audition.h"
#include "cli_bank_io.h"
#include "cli_fetch_plan.h"
#include "cli_report.h"
#include "cli_slot_list.h"
#include "core/instrument_definition.h"
#include "core/patch.h"
#include "core/sysex_sender.h"
#include "midi/midi_backend.h"
#include "midi/midi_port.h"
#include "platform/atomic_file.h"
#include "platform/debug_log.h"
#include "platform/file_locations.h"
#include "platform/profile.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr std::size_t kPortNameCapacity = 255;
constexpr std::size_t kTextCapacity = 512;
constexpr int kMaxDelayMs = 1000;  // what the Setup dialog offers
// Wakes the loop now and then, so an interruption is noticed during a long pause.
constexpr int kSignalPollTimer = 90;
constexpr std::uint32_t kSignalPollMs = 100;
// Lists of slots printed with their labels, up to this many; longer ones only as numbers.
constexpr std::size_t kLabelledSlots = 12;

int usage(const std::string& text) {
  std::fprintf(stderr, "banklore-cli: %s\n", text.c_str());
  return kExitUsage;
}

int failure(const std::string& text) {
  std::fprintf(stderr, "banklore-cli: %s\n", text.c_str());
  return kExitFailed;
}

bool readable(const std::string& path) {
  return openRegularForReading(path) != nullptr;
}

// --- interruption --------------------------------------------------------------------------------

volatile std::sig_atomic_t endSignal = 0;

void onEndSignal(int signal) {
  endSignal = signal;
}

// Ctrl+C, a shutdown or a closed terminal end a transfer cleanly: a fetch keeps what arrived.
void catchEndSignals() {
  struct sigaction action {};
  action.sa_handler = onEndSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool interrupted() {
  return endSignal != 0;
}

// --- what the command line and the settings chose ------------------------------------------------

// The definition is made before the MIDI port is opened (it decides which ports and slots are
// asked for); it sends through this, which the port joins for the length of a transfer.
class PortSender : public SysExSender {
 public:
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override {
    return port != nullptr && port->SendSysEx(bytes, length);
  }
  MidiPort* port = nullptr;
};

struct Transfer {
  PortSender sender;
  std::string settingsFile;
  std::string instrument;
  std::unique_ptr<InstrumentDefinition> definition;
  std::string section;  // the definition's settings section
  std::string in;
  std::string out;
  int device = 0;
  std::uint32_t delayMs = 0;
  std::string archive;  // the archive file; empty when the settings turn it off
};

// Notes what a command saw in the archive, once at its end. A failing archive is told and changes
// nothing else: the transfer itself went as the exit code says.
void noteInArchive(const Transfer& t, const std::vector<Patch>& bank, const std::vector<int>& slots,
                   ArchiveAction action) {
  std::vector<SeenSlot> seen;
  seen.reserve(slots.size());
  for (const int slot : slots) seen.push_back({bank[static_cast<std::size_t>(slot)].bytes(), slot});
  ArchiveRecorder recorder(t.archive, [](const std::string& text) {
    std::fprintf(stderr, "banklore-cli: %s\n", text.c_str());
  });
  recorder.note(*t.definition, seen, action);
}

std::string slotName(const InstrumentDefinition& definition, int slot) {
  return std::to_string(slot) + " (" + definition.patchLabel(slot) + ")";
}

// "5,200 (A005, B072)": a list that --slots takes, with labels while it is short.
std::string slotsText(const InstrumentDefinition& definition, const std::vector<int>& slots) {
  std::string text = formatSlotList(slots);
  if (slots.empty() || slots.size() > kLabelledSlots) return text;
  text += " (";
  for (std::size_t i = 0; i < slots.size(); ++i) {
    text += (i == 0 ? "" : ", ") + definition.patchLabel(slots[i]);
  }
  return text + ")";
}

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// --- the MIDI side -------------------------------------------------------------------------------

// The port a transfer talks through, with its callbacks handing every message to the loop's thread,
// where the engines run.
class Connection {
 public:
  Connection(EventLoop& loop, PortSender& sender)
      : loop_(loop), sender_(sender), port_(makeSystemMidiBackend()) {
    sender_.port = &port_;
  }
  ~Connection() {
    sender_.port = nullptr;
    port_.Close();
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  MidiPort& port() { return port_; }

  // Opens the named ports (an empty name: that side stays closed); what was wrong otherwise.
  std::optional<std::string> open(const std::string& in, const std::string& out,
                                  RequestRun* requests) {
    if (requests != nullptr) {
      EventLoop* loop = &loop_;
      port_.SetDataCallback([loop, requests](MidiPort&, std::span<const std::uint8_t> bytes) {
        loop->postToUiThread(
            [requests, copy = std::vector<std::uint8_t>(bytes.begin(), bytes.end())] {
              requests->onMessage(copy);
            });
      });
      port_.SetErrorCallback([loop, requests](MidiPort&, std::uint32_t) {
        loop->postToUiThread([requests] { requests->onInputError(); });
      });
    }
    if (const auto missing = notListed(in, port_.inputDeviceNames(), "input")) return missing;
    if (const auto missing = notListed(out, port_.outputDeviceNames(), "output")) return missing;
    port_.SetInputDeviceName(in);
    port_.SetOutputDeviceName(out);
    port_.Open();
    if (!in.empty() && !port_.isInputOpen()) return "cannot open the MIDI input " + in;
    if (!out.empty() && !port_.isOutputOpen()) return "cannot open the MIDI output " + out;
    return std::nullopt;
  }

 private:
  static std::optional<std::string> notListed(const std::string& name,
                                              const std::vector<std::string>& names,
                                              const char* direction) {
    if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) {
      return std::nullopt;
    }
    if (names.empty()) {
      return std::string("there is no MIDI ") + direction + " named " + name +
             ", nor any other (is the ALSA sequencer or a JACK server running?)";
    }
    return std::string("there is no MIDI ") + direction + " named " + name +
           " (`banklore-cli ports` lists them)";
  }

  EventLoop& loop_;
  PortSender& sender_;
  MidiPort port_;
};

// Runs the loop until `done` holds or the user interrupts.
void runUntil(EventLoop& loop, const std::function<bool()>& done) {
  loop.startTimer(kSignalPollTimer, kSignalPollMs, true, [] {});
  while (!loop.runUntil([&] { return done() || interrupted(); }, std::chrono::hours(1))) {
  }
  loop.stopTimer(kSignalPollTimer);
}

// --- fetch ---------------------------------------------------------------------------------------

// The summary on stdout; the exit code.
int summarizeFetch(const InstrumentDefinition& definition, const std::vector<int>& slots,
                   const std::vector<int>& missing, std::size_t arrived, const std::string& file,
                   bool written, std::chrono::steady_clock::time_point started) {
  std::string summary =
      formatText(kTextCapacity, "Fetched %zu of %zu patches", arrived, slots.size());
  if (written) summary += " into " + file;
  summary += formatText(kTextCapacity, " in %.1f s", secondsSince(started));
  if (!written) summary += "; " + file + " was not written";
  if (!missing.empty()) summary += "; missing slots " + slotsText(definition, missing);
  std::printf("%s.\n", summary.c_str());
  return missing.empty() && written ? kExitOk : kExitFailed;
}

int fetch(Transfer& t, const std::vector<int>& slots, const std::string& file, BankFormat format,
          bool verbose) {
  InstrumentDefinition& definition = *t.definition;
  std::vector<Patch> bank;
  bank.reserve(static_cast<std::size_t>(definition.NumTotalPatches()));
  for (int i = 0; i < definition.NumTotalPatches(); ++i) bank.emplace_back(definition);

  EventLoop loop;
  StderrReport report(stderr, isatty(STDERR_FILENO) == 1);
  CliTransferObserver observer(report, verbose);
  RequestRun requests(loop, observer);
  Connection connection(loop, t.sender);
  const auto started = std::chrono::steady_clock::now();
  if (const auto problem = connection.open(t.in, t.out, &requests)) {
    report.line(*problem);
    return summarizeFetch(definition, slots, slots, 0, file, false, started);
  }

  FetchPlan plan(slots);
  std::size_t arrivedSoFar = 0;
  // `ahead`: the engine steps its progress before it moves on to the next slot.
  auto showProgress = [&](std::size_t ahead) {
    const RequestState& state = requests.state();
    const std::size_t next = state.currentPending + ahead;
    std::string text =
        formatText(kTextCapacity, "Fetching: %zu of %zu in", arrivedSoFar, slots.size());
    if (next < state.pendingSlots.size()) {
      text += ", asking for slot " + slotName(definition, state.pendingSlots[next]);
    }
    report.progress(text);
  };
  observer.onStep = [&] {
    ++arrivedSoFar;
    showProgress(1);
  };

  while (!plan.over()) {
    const std::vector<int> run = plan.nextRun();
    const bool secondPass = plan.askingAgain();
    requests.start(definition, bank, run, t.device, t.delayMs);
    showProgress(0);
    runUntil(loop, [&] { return !requests.active(); });
    if (requests.active()) requests.abort();
    const std::size_t arrived = requests.state().currentPending;
    for (const std::string& text : observer.takeMessages()) {
      report.line("slot " + slotName(definition, run[std::min(arrived, run.size() - 1)]) + ": " +
                  text);
    }
    plan.runEnded(arrived);
    if (interrupted()) {
      plan.stop();
      report.line("interrupted");
      break;
    }
    if (plan.gaveUp()) {
      std::vector<int> notAsked(run.begin() + static_cast<std::ptrdiff_t>(arrived) + 1, run.end());
      report.line(formatText(kTextCapacity,
                             "%d slots in a row did not arrive: giving up (is the instrument "
                             "on, connected, and set to this device ID?)",
                             FetchPlan::kFailuresToGiveUp) +
                  (notAsked.empty() ? "" : "; not asked for: " + slotsText(definition, notAsked)));
    } else if (plan.askingAgain() && !secondPass && !plan.over()) {
      report.line("asking again for slot(s) " + slotsText(definition, plan.nextRun()));
    }
  }
  report.endProgress();
  connection.port().Close();

  const std::vector<int> arrived = plan.arrived();
  bool written = false;
  if (!arrived.empty()) {
    std::vector<const Patch*> patches;
    for (const int slot : arrived) patches.push_back(&bank[static_cast<std::size_t>(slot)]);
    const std::string error = writeBankFile(file, format, patches);
    written = error.empty();
    if (!written) report.line("cannot write " + file + ": " + error);
  }
  noteInArchive(t, bank, arrived, ArchiveAction::Fetched);
  return summarizeFetch(definition, slots, plan.missing(), arrived.size(), file, written, started);
}

// --- send ----------------------------------------------------------------------------------------

int send(Transfer& t, const std::string& file, bool verbose) {
  InstrumentDefinition& definition = *t.definition;
  std::vector<Patch> bank;
  bank.reserve(static_cast<std::size_t>(definition.NumTotalPatches()));
  for (int i = 0; i < definition.NumTotalPatches(); ++i) bank.emplace_back(definition);
  const BankFileRead read = readBankFile(file, definition, bank);
  if (!read.error.empty()) return failure("cannot read " + file + ": " + read.error);
  // What of the file cannot go out, said before anything is sent.
  std::vector<std::string> problems;
  if (read.wrong > 0) {
    problems.push_back(formatText(kTextCapacity, "%ld packet%s not a patch of %s", read.wrong,
                                  read.wrong == 1 ? " is" : "s are",
                                  definition.InstrumentName().c_str()));
  }
  if (read.outside > 0) {
    problems.push_back(formatText(kTextCapacity, "%ld patch%s name a slot outside 0..%d",
                                  read.outside, read.outside == 1 ? "" : "es",
                                  definition.NumTotalPatches() - 1));
  }
  if (read.damagedAfter) {
    problems.push_back(formatText(kTextCapacity, "the file is damaged after byte %llu",
                                  static_cast<unsigned long long>(*read.damagedAfter)));
  }
  for (const std::string& problem : problems) {
    std::fprintf(stderr, "banklore-cli: %s: %s; not sent\n", file.c_str(), problem.c_str());
  }
  if (read.replaced > 0) {
    std::fprintf(stderr,
                 "banklore-cli: %s: %ld patch%s replaced by a later one for the same slot\n",
                 file.c_str(), read.replaced, read.replaced == 1 ? "" : "es");
  }
  if (read.slots.empty()) {
    std::printf("Sent 0 patches: %s holds none for %s.\n", file.c_str(),
                definition.InstrumentName().c_str());
    return kExitFailed;
  }

  EventLoop loop;
  StderrReport report(stderr, isatty(STDERR_FILENO) == 1);
  CliTransferObserver observer(report, verbose);
  SendRun sends(loop, observer);
  Connection connection(loop, t.sender);
  if (const auto problem = connection.open("", t.out, nullptr)) return failure(*problem);

  long stepped = 0;
  const auto total = static_cast<long>(read.slots.size());
  long refusedSeen = 0;
  std::vector<int> sent;
  observer.onStep = [&] {
    const int slot = read.slots[static_cast<std::size_t>(std::min(stepped++, total - 1))];
    const bool refused = sends.refusedCount() > refusedSeen;
    refusedSeen = sends.refusedCount();
    if (!refused) sent.push_back(slot);
    if (verbose || refused) {
      const Patch& patch = bank[static_cast<std::size_t>(slot)];
      report.line((refused ? "The MIDI output refused patch " : "Sent patch ") +
                  slotName(definition, slot) + " \"" + patch.name() + "\"");
    }
    report.progress(formatText(kTextCapacity, "Sending: %ld of %ld", stepped, total));
  };
  observer.stopWhen = [] { return interrupted(); };
  const auto started = std::chrono::steady_clock::now();
  sends.start(definition, bank, read.slots, t.device, t.delayMs);
  runUntil(loop, [&] { return !sends.active(); });
  if (sends.active()) sends.stop();
  report.endProgress();
  // Closing waits until the queued messages have left.
  connection.port().Close();
  if (interrupted()) report.line("interrupted");
  noteInArchive(t, bank, sent, ArchiveAction::Sent);

  std::string summary =
      formatText(kTextCapacity, "Sent %ld of %ld patches from %s to %s in %.1f s",
                 sends.sentCount(), total, file.c_str(), t.out.c_str(), secondsSince(started));
  if (sends.refusedCount() > 0) {
    summary += formatText(kTextCapacity, "; %ld refused by the MIDI output", sends.refusedCount());
  }
  const long notSent = total - sends.sentCount() - sends.refusedCount();
  if (notSent > 0) summary += formatText(kTextCapacity, "; %ld not sent", notSent);
  std::printf("%s.\n", summary.c_str());
  return sends.sentCount() == total && problems.empty() ? kExitOk : kExitFailed;
}

// --- audition ------------------------------------------------------------------------------------

// What goes wrong is said before the port is opened, as far as it can be known then.
int audition(Transfer& t, const std::string& file, const std::string& slotText) {
  InstrumentDefinition& definition = *t.definition;
  const AuditionChoice choice = chooseAudition(definition, file, slotText);
  if (!choice.patch) return choice.usage ? usage(choice.error) : failure(choice.error);
  EventLoop loop;
  Connection connection(loop, t.sender);
  if (const auto problem = connection.open("", t.out, nullptr)) return failure(*problem);
  const AuditionPlayer::Outcome outcome =
      AuditionPlayer::play(definition, t.sender, *choice.patch, choice.slot, t.device);
  // Closing waits until the message has left.
  connection.port().Close();
  std::fprintf(stderr, "banklore-cli: %s\n",
               auditionOutcomeText(outcome, definition, choice, t.out).c_str());
  return outcome == AuditionPlayer::Outcome::Played ? kExitOk : kExitFailed;
}

// --- ports ---------------------------------------------------------------------------------------

int listPorts() {
  MidiPort port(makeSystemMidiBackend());
  const std::vector<std::string> inputs = port.inputDeviceNames();
  const std::vector<std::string> outputs = port.outputDeviceNames();
  // The settings' own keys: a line can go into banklore.ini as it stands.
  for (const std::string& name : inputs) std::printf("MidiIN=%s\n", name.c_str());
  for (const std::string& name : outputs) std::printf("MidiOUT=%s\n", name.c_str());
  if (inputs.empty() && outputs.empty()) {
    std::fprintf(stderr,
                 "banklore-cli: no MIDI ports (is the ALSA sequencer or a JACK server running?)\n");
  }
  return kExitOk;
}

}  // namespace

TransferCommands::TransferCommands(CLI::App& app) {
  ports_ = app.add_subcommand("ports",
                              "List the MIDI inputs and outputs by the names the "
                              "settings use (MidiIN=, MidiOUT=)");
  fetch_ = app.add_subcommand(
      "fetch", "Fetch slots from the instrument into a .syx or .mid file, as Request Sel. does");
  send_ = app.add_subcommand(
      "send", "Send the patches of a .syx or .mid file to the instrument, each to its slot");
  audition_ = app.add_subcommand(
      "audition",
      "Play one patch of a .syx or .mid file in the instrument's edit buffer, storing "
      "nothing");
  const char* settingsHelp = " (default: from the instrument's section of banklore.ini)";
  fetch_->add_option("--in", options_.in,
                     std::string("MIDI input the answers come from") + settingsHelp);
  for (CLI::App* command : {fetch_, send_, audition_}) {
    command->add_option("--out", options_.out,
                        std::string("MIDI output to the instrument") + settingsHelp);
    command
        ->add_option("--device", options_.device,
                     std::string("Device-ID index into the definition's table") + settingsHelp)
        ->check(CLI::Range(0, InstrumentDefinition::kMaxDevices - 1));
    command->add_option("--ini", options_.ini, "Settings file (default: the one Banklore reads)");
    command->add_option("--log", options_.log, "Write Banklore's debug log of the run to FILE");
  }
  for (CLI::App* command : {fetch_, send_}) {
    command->add_option("--archive", options_.archive,
                        "Note the patches in this archive file instead of Banklore's own (none "
                        "when the settings say Archive=0)");
    command
        ->add_option("--delay", options_.delay,
                     std::string("Pause in ms after each patch or request") + settingsHelp)
        ->check(CLI::Range(0, kMaxDelayMs));
    command->add_flag("-v,--verbose", options_.verbose, "Print a line for each patch");
  }
  fetch_->add_option("--slots", options_.slots, "Slots to fetch, e.g. 0-127,200 (default: all)");
  fetch_->add_option("FILE", options_.file, "Bank file to write: .syx or .mid")->required();
  send_->add_option("FILE", options_.file, "Bank file to send: .syx or .mid")->required();
  audition_->add_option("FILE", options_.file, "Bank file: .syx or .mid")->required();
  audition_->add_option("SLOT", options_.slot,
                        "The patch to play: a slot label such as A005, or a 0-based number "
                        "(default: the lowest slot the file fills)");
}

bool TransferCommands::chosen() const {
  return ports_->parsed() || fetch_->parsed() || send_->parsed() || audition_->parsed();
}

int TransferCommands::run(const DefinitionChoice& choice) {
  // The engines' trace goes to --log, started afresh, or nowhere.
  if (!options_.log.empty()) std::remove(options_.log.c_str());
  SetLogPath(options_.log);
  if (ports_->parsed()) return listPorts();
  const bool fetching = fetch_->parsed();
  const bool auditioning = audition_->parsed();
  CLI::App& command = fetching ? *fetch_ : auditioning ? *audition_ : *send_;
  const std::optional<BankFormat> format = bankFormatOfName(options_.file);
  if (fetching && !format) return usage("the file to fetch into must end in .syx or .mid");

  Transfer t;
  const FileLocations files = toolFileLocations();
  const SettingsChoice settings = chooseSettings(files, options_.ini);
  if (!settings.error.empty()) return failure(settings.error);
  t.settingsFile = settings.file;
  t.archive = archivePathFor(files, t.settingsFile, options_.archive);
  t.instrument = chosenInstrument(choice, t.settingsFile);
  if (const auto missing = missingInstrument(choice.idf, t.instrument)) {
    return choice.instrumentGiven ? usage(*missing) : failure(*missing);
  }
  // Corrections made while loading go to stderr, as the other commands show them.
  SetLogPath("/dev/stderr");
  t.definition = std::make_unique<InstrumentDefinition>(choice.idf, t.instrument, &t.sender);
  std::fseek(stderr, 0, SEEK_END);
  SetLogPath(options_.log);

  t.section = t.definition->Settings();
  auto fromSettings = [&](const char* option, std::string& value, const char* key) {
    if (command.count(option) == 0) {
      value = readText(t.settingsFile, t.section, key, "", kPortNameCapacity);
    }
    return value;
  };
  const std::string where = "[" + t.section + "] of " + t.settingsFile;
  if (fetching && fromSettings("--in", options_.in, "MidiIN").empty()) {
    return usage("no MIDI input: give --in NAME, or MidiIN in " + where);
  }
  if (fromSettings("--out", options_.out, "MidiOUT").empty()) {
    return usage("no MIDI output: give --out NAME, or MidiOUT in " + where);
  }
  t.in = fetching ? options_.in : "";
  t.out = options_.out;
  // The low byte of the settings' device ID is the index the window gives the patches.
  t.device = command.count("--device") > 0
                 ? options_.device
                 : readInt(t.settingsFile, t.section, "DeviceID", defaults::kDeviceId) & 0xFF;
  // An audition sends one message: no pause after it.
  const int delay = auditioning ? 0
                    : command.count("--delay") > 0
                        ? options_.delay
                        : readInt(t.settingsFile, t.section,
                                  fetching ? "RequestDelay" : "SendDelay", defaults::kDelayMs);
  t.delayMs = static_cast<std::uint32_t>(std::max(delay, 0));

  catchEndSignals();
  if (!fetching) {
    if (!readable(options_.file)) return failure("cannot read " + options_.file);
    if (auditioning) return audition(t, options_.file, options_.slot);
    return send(t, options_.file, options_.verbose);
  }
  const int slotCount = t.definition->NumTotalPatches();
  const SlotListParse slots = parseSlotList(
      options_.slots.empty() ? "0-" + std::to_string(slotCount - 1) : options_.slots, slotCount);
  if (!slots.error.empty()) return usage(slots.error);
  // Found out now rather than after a long fetch; nothing is replaced yet.
  if (!AtomicFile(options_.file).open()) return failure("cannot write " + options_.file);
  return fetch(t, slots.slots, options_.file, *format, options_.verbose);
}

}  // namespace banklore
