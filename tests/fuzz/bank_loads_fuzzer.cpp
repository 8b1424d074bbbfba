// The four bank-file loads (.syx and .mid, into the bank and into the selected slots) of the
// librarian, on any file content, any selection and either bank, for four instruments: a small
// one, one whose patches may name slots beyond the bank, and the repository's Nova and Matrix-1000.
// The outcome is worked out from the file on its own (cut into PatchSize pieces, or read with the
// MIDI file reader) and compared. Invariants:
// - The status says how many patches were loaded (or that a MIDI file could not be read), and the
//   box counts the same matching and wrong packets; into the bank every piece is one or the other.
// - Only the loaded bank changes, and in it only the slots a valid packet goes to: the slot the
//   packet names (into the bank; the last one wins, a slot beyond the bank is counted but not
//   stored), or the next selected slot (into the selection; a wrong packet leaves its slot).
// - Each slot stored holds that packet unchanged but for its header and checksum, is a valid patch
//   and names that slot where the instrument's header carries it.
// - Nothing is read beyond the file or written beyond the bank (the sanitizers watch).
#include <cstdio>
#include <map>
#include <memory>

#include "app/support/app_fixture.h"
#include "files/midi_file.h"
#include "fuzz_support.h"
#include "midi/loopback_backend.h"
#include "platform/debug_log.h"

