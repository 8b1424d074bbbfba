// banklore-cli: shows what the codec makes of an instrument definition, which bytes would go to
// the instrument for a slot, and what a bank file (.syx or .mid) holds, packet by packet.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli_archive.h"
#include "cli_check.h"
#include "cli_detect.h"
#include "cli_report.h"
#include "cli_transfers.h"
#include "core/instrument_definition.h"
#include "core/patch.h"
#include "core/sysex_sender.h"
#include "core/sysex_template.h"
#include "files/midi_file.h"
#include "platform/debug_log.h"
#include "platform/file_locations.h"
#include "platform/profile.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitUsage = 2;

// Keeps what would have been sent to the instrument.
class RecordingSender : public SysExSender {
 public:
  bool SendSysEx(const std::uint8_t* bytes, std::size_t length) override {
    if (length > 0) sent.emplace_back(bytes, bytes + length);
    return true;
  }
  std::vector<std::vector<std::uint8_t>> sent;
};

struct Options {
  std::string idf;
  bool idfGiven = false;
  std::string instrument = "Nova";
  std::int32_t slot = 0;
  int device = 0;
  std::string file;
};

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() &&
         equalsIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// Only a regular file: a FIFO or a device named by mistake would block the open for good.
bool readable(const std::string& path) {
  return openRegularForReading(path) != nullptr;
}

int fail(const std::string& message) {
  std::fprintf(stderr, "banklore-cli: %s\n", message.c_str());
  return kExitBadInput;
}

// --- definition ------------------------------------------------------------------------------

std::string signText(int sign) {
  if (sign > 0x20 && sign < 0x7F) return std::string(1, static_cast<char>(sign));
  return "(code " + std::to_string(sign) + ")";
}

void printDefinition(const InstrumentDefinition& d, const std::string& source) {
  auto line = [](const char* key, const std::string& value) {
    std::printf("%s: %s\n", key, value.c_str());
  };
  auto number = [&](const char* key, long long value) { line(key, std::to_string(value)); };
  line("Instrument", d.InstrumentName());
  line("DefinitionFile", source);
  line("Settings", d.Settings());
  line("Request", d.Request());
  line("Send", d.Send());
  line("PatchSelect", d.PatchSelect());
  line("Audition", d.Audition());
  number("NumTotalPatches", d.NumTotalPatches());
  number("NumEditablePatches", d.NumEditablePatches());
  number("NumPatchesPerBank", d.NumPatchesPerBank());
  number("FirstPatchNumber", d.FirstPatchNumber());
  line("FirstBankSign", signText(d.FirstBankSign()));
  number("BankOffset", d.BankOffset());
  number("BankRequestOffset", d.BankRequestOffset());
  number("PatchOffset", d.PatchOffset());
  number("HeaderSize", d.HeaderSize());
  number("DataSize", d.DataSize());
  number("FooterSize", d.FooterSize());
  number("PatchSize", d.PatchSize());
  number("NameOffset", d.NameOffset());
  number("NameLen", d.NameLen());
  line("ChecksumType", d.ChecksumType());
  number("SendChecksumPos", d.SendChecksumPos());
  line("RequestChecksumType", d.RequestChecksumType());
  number("RequestChecksumPos", d.RequestChecksumPos());
  number("BankCount", static_cast<long long>(d.BankNames().size()));
  for (std::size_t i = 0; i < d.BankNames().size(); ++i) {
    std::printf("Bank %zu: \"%s\"\n", i, d.BankNames()[i].c_str());
  }
  number("DeviceCount", d.DeviceCount());
  for (unsigned i = 0; i < d.DeviceCount(); ++i) {
    std::printf("Device %u: %02X \"%s\"\n", i, d.DeviceIdBytes()[i], d.DeviceIdNames()[i].c_str());
  }
  line("FirstLabel", d.patchLabel(0));
  line("LastLabel", d.patchLabel(d.NumTotalPatches() - 1));
}

// --- request / patch-header -----------------------------------------------------------------

int checkSlotAndDevice(const InstrumentDefinition& d, const Options& options) {
  if (options.slot < 0 || options.slot >= d.NumTotalPatches()) {
    std::fprintf(stderr, "banklore-cli: slot %d is outside 0..%d\n", options.slot,
                 d.NumTotalPatches() - 1);
    return kExitUsage;
  }
  if (options.device < 0 || options.device >= InstrumentDefinition::kMaxDevices) {
    std::fprintf(stderr, "banklore-cli: device %d is outside 0..%d\n", options.device,
                 InstrumentDefinition::kMaxDevices - 1);
    return kExitUsage;
  }
  return kExitOk;
}

void printRequest(InstrumentDefinition& d, RecordingSender& sender, const Options& options) {
  Patch patch(d);
  patch.setDeviceId(options.device);
  patch.request(options.slot);
  for (const auto& message : sender.sent) std::printf("%s\n", hex(message).c_str());
}

