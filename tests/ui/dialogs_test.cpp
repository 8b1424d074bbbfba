// The librarian's questions as the user answers them: Move, Rename, Setup and Archive dialogs, each
// driven through its modal run.
#include <QInputDialog>
#include <QMessageBox>
#include <QTest>
#include <deque>

#include "ui/archive_dialog.h"
#include "ui/move_dialog.h"
#include "ui/qt_prompts.h"
#include "ui/rename_dialog.h"
#include "ui/setup_dialog.h"
#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner_));
  }

  QWidget owner_;
  QtPrompts prompts_{owner_};
  ModalScript script_;
};

// A step that replaces the dialog's edit text and presses a key there.
auto type(const char* text, Qt::Key key) {
  return [=](auto& dialog) {
    dialog.edit().selectAll();
    QTest::keyClicks(&dialog.edit(), QString::fromLatin1(text));
    QTest::keyClick(&dialog.edit(), key);
  };
}

TEST_F(DialogTest, MoveAndRenameTakeTheTextOnEnterAndNothingOnEscape) {
  QStringList refusals;
  for (const char* wrong : {"12abc", "1024", "-1024"}) {
    script_.on<MoveDialog>(type(wrong, Qt::Key_Return)).on<QMessageBox>([&](QMessageBox& box) {
      refusals << box.text();
      box.accept();
    });
  }
  script_.on<MoveDialog>(type("1023", Qt::Key_Return)).on<MoveDialog>(type("5", Qt::Key_Escape));
  EXPECT_EQ(prompts_.moveCount(), 1023) << "the dialog stays open after each refusal";
  EXPECT_EQ(refusals, (QStringList{MoveDialog::kNotAnInteger, MoveDialog::kOutOfRange,
                                   MoveDialog::kOutOfRange}));
  EXPECT_EQ(prompts_.moveCount(), std::nullopt);
  script_.on<RenameDialog>(type("Warm Strings", Qt::Key_Return))
      .on<RenameDialog>(type("Ignored", Qt::Key_Escape));
  EXPECT_EQ(prompts_.rename("Init Pad"), "Warm Strings");
  EXPECT_EQ(prompts_.rename("Second"), std::nullopt);
  EXPECT_TRUE(script_.finished());
}

TEST_F(DialogTest, SetupPreselectsStoredChoicesAndPagesByHundreds) {
  SetupValues values{
      "USB MIDI", "gone", 16, 750, 50, {"USB MIDI", "Thru", "USB MIDI"}, {"Synth Out", "Other"},
      {},         false,  {}, {},  {}};
  for (int i = 1; i <= 16; ++i) values.deviceIdNames.push_back(std::to_string(i));
  script_.on<SetupDialog>([](SetupDialog& dialog) {
    EXPECT_EQ(dialog.inputs().currentIndex(), 2);     // the later of two equal names
    EXPECT_EQ(dialog.outputs().currentIndex(), 0);    // a name no longer present
    EXPECT_EQ(dialog.deviceIds().currentIndex(), 0);  // 16 is outside the 16 entries
    QTest::keyClick(&dialog.sendSlider(), Qt::Key_PageUp);
    QTest::keyClick(&dialog.requestSlider(), Qt::Key_PageDown);
    dialog.inputs().setCurrentIndex(1);
    dialog.deviceIds().setCurrentIndex(5);
    dialog.accept();
  });
  ASSERT_TRUE(prompts_.setup(values));
  EXPECT_EQ(std::tuple(values.midiInName, values.midiOutName, values.deviceIndex, values.sendDelay,
                       values.requestDelay),
            std::tuple("Thru", "Synth Out", 5, 850, 0));
}

