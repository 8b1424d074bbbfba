// The archive in the window: every way a patch passes through (fetched, sent, saved, loaded) adds
// one event to one archived patch, the archive window loads into the selection as one undo step,
// and an archive that cannot be used is told once and costs no command anything.
#include <filesystem>

#include "support/app_fixture.h"

namespace banklore::testing {
namespace {

using ArchiveCommandsTest = AppTest;

TEST_F(ArchiveCommandsTest, EveryPassageIsAnEventOfOnePatchAndTheWindowLoadsThemBack) {
  loopback::addPort("Out", LoopbackDirection::OutputOnly);
  loopback::addPort("In", LoopbackDirection::InputOnly);
  loopback::setResponder("Out", [](std::span<const std::uint8_t> m) {
    if (m.size() == 7 && m[3] == 0x11)
      loopback::inject("In", patchMessage(m[4] * 16 + m[5], "Bass"));
  });
  startOnTestDefinition("", "MidiIN=In\nMidiOUT=Out\nSendDelay=0\nRequestDelay=0\n");
  select(0, {5});
  window_->onCommand(CommandId::RequestSelected);
  while (window_->request().requestActive) deliver();
  window_->onCommand(CommandId::SendSelected);
  clock_.advance(0);
  window_->SaveSelectionAsSyx(path("bass.syx"), 0);
  window_->LoadSyxIntoBank(path("bass.syx"), 1);

  const auto entries = window_->archive().archive()->entries("Test");
  ASSERT_EQ(entries.size(), 1u) << "the same sound, whatever slot, device or file";
  EXPECT_EQ(entries[0].name, "Bass");
  std::vector<std::string> events;
  for (const ArchiveEvent& e : window_->archive().archive()->history(entries[0].id))
    events.push_back(e.what);
  EXPECT_EQ(events, S({"fetched from A005", "sent to A005", "saved to " + path("bass.syx"),
                       "loaded from " + path("bass.syx")}));

  const std::size_t steps = window_->undoHistory().undoCount();
  prompts_.onArchive = [&](ArchiveBrowser& browser) {
    const auto listed = browser.entries();
    ASSERT_EQ(listed.size(), 1u);
    select(1, {9, 12});
    browser.loadToSelectedSlots({listed[0].id, listed[0].id});
    EXPECT_EQ(view_.banks[1].status, "2 patches loaded from the archive.");
    browser.saveToFile({-1});  // nothing readable: no dialog, no file replaced by an empty one
    EXPECT_TRUE(prompts_.dialogs.empty());
    prompts_.files = {path("kept.syx")};
    browser.saveToFile({listed[0].id});
  };
  window_->onCommand(CommandId::Archive);
  EXPECT_EQ(slotName(1, 9), "Bass");
  EXPECT_EQ(slotName(1, 12), "Bass");
  EXPECT_EQ(readFile("kept.syx").size(), 27u);
  EXPECT_EQ(window_->undoHistory().undoCount(), steps + 1);
}

TEST_F(ArchiveCommandsTest, AnArchiveThatCannotBeOpenedIsToldOnceAndNothingFails) {
  std::filesystem::create_directory(path("banklore_archive.sqlite"));  // no file can be made there
  startOnTestDefinition();
  fill({1, 2});
  select(0, {1, 2});
  for (const char* file : {"a.syx", "b.syx"}) window_->SaveSelectionAsSyx(path(file), 0);
  EXPECT_TRUE(std::filesystem::exists(path("b.syx")));
  EXPECT_EQ(logCount("The patch archive is off this run"), 1);
  EXPECT_NE(view_.banks[0].status.find("The patch archive is off this run"), std::string::npos);

  // A damaged archive is moved aside, kept, and a box says where.
  std::filesystem::remove(path("banklore_archive.sqlite"));
  writeFile("banklore_archive.sqlite", "my notes");
  start();
  fill({1, 2});
  select(0, {1, 2});
  window_->SaveSelectionAsSyx(path("d.syx"), 0);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  const std::string moved = prompts_.messages[0].substr(prompts_.messages[0].find("moved to ") + 9);
  EXPECT_EQ(std::filesystem::file_size(moved.substr(0, moved.find(" and a new"))), 8u) << moved;
  EXPECT_EQ(window_->archive().archive()->entries("Test").size(), 2u);

  std::filesystem::remove(path("banklore_archive.sqlite"));
  writeFile("banklore.ini", "[General]\nInstrument=Test\nArchive=0\n");
  start();
  window_->SaveSelectionAsSyx(path("c.syx"), 0);
  EXPECT_FALSE(std::filesystem::exists(path("banklore_archive.sqlite"))) << "Archive=0: off";
}

}  // namespace
}  // namespace banklore::testing
