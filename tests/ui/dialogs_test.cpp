// The librarian's questions as the user answers them: Move, Rename, file, message, Setup,
// instrument chooser and About dialogs, each driven through its modal run.
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
#include "ui/support/modal_script.h"
#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = freshTestFolder();
    owner_.setGeometry(40, 30, 640, 480);
    owner_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner_));
  }
  bool centredOverOwner(const QWidget& dialog) const {
    return (dialog.frameGeometry().center() - owner_.frameGeometry().center()).manhattanLength() <=
           4;
  }

  std::string dir_;
  QWidget owner_;
  QtPrompts prompts_{owner_};
  ModalScript script_;
};

void typeAndPress(QLineEdit& edit, const QString& text, Qt::Key key) {
  edit.selectAll();
  QTest::keyClicks(&edit, text);
  QTest::keyClick(&edit, key);
}

TEST_F(DialogTest, MoveRefusesMalformedAndOutOfRangeCountsAndStaysOpen) {
  QStringList refusals;
  const auto refuse = [&](QMessageBox& box) {
    refusals << box.text();
    box.accept();
  };
  script_
      .on<MoveDialog>([&](MoveDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Move..."));
        EXPECT_EQ(dialog.edit().selectedText(), QStringLiteral("0"));
        EXPECT_TRUE(dialog.okButton().isDefault());
        EXPECT_TRUE(centredOverOwner(dialog));
        typeAndPress(dialog.edit(), QStringLiteral("12abc"), Qt::Key_Return);
      })
      .on<QMessageBox>(refuse)
      .on<MoveDialog>([&](MoveDialog& dialog) {
        EXPECT_EQ(dialog.focusWidget(), &dialog.edit());
        typeAndPress(dialog.edit(), QStringLiteral("1024"), Qt::Key_Return);
      })
      .on<QMessageBox>(refuse)
      .on<MoveDialog>([](MoveDialog& dialog) {
        typeAndPress(dialog.edit(), QStringLiteral("-1023"), Qt::Key_Return);
      })
      .on<MoveDialog>([](MoveDialog& dialog) {
        typeAndPress(dialog.edit(), QStringLiteral("5"), Qt::Key_Escape);
      })
      .on<MoveDialog>([](MoveDialog& dialog) { dialog.cancelButton().click(); });
  EXPECT_EQ(prompts_.moveCount(), -1023);
  EXPECT_EQ(refusals, (QStringList{MoveDialog::kNotAnInteger, MoveDialog::kOutOfRange}));
  EXPECT_TRUE(refusals[1].contains(QStringLiteral("-1023 and 1023")));
  EXPECT_EQ(prompts_.moveCount(), std::nullopt);
  EXPECT_EQ(prompts_.moveCount(), std::nullopt);
  EXPECT_TRUE(script_.finished());
}

TEST_F(DialogTest, RenameIsACaptionlessEditorThatTakesAnyTextOnEnter) {
  script_
      .on<RenameDialog>([&](RenameDialog& dialog) {
        EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_EQ(dialog.edit().selectedText(), QStringLiteral("Init Pad"));
        EXPECT_TRUE(centredOverOwner(dialog));
        typeAndPress(dialog.edit(), QStringLiteral("Warm Strings"), Qt::Key_Return);
      })
      .on<RenameDialog>([](RenameDialog& dialog) {
        typeAndPress(dialog.edit(), QStringLiteral("Ignored"), Qt::Key_Escape);
      })
      .on<RenameDialog>([](RenameDialog& dialog) {
        dialog.edit().clear();
        QTest::keyClick(&dialog.edit(), Qt::Key_Enter);
      })
      .on<RenameDialog>([](RenameDialog& dialog) { dialog.accept(); });
  EXPECT_EQ(prompts_.rename("Init Pad"), "Warm Strings");
  EXPECT_EQ(prompts_.rename("Second"), std::nullopt);
  EXPECT_EQ(prompts_.rename("Third"), "");
  EXPECT_EQ(prompts_.rename("Caf\xe9 \xb0"), "Caf\xe9 \xb0");  // single-byte names survive
}