void printPatchHeader(InstrumentDefinition& d, RecordingSender& sender, const Options& options) {
  Patch patch(d);
  patch.setDeviceId(options.device);
  patch.send(options.slot);
  // The last message is the patch itself; anything before it is the patch-select message.
  for (std::size_t i = 0; i < sender.sent.size(); ++i) {
    std::span<const std::uint8_t> message = sender.sent[i];
    if (i + 1 == sender.sent.size()) {
      message = message.first(std::min(message.size(), static_cast<std::size_t>(d.HeaderSize())));
    }
    std::printf("%s\n", hex(message).c_str());
  }
}

// --- inspect ----------------------------------------------------------------------------------

struct Tally {
  int packets = 0;
  int valid = 0;
  int checksumsOk = 0;
  int checksumsWrong = 0;
  std::optional<std::uint64_t> damagedAfter;  // a file cut short: bytes read intact
};

// Why loading would refuse the packet; only its first PatchSize bytes count, as when loading.
std::string whyInvalid(const InstrumentDefinition& d, std::span<const std::uint8_t> packet) {
  const auto patchSize = static_cast<std::size_t>(d.PatchSize());
  const std::string wrongLength = "wrong length (" + std::to_string(packet.size()) + ", expected " +
                                  std::to_string(patchSize) + ")";
  if (packet.size() < patchSize) return wrongLength;
  const auto message = packet.first(patchSize);
  if (const auto at = firstMismatch(message, d.Send())) {
    return "wrong template byte at offset " + std::to_string(*at);
  }
  const std::int32_t end = d.messageLength(message);
  if (end == d.PatchSize() && packet.size() > patchSize) return wrongLength;
  if (end < d.PatchSize() - 1) return "F7 misplaced at offset " + std::to_string(end);
  return "F7 misplaced: none at offset " + std::to_string(patchSize - 1);
}

void inspectPacket(InstrumentDefinition& d, int index, std::span<const std::uint8_t> packet,
                   Tally& tally) {
  ++tally.packets;
  const bool valid = d.matchesSendTemplate(packet);
  if (valid) ++tally.valid;
  std::string verdict = valid ? "valid" : "invalid: " + whyInvalid(d, packet);
  if (valid && packet.size() > static_cast<std::size_t>(d.PatchSize())) {
    verdict +=
        " (" + std::to_string(packet.size() - d.PatchSize()) + " bytes past the patch ignored)";
  }
  // A short packet is padded with zero bytes, where a name ends, so the name shows only bytes that
  // are in the file and nothing of a placeholder.
  std::vector<std::uint8_t> whole(packet.begin(), packet.end());
  whole.resize(std::max(whole.size(), static_cast<std::size_t>(d.PatchSize())), 0x00);
  Patch patch(d);
  patch.loadBytes(whole);
  const std::int32_t slot = d.patchNumberOf(packet);
  std::string checksum = "none";
  const std::int32_t at = d.SendChecksumPos();
  if (at != 0 && !d.ChecksumType().empty()) {
    if (at < 0 || static_cast<std::size_t>(at) >= packet.size()) {
      checksum = "outside the packet";
    } else {
      const std::uint8_t stored = packet[static_cast<std::size_t>(at)];
      const std::uint8_t computed = d.computeChecksum(d.ChecksumType(), packet);
      char text[64];
      if (stored == computed) {
        std::snprintf(text, sizeof text, "ok (%02X)", stored);
        ++tally.checksumsOk;
      } else {
        std::snprintf(text, sizeof text, "wrong (stored %02X, computed %02X)", stored, computed);
        ++tally.checksumsWrong;
      }
      checksum = text;
    }
  }
  std::printf("%d: %zu bytes, %s, slot %d %s, name \"%s\", checksum %s\n", index, packet.size(),
              verdict.c_str(), slot, d.patchLabel(slot).c_str(), patch.name().c_str(),
              checksum.c_str());
}

int inspectMidiFile(InstrumentDefinition& d, const std::string& path, Tally& tally) {
  MidiFileReader reader;
  // A damaged file shows the packets before the damage, as loading it stores them.
  if (!reader.Read(path) && !reader.damagedAfter()) {
    return fail("cannot read " + path + " as a Standard MIDI File");
  }
  for (int i = 0; const auto message = reader.message(i); ++i) {
    inspectPacket(d, i, *message, tally);
  }
  tally.damagedAfter = reader.damagedAfter();
  return kExitOk;
}

int inspectSyxFile(InstrumentDefinition& d, const std::string& path, Tally& tally) {
  const FileHandle file = openRegularForReading(path);
  if (!file) return fail("cannot open " + path);
  std::vector<std::uint8_t> piece(static_cast<std::size_t>(d.PatchSize()));
  for (int index = 0;; ++index) {
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), file.get());
    if (got == 0) break;
    inspectPacket(d, index, std::span(piece).first(got), tally);
    if (got < piece.size()) break;
  }
  if (std::ferror(file.get())) return fail("read error in " + path);
  return kExitOk;
}

