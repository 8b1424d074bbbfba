#include "cli_check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>

#include "core/patch.h"
#include "core/sysex_template.h"
#include "files/midi_file.h"
#include "platform/profile.h"
#include "platform/regular_file.h"

namespace banklore {
namespace {

using Bytes = std::vector<std::uint8_t>;

__attribute__((format(printf, 1, 2))) std::string format(const char* pattern, ...) {
  char text[256];
  std::va_list arguments;
  va_start(arguments, pattern);
  std::vsnprintf(text, sizeof text, pattern, arguments);
  va_end(arguments);
  return text;
}

// "1 byte", "2 bytes".
std::string counted(std::size_t count, const char* thing) {
  return std::to_string(count) + " " + thing + (count == 1 ? "" : "s");
}

struct Packets {
  std::vector<Bytes> packets;
  std::optional<std::uint64_t> damagedAfter;  // a MIDI file cut short: bytes read intact
  std::string error;                          // the file could not be read at all
};

bool isMidiFile(const std::string& path, std::FILE* file) {
  const auto endsWith = [&path](std::string_view suffix) {
    return path.size() >= suffix.size() &&
           equalsIgnoringCase(std::string_view(path).substr(path.size() - suffix.size()), suffix);
  };
  if (endsWith(".mid") || endsWith(".midi")) return true;
  char magic[4] = {};
  const bool midi = std::fread(magic, 1, 4, file) == 4 && std::string_view(magic, 4) == "MThd";
  std::rewind(file);
  return midi;
}

// As loading cuts them: a raw file into PatchSize pieces (the last may be short), a MIDI file into
// its SysEx events.
Packets readPackets(const InstrumentDefinition& d, const std::string& path) {
  Packets result;
  const FileHandle file = openRegularForReading(path);
  if (!file) {
    result.error = "cannot open " + path;
    return result;
  }
  if (isMidiFile(path, file.get())) {
    MidiFileReader reader;
    if (!reader.Read(path) && !reader.damagedAfter()) {
      result.error = "cannot read " + path + " as a Standard MIDI File";
      return result;
    }
    for (int i = 0; const auto message = reader.message(i); ++i) {
      result.packets.emplace_back(message->begin(), message->end());
    }
    result.damagedAfter = reader.damagedAfter();
    return result;
  }
  Bytes piece(static_cast<std::size_t>(d.PatchSize()));
  for (;;) {
    const std::size_t got = std::fread(piece.data(), 1, piece.size(), file.get());
    if (got == 0) break;
    result.packets.emplace_back(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < piece.size()) break;
  }
  if (std::ferror(file.get())) result.error = "read error in " + path;
  return result;
}

// Why the program would refuse the packet; only its first PatchSize bytes count, as when loading.
std::string whyInvalid(const InstrumentDefinition& d, std::span<const std::uint8_t> packet) {
  const auto patchSize = static_cast<std::size_t>(d.PatchSize());
  const std::string wrongLength =
      format("wrong length (%zu bytes, expected %zu)", packet.size(), patchSize);
  if (packet.size() < patchSize) return wrongLength;
  const auto message = packet.first(patchSize);
  if (const auto at = firstMismatch(message, d.Send())) {
    return format("byte %zu is %02X where Send expects %02X", *at, message[*at],
                  literalAt(d.Send(), *at).value_or(0));
  }
  const std::int32_t end = d.messageLength(message);
  if (end < d.PatchSize() - 1) return format("an F7 at byte %d ends it early", end);
  if (end == d.PatchSize()) {
    return packet.size() > patchSize ? wrongLength : format("no F7 at byte %zu", patchSize - 1);
  }
  for (std::size_t i = 1; i + 1 < message.size(); ++i) {
    const bool fixed =
        literalAt(d.Send(), i).has_value() || static_cast<std::int32_t>(i) == d.SendChecksumPos();
    if (message[i] > 0x7F && !fixed) {
      return format("byte %zu is %02X, a status byte inside the message", i, message[i]);
    }
  }
  return "not a patch message of this instrument";
}

struct Tally {
  int packets = 0;
  int valid = 0;
  int checksumsOk = 0;
  int checksumsWrong = 0;
  int identical = 0;
};

std::string checksumVerdict(const InstrumentDefinition& d, std::span<const std::uint8_t> message,
                            Tally& tally) {
  const std::int32_t at = d.SendChecksumPos();
  if (at == 0 || d.ChecksumType().empty()) return "none";
  if (at < 0 || static_cast<std::size_t>(at) >= message.size()) return "outside the packet";
  const std::uint8_t stored = message[static_cast<std::size_t>(at)];
  const std::uint8_t computed = d.computeChecksum(d.ChecksumType(), message);
  if (stored == computed) {
    ++tally.checksumsOk;
    return format("ok (%02X)", stored);
  }
  ++tally.checksumsWrong;
  return format("wrong (stored %02X, %s gives %02X)", stored, d.ChecksumType().c_str(), computed);
}

// "" when equal, else where and how `after` differs from `before`.
std::string difference(std::span<const std::uint8_t> before, std::span<const std::uint8_t> after) {
  if (before.size() != after.size())
    return format("%zu bytes instead of %zu", after.size(), before.size());
  std::size_t count = 0;
  std::optional<std::size_t> first;
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == after[i]) continue;
    ++count;
    if (!first) first = i;
  }
  if (!first) return "";
  return counted(count, "byte") + format(" changed, the first at byte %zu (%02X became %02X)",
                                         *first, before[*first], after[*first]);
}

