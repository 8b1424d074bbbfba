// Files written here are read by an independent implementation (Debian's python3-mido) and the
// other way round, so both sides of the format are checked against something we did not write.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

#include "files/midi_file.h"
#include "files/smf_bytes.h"

namespace banklore {
namespace {

using namespace testing;

constexpr char kPython[] = "/usr/bin/python3";

struct PythonRun {
  int status = -1;
  std::string output;
};

PythonRun runPython(const std::string& script, const std::vector<std::string>& args) {
  TempDir dir;
  const std::string file = dir.file("script.py");
  writeFile(file, script);
  std::string command = std::string(kPython) + " '" + file + "'";
  for (const std::string& arg : args) command += " '" + arg + "'";
  command += " 2>&1";
  PythonRun run;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[4096];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  run.status = ::pclose(pipe);
  return run;
}

std::string hex(const Bytes& bytes) {
  std::string text;
  char digits[3];
  for (std::uint8_t b : bytes) {
    std::snprintf(digits, sizeof digits, "%02x", b);
    text += digits;
  }
  return text;
}

class MidoInteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const PythonRun probe = runPython("import mido\n", {});
    if (probe.status != 0) {
      GTEST_SKIP() << kPython << " cannot import mido (install python3-mido): " << probe.output;
    }
  }
  TempDir dir_;
  // Sizes of a real bank: Nova programs are 297 bytes; also the smallest and a large one.
  std::vector<Bytes> messages_ = {sysex(297, 0x01), sysex(2, 0x02), sysex(11, 0x03),
                                  sysex(5000, 0x04), sysex(297, 0x05)};
};

TEST_F(MidoInteropTest, MidoReadsWhatWeWrite) {
  const std::string path = dir_.file("bank.mid");
  MidiFileWriter writer;
  ASSERT_TRUE(writer.Open(path, 96));
  std::string expected = "type 0 tracks 1 ticks 96\n";
  std::uint32_t delta = 0;
  for (const Bytes& message : messages_) {
    ASSERT_TRUE(writer.WriteSysEx(message, delta));
    expected += "sysex " + std::to_string(delta) + " " + hex(message) + "\n";
    delta = delta * 3 + 100;  // one- to three-byte delta times
  }
  ASSERT_TRUE(writer.Close());
  expected += "end_of_track\n";

  const PythonRun run = runPython(R"(
import sys, mido
f = mido.MidiFile(sys.argv[1])
print("type", f.type, "tracks", len(f.tracks), "ticks", f.ticks_per_beat)
for msg in f.tracks[0]:
    if msg.type == "sysex":
        print("sysex", msg.time, "f0" + bytes(msg.data).hex() + "f7")
    else:
        print(msg.type)
)",
                                  {path});
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, expected);
}

// mido writes format 0 and format 1 files with meta events (one longer than 127 bytes), channel
// events with running status, and SysEx spread over several tracks.
TEST_F(MidoInteropTest, WeReadWhatMidoWrites) {
  const char* script = R"(
import sys, mido
path, kind, *hexes = sys.argv[1:]
sysex = [mido.Message("sysex", data=bytes.fromhex(h)[1:-1], time=7) for h in hexes]
notes = [mido.Message("note_on", note=60 + i, velocity=64, time=5) for i in range(3)]
notes += [mido.Message("note_off", note=60 + i, time=5) for i in range(3)]
metas = [mido.MetaMessage("track_name", name="Bank"), mido.MetaMessage("set_tempo", tempo=600000),
         mido.MetaMessage("time_signature", numerator=3, denominator=4),
         mido.MetaMessage("text", text="x" * 200), mido.MetaMessage("key_signature", key="C")]
if kind == "0":
    f = mido.MidiFile(type=0, ticks_per_beat=96)
    track = mido.MidiTrack(metas + sysex[:2] + notes + sysex[2:])
    f.tracks.append(track)
else:
    f = mido.MidiFile(type=1, ticks_per_beat=480)
    f.tracks.append(mido.MidiTrack(metas))
    f.tracks.append(mido.MidiTrack(sysex[:1] + notes + [mido.MetaMessage("marker", text="m")]))
    f.tracks.append(mido.MidiTrack([mido.MetaMessage("track_name", name="Two")] + sysex[1:]))
f.save(path)
)";
  for (const char* kind : {"0", "1"}) {
    SCOPED_TRACE(std::string("format ") + kind);
    const std::string path = dir_.file(std::string("mido") + kind + ".mid");
    std::vector<std::string> args = {path, kind};
    for (const Bytes& message : messages_) args.push_back(hex(message));
    const PythonRun run = runPython(script, args);
    ASSERT_EQ(run.status, 0) << run.output;

    MidiFileReader reader;
    ASSERT_TRUE(reader.Read(path));
    ASSERT_EQ(reader.messageCount(), static_cast<int>(messages_.size()));
    for (int i = 0; i < reader.messageCount(); ++i) {
      EXPECT_EQ(Bytes(reader.message(i)->begin(), reader.message(i)->end()), messages_[i]) << i;
    }
  }
}

}  // namespace
}  // namespace banklore
