// banklore-virtual-synth: an instrument that exists only in software. It opens MIDI ports of its
// own, answers the librarian's patch requests from the patches it holds, stores the patches it is
// sent, and can misbehave on purpose (late, lost, damaged, misplaced, fragmented or repeated
// answers).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/identity.h"
#include "core/instrument_definition.h"
#include "midi/midi_backend.h"
#include "platform/atomic_file.h"
#include "platform/debug_log.h"
#include "platform/file_locations.h"
#include "platform/profile.h"
#include "synth_player.h"
#include "virtual_synth.h"

namespace banklore {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;
constexpr const char* kTool = "banklore-virtual-synth";

struct Options {
  std::string idf;
  bool idfGiven = false;
  std::string instrument = "Nova";
  std::string name = kTool;
  std::string load;
  std::string dump;
  bool verbose = false;
  std::string identity;  // empty: the section's Identity key
  SynthFaults faults;
};

int fail(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kTool, message.c_str());
  return kExitBadInput;
}

bool readable(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  return file != nullptr;
}

std::optional<std::vector<std::uint8_t>> readWhole(const std::string& path) {
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
  if (!file) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  std::uint8_t block[65536];
  while (const std::size_t got = std::fread(block, 1, sizeof block, file.get())) {
    bytes.insert(bytes.end(), block, block + got);
  }
  if (std::ferror(file.get())) return std::nullopt;
  return bytes;
}

bool writeWhole(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  AtomicFile file(path);
  if (!file.open()) return false;
  return std::fwrite(bytes.data(), 1, bytes.size(), file.stream()) == bytes.size() && file.commit();
}

// Usage errors return kExitUsage; --help prints and returns kExitOk; nullopt: go on.
std::optional<int> parse(int argc, char** argv, Options& options) {
  CLI::App app{
      "A virtual instrument for Banklore: answers patch requests and stores the patches "
      "it is sent, over MIDI ports of its own.",
      kTool};
  app.add_option("--idf", options.idf,
                 "Instrument definition file (default: the one Banklore reads)");
  app.add_option("--instrument", options.instrument, "Section of the definition file")
      ->capture_default_str();
  app.set_version_flag("--version", std::string(kTool) + " " BANKLORE_VERSION);
  app.add_option("--name", options.name, "MIDI client name; the ports are NAME:in and NAME:out")
      ->capture_default_str();
  app.add_option("--load", options.load, "Hold the patches of this .syx file instead");
  app.add_option("--dump", options.dump, "Write every slot's patch to this .syx file on exit");
  app.add_flag("-v,--verbose", options.verbose, "Print a line for each message received");
  app.add_option("--identity", options.identity,
                 "Answer identity requests with these hex bytes from the manufacturer ID on "
                 "(default: the section's Identity key; none: no answer)");
  SynthFaults& f = options.faults;
  const auto& nonNegative = CLI::NonNegativeNumber;
  app.add_option("--delay", f.delayMs, "Answer this many ms late")->check(nonNegative);
  app.add_option("--drop", f.dropEvery, "Leave every N-th answer unsent")->check(nonNegative);
  app.add_option("--corrupt", f.corruptEvery,
                 "Send every N-th answer one byte short (its next-to-last byte lost)")
      ->check(nonNegative);
  app.add_option("--wrong-slot", f.wrongSlotEvery,
                 "Answer every N-th request with the next slot's patch")
      ->check(nonNegative);
  CLI::Option* split =
      app.add_option("--split", f.splitBytes, "Send answers in raw pieces of this many bytes")
          ->check(CLI::PositiveNumber);
  app.add_option("--gap", f.gapMs, "Pause this many ms between pieces")
      ->check(nonNegative)
      ->needs(split);
  app.add_option("--garbage", f.garbageEvery,
                 "Send every N-th answer after a burst of garbage (stray data bytes, a cut-off "
                 "SysEx, another maker's SysEx)")
      ->check(nonNegative);
  app.add_option("--twice", f.twiceEvery,
                 "Send every N-th answer two times, the second copy right after the first")
      ->check(nonNegative);
  app.footer(
      "Ends on Ctrl+C, SIGTERM or SIGHUP, writing --dump first. Counts n are every n-th answer "
      "over "
      "the whole run; 0 means never. A patch message that names no slot (as the built-in Nova's) "
      "is stored in the slot last selected or requested.");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "%s: %s\n", kTool, e.what());
    return kExitUsage;
  }
  options.idfGiven = app.count("--idf") > 0;
  return std::nullopt;
}

// The definition the options name; an error text when they name one that is not there. Without a
// file the built-in Nova is used.
std::optional<std::string> checkDefinition(Options& options) {
  if (!options.idfGiven) {
    const ProgramPaths tool = programPathsFrom(currentExecutablePath());
    options.idf = currentFileLocations({tool.dir, "banklore"}).definitionFile;
  }
  if (options.idfGiven && !readable(options.idf)) return "cannot read " + options.idf;
  if (equalsIgnoringCase(options.instrument, "Nova")) return std::nullopt;
  if (!readable(options.idf)) {
    return "no definition file (" + options.idf + ") for instrument " + options.instrument;
  }
  for (const std::string& section : sectionNames(options.idf)) {
    if (equalsIgnoringCase(section, options.instrument)) return std::nullopt;
  }
  return "no section [" + options.instrument + "] in " + options.idf;
}