FileDialogRequest bankRequest(const std::string& folder) {
  return {"Save Bank",
          {{"Midi Files (*.mid)", "*.mid"}, {"SYX Files", "*.syx"}, {"Any", "*.syx;*.mid"}},
          folder,
          "bank.syx",
          "syx"};
}

void acceptFileDialog(QFileDialog& dialog, const QString& file) {
  dialog.selectFile(file);
  QMetaObject::invokeMethod(&dialog, "accept");  // as its Open/Save button does
}

TEST_F(DialogTest, FileDialogsFollowTheRequestAndNeverAskAboutReplacing) {
  writeWholeFile(dir_ + "exists.syx", "old");
  script_
      .on<QFileDialog>([&](QFileDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save Bank"));
        EXPECT_EQ(dialog.nameFilters(),
                  (QStringList{"Midi Files (*.mid)", "SYX Files (*.syx)", "Any (*.syx *.mid)"}));
        EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("Midi Files (*.mid)"));
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
        EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
        EXPECT_EQ(QDir(dialog.directory()).canonicalPath(),
                  QDir(QString::fromStdString(dir_)).canonicalPath());
        acceptFileDialog(dialog, QStringLiteral("fresh"));
      })
      .on<QFileDialog>(
          [](QFileDialog& dialog) { acceptFileDialog(dialog, QStringLiteral("exists.syx")); })
      .on<QFileDialog>([](QFileDialog& dialog) {
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
        acceptFileDialog(dialog, QStringLiteral("exists.syx"));
      })
      .on<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(prompts_.saveFile(bankRequest(dir_)), dir_ + "fresh.syx");
  EXPECT_EQ(prompts_.saveFile(bankRequest(dir_)), dir_ + "exists.syx");
  EXPECT_EQ(prompts_.openFile(bankRequest(dir_)), dir_ + "exists.syx");
  EXPECT_EQ(prompts_.openFile(bankRequest(dir_)), std::nullopt);
  EXPECT_TRUE(script_.finished());

  FileDialogRequest gone = bankRequest(dir_);  // the last file's folder was removed since
  gone.initialFile = "/gone/folder/old.syx";
  QFileDialog dialog;
  configureFileDialog(dialog, gone, FileDialogMode::Open);
  EXPECT_EQ(QDir(dialog.directory()).canonicalPath(),
            QDir(QString::fromStdString(dir_)).canonicalPath());
}

TEST_F(DialogTest, SetupPreselectsStoredChoicesAndPagesByHundreds) {
  SetupValues values;
  values.midiInName = "USB MIDI";
  values.midiOutName = "gone";
  values.deviceIndex = 16;
  values.sendDelay = 950;
  values.requestDelay = 50;
  values.inputNames = {"USB MIDI", "Thru", "USB MIDI"};
  values.outputNames = {"Synth Out", "Other"};
  for (int i = 1; i <= 16; ++i) values.deviceIdNames.push_back(std::to_string(i));
  script_
      .on<SetupDialog>([](SetupDialog& dialog) {
        EXPECT_EQ(dialog.inputs().currentIndex(), 2);     // the later of two equal names
        EXPECT_EQ(dialog.outputs().currentIndex(), 0);    // a name no longer present
        EXPECT_EQ(dialog.deviceIds().currentIndex(), 0);  // 16 is outside the 16 entries
        dialog.sendSlider().setValue(3);
        dialog.reject();
      })
      .on<SetupDialog>([](SetupDialog& dialog) {
        EXPECT_EQ(dialog.sendLabel().text(), QStringLiteral("950 ms"));
        QTest::keyClick(&dialog.sendSlider(), Qt::Key_PageUp);
        QTest::keyClick(&dialog.sendSlider(), Qt::Key_PageUp);
        EXPECT_EQ(dialog.sendLabel().text(), QStringLiteral("1000 ms"));
        QTest::keyClick(&dialog.requestSlider(), Qt::Key_PageDown);
        EXPECT_EQ(dialog.requestLabel().text(), QStringLiteral("0 ms"));
        dialog.inputs().setCurrentIndex(1);
        dialog.deviceIds().setCurrentIndex(5);
        dialog.accept();
      });
  const SetupValues given = values;
  EXPECT_FALSE(prompts_.setup(values));
  EXPECT_EQ(values.sendDelay, given.sendDelay);  // Cancel hands nothing back
  EXPECT_EQ(values.deviceIndex, given.deviceIndex);
  ASSERT_TRUE(prompts_.setup(values));
  EXPECT_EQ(values.midiInName, "Thru");
  EXPECT_EQ(values.midiOutName, "Synth Out");
  EXPECT_EQ(values.deviceIndex, 5);
  EXPECT_EQ(values.sendDelay, 1000);
  EXPECT_EQ(values.requestDelay, 0);

  SetupValues empty;  // no ports, no device IDs, a delay below range
  empty.midiInName = "USB MIDI";
  empty.sendDelay = -5;
  script_.on<SetupDialog>([](SetupDialog& dialog) { dialog.accept(); });
  ASSERT_TRUE(prompts_.setup(empty));
  EXPECT_EQ(empty.midiInName, "");
  EXPECT_EQ(empty.deviceIndex, 0);
  EXPECT_EQ(empty.sendDelay, 0);
}