namespace banklore::fuzz {
namespace {

using testing::FakePrompts;
using testing::FakeView;
using testing::ManualClock;

struct Setup {
  const char* name;
  std::string definition;  // the whole banklore.idf
  std::string instrument;
  bool headerNamesSlot;  // the Send template carries program and bank in full
};

std::string repositoryDefinitions() {
  std::ifstream in(BANKLORE_IDF, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<Setup> setups() {
  return {
      {"small",
       "[Small]\nNumTotalPatches=32\nNumPatchesPerBank=16\nFooterSize=2\nDataSize=19\n"
       "Request=f0,7d,u1,11,t1,s1,f7\nSend=f0,7d,u1,10,t1,s1\nBankOffset=0\nNamePos=0\n"
       "NameLen=8\nChecksumType=AllDataBytes\nSendChecksumPos=-1\nBankNames=A,B\n"
       "DeviceIDBytes=10,11,12,13\n",
       "Small", true},
      // Banks of 64 in a whole of 20: a patch may name a slot the librarian does not have.
      {"beyond",
       "[Beyond]\nNumTotalPatches=20\nNumPatchesPerBank=64\nFooterSize=1\nDataSize=6\n"
       "Request=f0,7e,t1,s1,f7\nSend=f0,7e,t1,s1\nBankOffset=0\nNamePos=1\nNameLen=3\n"
       "ChecksumType=Range:2-8\nSendChecksumPos=-1\n",
       "Beyond", false},
      {"nova", repositoryDefinitions(), "Nova", true},
      {"matrix", repositoryDefinitions(), "Matrix-1000", false},
  };
}

// One librarian per setup, each in its own folder, started once.
struct Librarian {
  explicit Librarian(const Setup& setup) : dir(scratch().file(setup.name)) {
    std::filesystem::create_directories(dir);
    writeFile(dir + "/banklore.idf", setup.definition);
    writeFile(dir + "/banklore.ini", "[General]\nInstrument=" + setup.instrument + "\n");
    window = std::make_unique<MainWindow>(ProgramPaths{dir + "/", "banklore"}, makeLoopbackBackend,
                                          view, prompts, clock);
    window->initWindow();
    headerNamesSlot = setup.headerNamesSlot;
    SetLogPath("");  // a log line per load is of no use here
  }
  std::string dir;
  FakeView view;
  FakePrompts prompts;
  ManualClock clock;
  std::unique_ptr<MainWindow> window;
  bool headerNamesSlot = false;
};

std::vector<std::unique_ptr<Librarian>>& librarians() {
  static std::vector<std::unique_ptr<Librarian>> all = [] {
    std::vector<std::unique_ptr<Librarian>> made;
    for (const Setup& setup : setups()) made.push_back(std::make_unique<Librarian>(setup));
    return made;
  }();
  return all;
}

std::vector<Bytes> bankBytes(const MainWindow& window, int bank) {
  std::vector<Bytes> slots;
  for (const Patch& patch : window.bank(bank).slots)
    slots.emplace_back(patch.bytes().begin(), patch.bytes().end());
  return slots;
}

enum class Load { SyxIntoBank, MidIntoBank, SyxIntoSelection, MidIntoSelection };

// What storing a patch into a slot leaves alone: everything but the header (renumbered, stamped
// with the device) and the checksum byte (renewed).
Bytes payloadOf(InstrumentDefinition& d, std::span<const std::uint8_t> patch) {
  Bytes payload(patch.begin(), patch.end());
  const std::size_t header = std::max<std::size_t>(static_cast<std::size_t>(d.HeaderSize()),
                                                   buildMessage(d.Send(), d.variables()).size());
  std::fill_n(payload.begin(), std::min(header, payload.size()), 0);
  if (d.SendChecksumPos() > 0 && static_cast<std::size_t>(d.SendChecksumPos()) < payload.size()) {
    payload[static_cast<std::size_t>(d.SendChecksumPos())] = 0;
  }
  return payload;
}

// The outcome a load must have, worked out from the file on its own: which slots get which
// patch, and the counts of matching and wrong packets.
struct Expected {
  bool unreadable = false;  // a MIDI file that is no MIDI file: nothing is loaded
  long loaded = 0;
  long wrong = 0;
  std::map<int, Bytes> payloads;
};

Expected expectedLoad(MainWindow& window, Load load, const std::string& path, const Bytes& file,
                      const std::vector<int>& selection) {
  InstrumentDefinition& d = window.definition();
  const auto patchSize = static_cast<std::size_t>(d.PatchSize());
  const int slots = window.slotCount();
  Expected expected;
  // The packets in file order; an empty one stands for one too short to be a patch.
  std::vector<Bytes> packets;
  const bool syx = load == Load::SyxIntoBank || load == Load::SyxIntoSelection;
  if (syx) {
    for (std::size_t at = 0; at < file.size(); at += patchSize) {
      if (file.size() - at < patchSize) {
        packets.emplace_back();
        break;
      }
      packets.emplace_back(file.begin() + static_cast<std::ptrdiff_t>(at),
                           file.begin() + static_cast<std::ptrdiff_t>(at + patchSize));
    }
  } else {
    MidiFileReader reader;
    if (!reader.Read(path) && !reader.damagedAfter()) {
      expected.unreadable = true;
      return expected;
    }
    for (int i = 0; const auto message = reader.message(i); ++i) {
      if (message->size() < patchSize) {
        packets.emplace_back();
      } else {
        packets.emplace_back(message->begin(), message->begin() + patchSize);
      }
    }
  }
  const bool intoBank = load == Load::SyxIntoBank || load == Load::MidIntoBank;
  std::size_t next = 0;  // the selected slot the next packet goes to
  for (const Bytes& packet : packets) {
    // A short last piece of a raw file is counted even when no selected slot is left for it.
    if (syx && packet.empty()) {
      ++expected.wrong;
      break;
    }
    if (!intoBank && next == selection.size()) break;
    const int slot = intoBank ? -1 : selection[next++];
    if (packet.empty() || !d.matchesSendTemplate(packet)) {
      ++expected.wrong;
      continue;
    }
    ++expected.loaded;
    const int target = intoBank ? d.patchNumberOf(packet) : slot;
    if (target >= 0 && target < slots) expected.payloads[target] = payloadOf(d, packet);
  }
  return expected;
}

}  // namespace
}  // namespace banklore::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  banklore::fuzz::librarians();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace banklore;
  using namespace banklore::fuzz;
  FuzzedDataProvider in(data, size);
  auto& all = librarians();
  Librarian& librarian = *all[in.ConsumeIntegralInRange<std::size_t>(0, all.size() - 1)];
  MainWindow& window = *librarian.window;
  const auto load = static_cast<Load>(in.ConsumeIntegralInRange(0, 3));
  const int bank = in.ConsumeBool() ? 1 : 0;
  const int slots = window.slotCount();
  std::vector<int> selection;
  for (int count = in.ConsumeIntegralInRange(0, 6); count > 0; --count) {
    selection.push_back(in.ConsumeIntegralInRange(0, slots - 1));
  }
  std::sort(selection.begin(), selection.end());
  selection.erase(std::unique(selection.begin(), selection.end()), selection.end());
  librarian.view.banks[bank].selection = selection;
  librarian.view.banks[1 - bank].selection = {};
  librarian.prompts.messages.clear();
  librarian.view.banks[bank].status.clear();

