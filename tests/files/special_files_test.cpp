// The MIDI file reader and writer on paths that hold no regular file: refused at once, never
// waited on (a FIFO), and left as they were.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "files/midi_file.h"
#include "platform/temp_dir.h"
#include "support/child_process.h"

namespace banklore {
namespace {

TEST(MidiFileSpecialFilesTest, FifosAndFoldersAreRefusedWithoutBlocking) {
  TempDir dir;
  ::mkfifo(dir.file("fifo.mid").c_str(), 0666);
  std::filesystem::create_directory(dir.file("folder.mid"));
  const auto run = test::runInChild([&] {
    std::string outcome;
    for (const char* name : {"fifo.mid", "folder.mid", "new.mid"}) {
      MidiFileWriter writer;
      const bool written = writer.Open(dir.file(name), 96) && writer.Close();
      MidiFileReader reader;
      outcome += std::string(name) + (written ? " written" : " not written") +
                 (reader.Read(dir.file(name)) ? " read\n" : " not read\n");
    }
    return outcome;
  });
  ASSERT_TRUE(run.finished) << run.output;
  EXPECT_EQ(run.output,
            "fifo.mid not written not read\nfolder.mid not written not read\n"
            "new.mid written read\n");
  EXPECT_TRUE(std::filesystem::is_fifo(dir.file("fifo.mid")));
}

}  // namespace
}  // namespace banklore