// Detect: nothing answered, then two instruments, the second described by another section.
TEST_F(DialogTest, DetectSaysWhatItFoundAndFillsInTheInstrumentTaken) {
  SetupValues values{
      "Desk", "Desk", 0, 0, 0, {"Desk"}, {"Desk"}, {"1", "2", "3"}, false, "No edit buffer.",
      {},     {}};
  std::deque<DetectReport> reports = {
      {{}, "No instrument answered."},
      {{{"A", "Test", "A In", "A Out", 2, "", false}, {"B", "Other", "B In", "B Out", 1, "", true}},
       ""}};
  values.detect = [&](const std::function<void(const DetectReport&)>& done) {
    done(reports.front());
    reports.pop_front();
  };
  script_
      .on<SetupDialog>([](SetupDialog& dialog) {
        EXPECT_FALSE(dialog.playSelected().isEnabled());
        for (const char* said : {"No instrument answered.", "Found B. OK changes to Other"}) {
          dialog.detect().click();
          EXPECT_TRUE(waitUntil(
              [&] { return dialog.detectText().text().startsWith(QLatin1String(said)); }, 60000))
              << dialog.detectText().text().toStdString();
        }
        EXPECT_FALSE(dialog.deviceIds().isEnabled()) << "it lists the running instrument's IDs";
        dialog.accept();
      })
      .on<QInputDialog>([](QInputDialog& list) {
        list.setTextValue(QStringLiteral("B"));
        list.accept();
      })
      .on<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
  ASSERT_TRUE(prompts_.setup(values));
  EXPECT_EQ(std::tuple(values.midiInName, values.midiOutName, values.deviceIndex,
                       values.changeInstrumentTo),
            std::tuple("B In", "B Out", 1, "Other"));
  EXPECT_TRUE(script_.finished());
}

// Hands out its entries as given and notes what the window loads.
struct FakeArchive : ArchiveBrowser {
  std::vector<ArchiveEntry> entries() override { return held; }
  std::vector<ArchiveEvent> history(std::int64_t id) override {
    return {{60, "fetched from A00" + std::to_string(id), "Old"},
            {120, "sent to A00" + std::to_string(id), "New"}};
  }
  void loadToSelectedSlots(const std::vector<std::int64_t>& ids) override { loaded.push_back(ids); }
  void saveToFile(const std::vector<std::int64_t>&) override {}
  std::vector<ArchiveEntry> held;
  std::vector<std::vector<std::int64_t>> loaded;
};

QStringList namesShown(ArchiveTableModel& model) {
  QStringList names;
  for (int row = 0; row < model.rowCount(); ++row) names << model.index(row, 0).data().toString();
  return names;
}

TEST_F(DialogTest, ArchiveFindsByNameLoadsTheSelectionInListOrderAndShowsOneHistory) {
  FakeArchive archive;
  for (const char* name : {"Warm Pad", "Bass", "warm", "Swarm"}) {
    archive.held.emplace_back().id = static_cast<std::int64_t>(archive.held.size()) + 7;
    archive.held.back().name = name;
  }
  script_.on<ArchiveDialog>([&](ArchiveDialog& dialog) {
    EXPECT_EQ(namesShown(dialog.model()), (QStringList{"Warm Pad", "Bass", "warm", "Swarm"}));
    EXPECT_FALSE(dialog.loadButton().isEnabled() || dialog.historyButton().isEnabled());
    QTest::keyClicks(&dialog.findBox(), QStringLiteral("ARM"));
    EXPECT_EQ(namesShown(dialog.model()), (QStringList{"Warm Pad", "warm", "Swarm"}));
    for (int row : {2, 0}) {
      dialog.list().selectionModel()->select(
          dialog.model().index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    EXPECT_FALSE(dialog.historyButton().isEnabled()) << "one patch's history at a time";
    dialog.loadButton().click();
    dialog.list().selectRow(1);
    dialog.historyButton().click();
    EXPECT_EQ(dialog.historyList().findItems(QStringLiteral("A009"), Qt::MatchContains).size(), 2);
    dialog.reject();
  });
  prompts_.archiveWindow(archive);
  EXPECT_EQ(archive.loaded, (std::vector<std::vector<std::int64_t>>{{7, 10}}));
  EXPECT_TRUE(script_.finished());
}

}  // namespace
}  // namespace banklore::testing