  const Bytes file = in.ConsumeRemainingBytes<std::uint8_t>();
  const bool syx = load == Load::SyxIntoBank || load == Load::SyxIntoSelection;
  const std::string path = librarian.dir + (syx ? "/bank.syx" : "/bank.mid");
  writeFile(path, file);

  const Expected expected = expectedLoad(window, load, path, file, selection);
  const std::vector<Bytes> before = bankBytes(window, bank);
  const std::vector<Bytes> otherBefore = bankBytes(window, 1 - bank);
  switch (load) {
    case Load::SyxIntoBank:
      window.LoadSyxIntoBank(path, bank);
      break;
    case Load::MidIntoBank:
      window.LoadMidIntoBank(path, bank);
      break;
    case Load::SyxIntoSelection:
      window.LoadSyxIntoSelection(path, bank);
      break;
    case Load::MidIntoSelection:
      window.LoadMidIntoSelection(path, bank);
      break;
  }

  const std::string& status = librarian.view.banks[bank].status;
  long loaded = -1;
  if (expected.unreadable) {
    FUZZ_CHECK_MSG(status == "Couldn't load file.", status);
    loaded = 0;
  } else {
    FUZZ_CHECK_MSG(std::sscanf(status.c_str(), "%ld patches loaded.", &loaded) == 1, status);
  }
  long matching = loaded, wrong = 0;
  for (const std::string& text : librarian.prompts.messages) {
    FUZZ_CHECK_MSG(
        std::sscanf(text.c_str(), "Found %ld matching packets, %ld wrong", &matching, &wrong) >= 1,
        "unexpected box: " + text);
  }
  FUZZ_CHECK_MSG(loaded == expected.loaded && matching == loaded && wrong == expected.wrong,
                 status + " " + std::to_string(wrong) + " wrong; expected " +
                     std::to_string(expected.loaded) + " and " + std::to_string(expected.wrong));

  FUZZ_CHECK(bankBytes(window, 1 - bank) == otherBefore);
  const std::vector<Bytes> after = bankBytes(window, bank);
  for (int slot = 0; slot < slots; ++slot) {
    const auto index = static_cast<std::size_t>(slot);
    const Patch& patch = window.bank(bank).slots[index];
    const auto stored = expected.payloads.find(slot);
    if (stored == expected.payloads.end()) {
      FUZZ_CHECK_MSG(after[index] == before[index], "slot " + std::to_string(slot) + " changed");
      continue;
    }
    FUZZ_CHECK_MSG(payloadOf(window.definition(), patch.bytes()) == stored->second,
                   "slot " + std::to_string(slot) + ": " + hex(patch.bytes()));
    FUZZ_CHECK_MSG(patch.isValid(), "slot " + std::to_string(slot) + ": " + hex(patch.bytes()));
    if (librarian.headerNamesSlot) FUZZ_CHECK(patch.patchNumber() == slot);
  }
  return 0;
}
