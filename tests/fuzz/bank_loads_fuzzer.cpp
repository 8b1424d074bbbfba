// The four bank-file loads (.syx and .mid, into the bank and into the selected slots) of the
// librarian, on any file content, any selection and either bank, for four instruments: a small
// one, one whose patches may name slots beyond the bank, and the repository's Nova and Matrix-1000.
// Invariants:
// - The status says how many patches were loaded (or that a MIDI file could not be read), and a
//   box that counts matching packets counts as many.
// - Only the loaded bank changes, never more slots than were loaded, and loading into the
//   selection changes selected slots only. Every slot that changed holds a valid patch, which
//   names that slot where the instrument's header carries it.
// - A raw file is cut into PatchSize pieces: loaded and wrong packets are every piece when loading
//   into the bank (no more than that into the selection).
// - Nothing is read beyond the file or written beyond the bank (the sanitizers watch).
#include <cstdio>
#include <memory>

#include "app/support/app_fixture.h"
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
  char rest = 0;
  if (std::sscanf(status.c_str(), "%ld patches loaded.%c", &loaded, &rest) != 1) {
    FUZZ_CHECK_MSG(!syx && status == "Couldn't load file.", status);
    loaded = 0;
  }
  long matching = loaded, wrong = 0;
  for (const std::string& text : librarian.prompts.messages) {
    if (std::sscanf(text.c_str(), "Found %ld matching packets, %ld wrong", &matching, &wrong) < 1) {
      FUZZ_CHECK_MSG(false, "unexpected box: " + text);
    }
  }
  FUZZ_CHECK_MSG(matching == loaded, status);

  FUZZ_CHECK(bankBytes(window, 1 - bank) == otherBefore);
  const std::vector<Bytes> after = bankBytes(window, bank);
  long changed = 0;
  for (int slot = 0; slot < slots; ++slot) {
    if (after[static_cast<std::size_t>(slot)] == before[static_cast<std::size_t>(slot)]) continue;
    ++changed;
    const Patch& patch = window.bank(bank).slots[static_cast<std::size_t>(slot)];
    FUZZ_CHECK_MSG(patch.isValid(), "slot " + std::to_string(slot) + ": " + hex(patch.bytes()));
    if (librarian.headerNamesSlot) FUZZ_CHECK(patch.patchNumber() == slot);
    if (load == Load::SyxIntoSelection || load == Load::MidIntoSelection) {
      FUZZ_CHECK(std::binary_search(selection.begin(), selection.end(), slot));
    }
  }
  FUZZ_CHECK(changed <= loaded);
  if (load == Load::SyxIntoSelection || load == Load::MidIntoSelection) {
    FUZZ_CHECK(loaded <= static_cast<long>(selection.size()));
  }
  if (syx) {
    const auto patchSize = static_cast<std::size_t>(window.definition().PatchSize());
    const auto pieces = static_cast<long>((file.size() + patchSize - 1) / patchSize);
    if (load == Load::SyxIntoBank) {
      FUZZ_CHECK_MSG(loaded + wrong == pieces, status);
    } else {
      FUZZ_CHECK_MSG(loaded + wrong <= pieces, status);
    }
  }
  return 0;
}