// Stored as a received patch is stored (loadBytes alone), then sent back to the slot it names;
// both must leave the bytes as they came.
std::string roundTrip(InstrumentDefinition& d, std::vector<Bytes>& sent,
                      std::span<const std::uint8_t> message) {
  Patch patch(d);
  patch.loadBytes(message);
  if (const std::string changed = difference(message, patch.bytes()); !changed.empty()) {
    return "changed by storing: " + changed;
  }
  sent.clear();
  patch.send(-1);
  if (sent.empty()) return "nothing was sent";
  const std::string changed = difference(message, sent.back());
  sent.clear();
  return changed.empty() ? "identical" : "changed by sending: " + changed;
}

void checkPacket(InstrumentDefinition& d, std::vector<Bytes>& sent, int index,
                 std::span<const std::uint8_t> packet, Tally& tally) {
  ++tally.packets;
  const auto patchSize = static_cast<std::size_t>(d.PatchSize());
  const bool valid = d.matchesSendTemplate(packet);
  std::string verdict = valid ? "valid" : "invalid: " + whyInvalid(d, packet);
  if (valid && packet.size() > patchSize) {
    verdict += format(" (%zu bytes past the patch ignored)", packet.size() - patchSize);
  }
  // A short packet is padded with 00, where a name ends: the name shows only bytes of the file.
  Bytes message(packet.begin(),
                packet.begin() + static_cast<std::ptrdiff_t>(std::min(packet.size(), patchSize)));
  message.resize(patchSize, 0x00);
  Patch patch(d);
  patch.loadBytes(message);
  const std::int32_t slot = d.patchNumberOf(message);
  const std::string checksum =
      checksumVerdict(d, std::span(packet).first(std::min(packet.size(), patchSize)), tally);
  std::string trip = "not tried";
  if (valid) {
    ++tally.valid;
    trip = roundTrip(d, sent, message);
    if (trip == "identical") ++tally.identical;
  }
  // Loading stores a valid packet in the slot it names, and nothing else anywhere.
  const std::string where =
      valid ? format("slot %d %s", slot, d.patchLabel(slot).c_str()) : std::string("no slot");
  std::printf("%d: %s, %s, %s, name \"%s\", checksum %s, round trip %s\n", index,
              counted(packet.size(), "byte").c_str(), verdict.c_str(), where.c_str(),
              patch.name().c_str(), checksum.c_str(), trip.c_str());
}

}  // namespace

void addCheckCommand(CLI::App& app, CheckCommand& check) {
  check.command = app.add_subcommand(
      "check",
      "Judge each packet of a .syx or .mid as Banklore would and send it back: exit 0 when every "
      "packet is valid and comes back byte for byte");
  check.command->add_option("FILE", check.file, "Bank file of real dumps")->required();
}

int runCheck(InstrumentDefinition& definition, std::vector<Bytes>& sent,
             const CheckCommand& check) {
  const Packets read = readPackets(definition, check.file);
  if (!read.error.empty()) {
    std::fprintf(stderr, "banklore-cli: %s\n", read.error.c_str());
    return 1;
  }
  Tally tally;
  for (std::size_t i = 0; i < read.packets.size(); ++i) {
    checkPacket(definition, sent, static_cast<int>(i), read.packets[i], tally);
  }
  std::printf("%s: %d valid, %d invalid; checksums %d ok, %d wrong; %d of %s identical\n",
              counted(static_cast<std::size_t>(tally.packets), "packet").c_str(), tally.valid,
              tally.packets - tally.valid, tally.checksumsOk, tally.checksumsWrong, tally.identical,
              counted(static_cast<std::size_t>(tally.valid), "round trip").c_str());
  if (read.damagedAfter) {
    std::fprintf(stderr,
                 "banklore-cli: %s is damaged after byte %llu; nothing after that was read\n",
                 check.file.c_str(), static_cast<unsigned long long>(*read.damagedAfter));
    return 1;
  }
  if (tally.packets == 0) {
    std::fprintf(stderr, "banklore-cli: %s holds no packet\n", check.file.c_str());
    return 1;
  }
  return tally.valid == tally.packets && tally.identical == tally.packets ? 0 : 1;
}

}  // namespace banklore
