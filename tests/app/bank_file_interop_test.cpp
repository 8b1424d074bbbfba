// Bank files saved under the built-in definition, read back by python3-mido, a MIDI file reader we
// did not write: it refuses any byte above 7F inside a SysEx event, as MIDI drivers do.
#include <numeric>

#include "app/support/app_fixture.h"

namespace banklore::testing {
namespace {

// A Nova program dump as earlier versions saved it: FF at offset 6, then the message type 02, the
// name at 18 and data bytes, F7 at 294.
std::string novaPatch(int number) {
  std::string bytes = {'\xF0', '\x00', '\x20', '\x29', '\x01', '\x21', '\xFF', '\x02'};
  for (int i = 8; i < 294; ++i) bytes += static_cast<char>((number * 13 + i * 7) & 0x7F);
  const std::string name = "Patch " + std::to_string(number) + "          ";
  bytes.replace(18, 16, name.substr(0, 16));
  return bytes + '\xF7';
}

class BankFileInteropTest : public AppTest {
 protected:
  // The SysEx events mido finds in the file, as "<count> <device bytes at offset 6>", or what it
  // said when it refused the file.
  std::string readByMido(const std::string& file) {
    writeFile("count.py",
              "import mido\n"
              "events = [m for m in mido.MidiFile('" +
                  path(file) +
                  "').tracks[0]"
                  " if m.type == 'sysex']\n"
                  "print(len(events), sorted({m.data[5] for m in events}))\n");
    const std::string run =
        "/usr/bin/python3 '" + path("count.py") + "' >'" + path("mido.txt") + "' 2>&1";
    const int status = std::system(run.c_str());
    return (status == 0 ? "" : "mido failed: ") + readFile("mido.txt");
  }
};

TEST_F(BankFileInteropTest, ABankSavedAsMidiHoldsOnlyDataBytesBetweenF0AndF7) {
  if (std::system("/usr/bin/python3 -c 'import mido' 2>/dev/null") != 0) GTEST_SKIP() << "no mido";
  start();  // no definition file: the built-in Nova
  ASSERT_EQ(window_->definition().Send(), "f0,00,20,29,01,21,ff,02");
  window_->setDeviceId(3);
  std::string old;
  for (int i = 0; i < 254; ++i) old += novaPatch(i);
  writeFile("old.syx", old);
  std::vector<int> real(254);  // the bank's last two slots stay empty
  std::iota(real.begin(), real.end(), 0);

  // Old files, FF and all, still load; stored, each patch carries the device byte instead.
  view_.banks[0].selection = real;
  prompts_.files.push_back(path("old.syx"));
  window_->onCommand(CommandId::LoadToSelected);
  ASSERT_EQ(view_.banks[0].status, "254 patches loaded.");
  EXPECT_TRUE(prompts_.messages.empty());
  for (int slot : real) EXPECT_EQ(window_->bank(0).slots[slot].bytes()[6], 0x03) << slot;

  prompts_.files.push_back(path("real.mid"));
  window_->onCommand(CommandId::SaveSelected);
  EXPECT_EQ(view_.banks[0].status, "254 patches saved.");
  EXPECT_EQ(readByMido("real.mid"), "254 [3]\n");
}

}  // namespace
}  // namespace banklore::testing