// SIGINT, SIGTERM and SIGHUP are taken by sigwait in main, never by a handler on another thread;
// they are blocked before any thread starts, so every thread inherits the mask.
sigset_t blockEndSignals() {
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  return signals;
}

void printSummary(const SynthCounts& c, long inputErrors) {
  std::printf(
      "requests %ld (answered %ld, dropped %ld, corrupted %ld, wrong slot %ld, after garbage "
      "%ld, twice %ld), selects %ld, patches stored %ld, played in the edit buffer %ld, refused "
      "%ld, ignored %ld, input errors %ld, identity requests %ld\n",
      c.requests, c.answered, c.dropped, c.corrupted, c.wrongSlot, c.garbled, c.twice, c.selects,
      c.stored, c.auditioned, c.refused, c.ignored, inputErrors, c.identified);
}

int run(int argc, char** argv) {
  Options options;
  if (const auto status = parse(argc, argv, options)) return *status;
  if (const auto error = checkDefinition(options)) return fail(*error);

  // Corrections made while loading and failed MIDI calls go to stderr. O_APPEND keeps our own
  // lines from overwriting the log's, which come through a stream of their own.
  fcntl(STDERR_FILENO, F_SETFL, fcntl(STDERR_FILENO, F_GETFL) | O_APPEND);
  SetLogPath("/dev/stderr");
  const InstrumentDefinition definition(options.idf, options.instrument, nullptr);
  VirtualSynth synth(definition, options.faults);
  // Who it says it is: "ff" in a section's pattern stands for any byte, and it answers with 00.
  const std::string identity =
      !options.identity.empty() ? options.identity
                                : readText(options.idf, options.instrument, "Identity", "", 1024);
  if (const auto pattern = parseIdentityPattern(identity)) {
    std::vector<std::uint8_t> bytes;
    for (const int byte : *pattern) bytes.push_back(static_cast<std::uint8_t>(std::max(byte, 0)));
    // A pattern may leave out the version: the reply always has family, model and version.
    bytes.resize((bytes[0] == 0x00 ? 3 : 1) + 8, 0x00);
    synth.setIdentity(std::move(bytes));
  } else if (!options.identity.empty() && options.identity != "none") {
    return fail("--identity " + options.identity + ": not comma-separated hex bytes");
  }
  // Found out now rather than after a long session.
  if (!options.dump.empty() && !AtomicFile(options.dump).open()) {
    return fail("cannot write " + options.dump);
  }
  if (!options.load.empty()) {
    const auto image = readWhole(options.load);
    if (!image) return fail("cannot read " + options.load);
    if (const auto error = synth.load(*image)) return fail(options.load + ": " + *error);
  }

  const sigset_t endSignals = blockEndSignals();
  std::unique_ptr<MidiBackend> backend = makeSystemMidiBackend();
  std::mutex printing;
  long inputErrors = 0;
  auto player = std::make_unique<SynthPlayer>(
      std::move(synth), [&backend](std::span<const std::uint8_t> bytes) { backend->send(bytes); },
      [&](const Reaction& reaction) {
        if (!options.verbose) return;
        std::lock_guard lock(printing);
        std::printf("%s\n", describe(reaction, definition).c_str());
        std::fflush(stdout);
      });
  const bool open = backend->openVirtual(
      options.name, [&player](std::span<const std::uint8_t> message) { player->receive(message); },
      [&](MidiInputError error) {
        std::lock_guard lock(printing);
        ++inputErrors;
        if (!options.verbose) return;
        std::printf("input error: %s\n",
                    error == MidiInputError::Long ? "broken SysEx" : "invalid short message");
        std::fflush(stdout);
      });
  int status = kExitOk;
  if (open) {
    std::printf("%s: %s, %d patches of %d bytes\nin:  %s:in\nout: %s:out\n", kTool,
                definition.InstrumentName().c_str(), definition.NumTotalPatches(),
                definition.PatchSize(), options.name.c_str(), options.name.c_str());
    std::fflush(stdout);
    int signal = 0;
    sigwait(&endSignals, &signal);
    backend->closeVirtual();
  } else {
    status = fail("cannot open the MIDI ports " + options.name + ":in and " + options.name +
                  ":out (no MIDI system running, or the name is taken)");
  }
  const SynthCounts counts = player->withSynth([](const VirtualSynth& s) { return s.counts(); });
  const std::vector<std::uint8_t> dump =
      player->withSynth([](const VirtualSynth& s) { return s.dump(); });
  player.reset();  // no more sends: the backend may go
  backend.reset();
  if (open) {
    std::lock_guard lock(printing);
    printSummary(counts, inputErrors);
  }
  if (!options.dump.empty() && !writeWhole(options.dump, dump)) {
    return fail("cannot write " + options.dump);
  }
  return status;
}

}  // namespace
}  // namespace banklore

int main(int argc, char** argv) {
  // A write past the file-size limit then fails like one to a full disk, which every writer
  // reports, instead of killing the program with its files half written.
  std::signal(SIGXFSZ, SIG_IGN);
  const int status = banklore::run(argc, argv);
  if (std::fflush(stdout) != 0) return status == 0 ? 1 : status;
  return status;
}