TEST_F(DialogTest, ChooserListsSortedSectionsAndWritesOnlyARealChoice) {
  const std::string idf = dir_ + "banklore.idf", ini = dir_ + "banklore.ini";
  writeWholeFile(idf, "[Virus]\nA=1\n[Nova]\n[Matrix-1000]\n[Zeta]");
  writeWholeFile(ini, "[General]\nInstrument=nova\n");
  script_
      .on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
        QStringList shown;
        for (int i = 0; i < dialog.list().count(); ++i) shown << dialog.list().item(i)->text();
        EXPECT_EQ(shown, (QStringList{"Matrix-1000", "Nova", "Virus"}));
        EXPECT_EQ(dialog.list().currentRow(), 1);
        dialog.list().setCurrentRow(2);
        dialog.reject();
      })
      .on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
        dialog.list().setCurrentRow(2);
        QTest::keyClick(&dialog.list(), Qt::Key_Return);
      })
      .on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
        EXPECT_FALSE(dialog.okButton().isEnabled());
        dialog.accept();  // as Enter would: refused, the dialog stays
        EXPECT_TRUE(dialog.isVisible());
        dialog.reject();
      });
  EXPECT_FALSE(prompts_.chooseInstrument(idf, ini));
  EXPECT_EQ(readText(ini, "General", "Instrument", "", 100), "nova");
  EXPECT_TRUE(prompts_.chooseInstrument(idf, ini));
  EXPECT_EQ(readText(ini, "General", "Instrument", "", 100), "Virus");
  EXPECT_FALSE(prompts_.chooseInstrument(dir_ + "missing.idf", ini));
  EXPECT_EQ(readText(ini, "General", "Instrument", "", 100), "Virus");
}

TEST_F(DialogTest, AboutShowsTheVersionAndLinksThatExplainAFailedOpen) {
  script_.on<AboutDialog>([](AboutDialog& dialog) {
    EXPECT_EQ(dialog.productLabel().text(), QStringLiteral("Banklore 1.12b"));
    EXPECT_EQ(dialog.mailLink().url(), QStringLiteral("mailto:banklore@example.org"));
    EXPECT_EQ(dialog.webLink().toolTip(), QStringLiteral("https://banklore.example.org/"));
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  prompts_.about();
  EXPECT_TRUE(script_.finished());

  HyperlinkLabel link(QStringLiteral("site"), &owner_);
  link.setUrl(QStringLiteral("https://banklore.example.org/"));
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
  EXPECT_EQ(link.textColor(), link.linkColor);
}

}  // namespace
}  // namespace banklore::testing