bool looksLikeMidiFile(const std::string& path) {
  if (endsWithNoCase(path, ".mid") || endsWithNoCase(path, ".midi")) return true;
  char magic[4] = {};
  const FileHandle file = openRegularForReading(path);
  return file && std::fread(magic, 1, 4, file.get()) == 4 && std::string_view(magic, 4) == "MThd";
}

int inspect(InstrumentDefinition& d, const Options& options) {
  if (!readable(options.file)) return fail("cannot open " + options.file);
  Tally tally;
  const int status = looksLikeMidiFile(options.file) ? inspectMidiFile(d, options.file, tally)
                                                     : inspectSyxFile(d, options.file, tally);
  if (status != kExitOk) return status;
  std::printf("%d packets: %d valid, %d invalid", tally.packets, tally.valid,
              tally.packets - tally.valid);
  if (tally.checksumsOk + tally.checksumsWrong > 0) {
    std::printf("; checksums %d ok, %d wrong", tally.checksumsOk, tally.checksumsWrong);
  }
  std::printf("\n");
  if (tally.damagedAfter) {
    return fail(options.file + " is damaged after byte " + std::to_string(*tally.damagedAfter) +
                "; nothing after that was read");
  }
  return kExitOk;
}

// --- main -------------------------------------------------------------------------------------

// The file the program beside the tool reads, by the same rules.
std::string defaultDefinitionFile() {
  const ProgramPaths tool = programPathsFrom(currentExecutablePath());
  return currentFileLocations({tool.dir, "banklore"}).definitionFile;
}

int run(int argc, char** argv) {
  CLI::App app{"Inspect instrument definitions, the messages they make, and bank files.",
               "banklore-cli"};
  app.fallthrough();  // --idf and --instrument may follow the subcommand
  app.require_subcommand(1);
  Options options;
  app.add_option("--idf", options.idf,
                 "Instrument definition file (default: the one Banklore reads; `definition` "
                 "prints its path)");
  app.add_option("--instrument", options.instrument, "Section of the definition file")
      ->capture_default_str();
  app.set_version_flag("--version", "banklore-cli " BANKLORE_VERSION);

  CLI::App* definition = app.add_subcommand("definition", "Print the resolved definition");
  CLI::App* request = app.add_subcommand("request", "Print the messages that request a slot");
  CLI::App* header = app.add_subcommand("patch-header", "Print the header a patch gets in a slot");
  for (CLI::App* command : {request, header}) {
    command->add_option("SLOT", options.slot, "Slot number, 0 based")->required();
    command->add_option("--device", options.device, "Device-ID index")->capture_default_str();
  }
  CLI::App* inspectCommand = app.add_subcommand("inspect", "Check the packets of a .syx or .mid");
  inspectCommand->add_option("FILE", options.file, "Bank file")->required();
  CheckCommand check;
  addCheckCommand(app, check);
  TransferCommands transfers(app);
  const DetectCommand detect(app);
  const ArchiveCommand archive(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::fprintf(stderr, "banklore-cli: %s\n", e.what());
    return kExitUsage;
  }

  options.idfGiven = app.count("--idf") > 0;
  if (!options.idfGiven) options.idf = defaultDefinitionFile();
  if (options.idfGiven && !readable(options.idf)) return fail("cannot read " + options.idf);
  if (detect.chosen()) return detect.run(options.idf);
  const DefinitionChoice choice{options.idf, options.instrument, app.count("--instrument") > 0};
  if (transfers.chosen()) return transfers.run(choice);
  if (archive.chosen()) return archive.run(choice);
  std::string source = options.idf;
  if (!readable(options.idf)) {
    source = "(none: built-in values)";
  } else {
    bool found = false;
    for (const std::string& name : sectionNames(options.idf))
      found = found || equalsIgnoringCase(name, options.instrument);
    if (!found) source += " (no section [" + options.instrument + "]: built-in values)";
  }

  // Corrections made while loading go to stderr rather than to a log file.
  SetLogPath("/dev/stderr");
  RecordingSender sender;
  InstrumentDefinition d(options.idf, options.instrument, &sender);
  // The log appended through a stream of its own; when stderr is a file, move past what it wrote.
  std::fseek(stderr, 0, SEEK_END);

  if (*definition) {
    printDefinition(d, source);
    return kExitOk;
  }
  if (*request || *header) {
    if (const int status = checkSlotAndDevice(d, options); status != kExitOk) return status;
    if (*request) {
      printRequest(d, sender, options);
    } else {
      printPatchHeader(d, sender, options);
    }
    return kExitOk;
  }
  if (*check.command) return runCheck(d, sender.sent, check);
  return inspect(d, options);
}

}  // namespace
}  // namespace banklore

int main(int argc, char** argv) {
  // A write past the file-size limit then fails like one to a full disk, which every writer
  // reports, instead of killing the program with its files half written.
  std::signal(SIGXFSZ, SIG_IGN);
  const int status = banklore::run(argc, argv);
  // A report that did not reach its file (a full disk, a closed pipe) is no success.
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
    std::fprintf(stderr, "banklore-cli: cannot write the output\n");
    return status == banklore::kExitOk ? banklore::kExitBadInput : status;
  }
  return status;
}
