// The librarian's questions as the user answers them: Move, Rename, file, Setup, instrument
// chooser and About dialogs, each driven through its modal run.
#include <QFileDialog>
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include "platform/profile.h"
#include "ui/about_dialog.h"
#include "ui/file_dialogs.h"
#include "ui/instrument_chooser_dialog.h"
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
    dir_ = freshTestFolder();
    owner_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner_));
  }

  std::string dir_;
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
      .on<RenameDialog>(type("Ignored", Qt::Key_Escape))
      .on<RenameDialog>(
          [](RenameDialog& dialog) { QTest::keyClick(&dialog.edit(), Qt::Key_Enter); });
  EXPECT_EQ(prompts_.rename("Init Pad"), "Warm Strings");
  EXPECT_EQ(prompts_.rename("Second"), std::nullopt);
  EXPECT_EQ(prompts_.rename("Caf\xe9 \xb0"), "Caf\xe9 \xb0");  // single-byte names survive
  EXPECT_TRUE(script_.finished());
}

auto choose(const char* file) {
  return [=](QFileDialog& dialog) {
    dialog.selectFile(QString::fromLatin1(file));
    QMetaObject::invokeMethod(&dialog, "accept");  // as its Open/Save button does
  };
}

TEST_F(DialogTest, FileDialogsFollowTheRequestAndNeverAskAboutReplacing) {
  writeWholeFile(dir_ + "exists.syx", "old");
  FileDialogRequest request{"Save Bank", {}, dir_, "bank.syx", "syx"};
  request.filters = {{"Midi Files (*.mid)", "*.mid"}, {"Any", "*.syx;*.mid"}};
  script_
      .on<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.nameFilters(), (QStringList{"Midi Files (*.mid)", "Any (*.syx *.mid)"}));
        choose("fresh")(dialog);
      })
      .on<QFileDialog>(choose("exists.syx"))
      .on<QFileDialog>(choose("exists.syx"));
  EXPECT_EQ(prompts_.saveFile(request), dir_ + "fresh.syx");
  EXPECT_EQ(prompts_.saveFile(request), dir_ + "exists.syx");
  EXPECT_EQ(prompts_.openFile(request), dir_ + "exists.syx");
  EXPECT_TRUE(script_.finished());

  request.initialFile = "/gone/folder/old.syx";  // the last file's folder was removed since
  QFileDialog dialog;
  configureFileDialog(dialog, request, FileDialogMode::Open);
  EXPECT_EQ(QDir(dialog.directory()).canonicalPath(),
            QDir(QString::fromStdString(dir_)).canonicalPath());
}

TEST_F(DialogTest, SetupPreselectsStoredChoicesAndPagesByHundreds) {
  SetupValues values{
      "USB MIDI", "gone", 16, 750, 50, {"USB MIDI", "Thru", "USB MIDI"}, {"Synth Out", "Other"},
      {}};
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

TEST_F(DialogTest, ChooserPreselectsTheStoredInstrumentAndWritesOnlyARealChoice) {
  const std::string idf = dir_ + "banklore.idf", ini = dir_ + "banklore.ini";
  writeWholeFile(idf, "[Virus]\nA=1\n[Nova]\n[Matrix-1000]\n[Zeta]");
  writeWholeFile(ini, "[General]\nInstrument=nova\n");
  const auto instrument = [&] { return readText(ini, "General", "Instrument", "", 100); };
  script_
      .on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
        EXPECT_EQ(dialog.list().currentItem()->text(), QStringLiteral("Nova"));
        dialog.list().setCurrentRow(2);
        QTest::keyClick(&dialog.list(), Qt::Key_Return);
      })
      .on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
        dialog.accept();  // as Enter would, with nothing to choose: refused, the dialog stays
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
      });
  EXPECT_TRUE(prompts_.chooseInstrument(idf, ini, "Nova"));
  EXPECT_EQ(instrument(), "Virus");
  EXPECT_FALSE(prompts_.chooseInstrument(dir_ + "missing.idf", ini, "Nova"));
  EXPECT_EQ(instrument(), "Virus");

  // Settings that name no instrument: the one running is preselected, so Enter keeps it.
  for (const char* running : {"Nova", "Zeta", "Gone"}) {
    SCOPED_TRACE(running);
    writeWholeFile(ini, "[General]\nPosX=1\n");
    script_.on<InstrumentChooserDialog>(
        [](InstrumentChooserDialog& dialog) { QTest::keyClick(&dialog.list(), Qt::Key_Return); });
    EXPECT_TRUE(prompts_.chooseInstrument(idf, ini, running));
    // "Zeta" ends the file without a line end, so it is no entry; the first entry then.
    EXPECT_EQ(instrument(), std::string(running) == "Nova" ? "Nova" : "Matrix-1000");
  }
}

TEST_F(DialogTest, AboutClosesOnEnterAndLinksExplainAFailedOpen) {
  script_.on<AboutDialog>([](AboutDialog& dialog) { QTest::keyClick(&dialog, Qt::Key_Return); });
  prompts_.about();  // Enter closes it
  EXPECT_TRUE(script_.finished());

  HyperlinkLabel link(QStringLiteral("site"), &owner_);
  link.show();
  int result = HyperlinkLabel::kOpened;
  link.setOpener([&](const QString&) { return result; });
  QTest::mouseClick(&link, Qt::LeftButton, Qt::NoModifier, link.rect().center());
  EXPECT_EQ(link.textColor(), link.visitedColor);
  QString failure;
  QObject::connect(&link, &HyperlinkLabel::openFailed,
                   [&](const QString& text) { failure = text; });
  script_.on<QMessageBox>([](QMessageBox& box) { box.accept(); });
  result = 4;
  QTest::mouseClick(&link, Qt::LeftButton, Qt::NoModifier, link.rect().center());
  EXPECT_EQ(failure, QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (4) occurred."));
  EXPECT_NE(link.textColor(), link.visitedColor);  // hovered again or not, no longer visited
}

}  // namespace
}  // namespace banklore::testing
