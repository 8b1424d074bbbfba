// The Setup, instrument chooser and About dialogs, driven through the prompts the librarian uses.
#include <QListWidget>
#include <QMessageBox>
#include <QTest>

#include "platform/profile.h"
#include "ui/about_dialog.h"
#include "ui/instrument_chooser_dialog.h"
#include "ui/qt_prompts.h"
#include "ui/setup_dialog.h"
#include "ui/support/modal_script.h"
#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

class PromptDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = freshTestFolder();
    owner_.resize(640, 480);
    owner_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner_));
  }

  std::string dir_;
  QWidget owner_;
  QtPrompts prompts_{owner_};
  ModalScript script_;
};

SetupValues sampleSetup() {
  SetupValues values;
  values.midiInName = "USB MIDI";
  values.midiOutName = "gone";
  values.deviceIndex = 16;
  values.sendDelay = 950;
  values.requestDelay = 50;
  values.inputNames = {"USB MIDI", "Thru", "USB MIDI"};
  values.outputNames = {"Synth Out", "Other"};
  for (int i = 1; i <= 16; ++i) values.deviceIdNames.push_back(std::to_string(i));
  return values;
}

TEST_F(PromptDialogTest, SetupPreselectsStoredChoicesAndPagesByHundreds) {
  SetupValues values = sampleSetup();
  script_.on<SetupDialog>([](SetupDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Instrument Setup"));
    EXPECT_EQ(dialog.inputs().currentIndex(), 2);     // the later of two equal names
    EXPECT_EQ(dialog.outputs().currentIndex(), 0);    // a stored name no longer present
    EXPECT_EQ(dialog.deviceIds().currentIndex(), 0);  // index 16 is outside 16 entries
    EXPECT_EQ(dialog.deviceIds().count(), 16);
    EXPECT_EQ(dialog.sendLabel().text(), QStringLiteral("950 ms"));
    dialog.sendSlider().setFocus();
    QTest::keyClick(&dialog.sendSlider(), Qt::Key_PageUp);
    EXPECT_EQ(dialog.sendLabel().text(), QStringLiteral("1000 ms"));
    QTest::keyClick(&dialog.sendSlider(), Qt::Key_PageUp);
    EXPECT_EQ(dialog.sendDelay(), 1000);
    QTest::keyClick(&dialog.requestSlider(), Qt::Key_PageDown);
    EXPECT_EQ(dialog.requestLabel().text(), QStringLiteral("0 ms"));
    dialog.inputs().setCurrentIndex(1);
    dialog.deviceIds().setCurrentIndex(5);
    dialog.accept();
  });
  ASSERT_TRUE(prompts_.setup(values));
  EXPECT_EQ(values.midiInName, "Thru");
  EXPECT_EQ(values.midiOutName, "Synth Out");
  EXPECT_EQ(values.deviceIndex, 5);
  EXPECT_EQ(values.sendDelay, 1000);
  EXPECT_EQ(values.requestDelay, 0);
}

TEST_F(PromptDialogTest, SetupCancelledLeavesEveryValueAsGiven) {
  SetupValues values = sampleSetup();
  values.sendDelay = 2000;
  script_.on<SetupDialog>([](SetupDialog& dialog) {
    EXPECT_EQ(dialog.sendLabel().text(), QStringLiteral("1000 ms"));
    dialog.sendSlider().setValue(10);
    QTest::keyClick(&dialog, Qt::Key_Escape);
  });
  EXPECT_FALSE(prompts_.setup(values));
  EXPECT_EQ(values.sendDelay, 2000);
  EXPECT_EQ(values.deviceIndex, 16);
  EXPECT_EQ(values.midiOutName, "gone");
}

TEST_F(PromptDialogTest, SetupWithoutPortsOrDeviceIdsHandsBackEmptyChoices) {
  SetupValues values;
  values.midiInName = "USB MIDI";
  values.deviceIndex = -4;
  values.sendDelay = -5;
  script_.on<SetupDialog>([](SetupDialog& dialog) {
    EXPECT_EQ(dialog.sendLabel().text(), QStringLiteral("0 ms"));
    dialog.accept();
  });
  ASSERT_TRUE(prompts_.setup(values));
  EXPECT_EQ(values.midiInName, "");
  EXPECT_EQ(values.midiOutName, "");
  EXPECT_EQ(values.deviceIndex, 0);
  EXPECT_EQ(values.sendDelay, 0);
}

TEST_F(PromptDialogTest, ChooserListsSortedSectionsAndWritesTheChoice) {
  const std::string idf = dir_ + "banklore.idf";
  const std::string ini = dir_ + "banklore.ini";
  writeWholeFile(idf, "[Virus]\nA=1\n[Nova]\n[Matrix-1000]\n[Zeta]");
  writeWholeFile(ini, "[General]\nInstrument=nova\n");
  script_.on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Choose Instrument..."));
    QStringList shown;
    for (int i = 0; i < dialog.list().count(); ++i) shown << dialog.list().item(i)->text();
    EXPECT_EQ(shown, (QStringList{"Matrix-1000", "Nova", "Virus"}));
    EXPECT_EQ(dialog.list().currentRow(), 1);
    dialog.list().setCurrentRow(2);
    QTest::keyClick(&dialog.list(), Qt::Key_Return);
  });
  EXPECT_TRUE(prompts_.chooseInstrument(idf, ini));
  EXPECT_EQ(readText(ini, "General", "Instrument", "", 100), "Virus");
}

TEST_F(PromptDialogTest, ChooserFallsBackToVirusAndCancelWritesNothing) {
  const std::string idf = dir_ + "banklore.idf";
  const std::string ini = dir_ + "banklore.ini";
  writeWholeFile(idf, "[Nova]\n[Virus]\n");
  script_.on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
    EXPECT_EQ(dialog.list().currentItem()->text(), QStringLiteral("Virus"));
    dialog.reject();
  });
  EXPECT_FALSE(prompts_.chooseInstrument(idf, ini));
  EXPECT_EQ(readWholeFile(ini), "");
}

TEST_F(PromptDialogTest, ChooserWithNothingToChooseRefusesOk) {
  const std::string ini = dir_ + "banklore.ini";
  writeWholeFile(ini, "[General]\nInstrument=Nova\n");
  script_.on<InstrumentChooserDialog>([](InstrumentChooserDialog& dialog) {
    EXPECT_EQ(dialog.list().count(), 0);
    EXPECT_FALSE(dialog.okButton().isEnabled());
    dialog.accept();  // as Enter would: refused, the dialog stays
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
  });
  EXPECT_FALSE(prompts_.chooseInstrument(dir_ + "missing.idf", ini));
  EXPECT_EQ(readText(ini, "General", "Instrument", "", 100), "Nova");
}

TEST_F(PromptDialogTest, AboutShowsTheVersionAndItsLinks) {
  script_.on<AboutDialog>([](AboutDialog& dialog) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("About Banklore"));
    EXPECT_EQ(dialog.productLabel().text(), QStringLiteral("Banklore 1.12b"));
    EXPECT_EQ(dialog.mailLink().url(), QStringLiteral("mailto:banklore@example.org"));
    EXPECT_EQ(dialog.webLink().url(), QStringLiteral("https://banklore.example.org/"));
    EXPECT_EQ(dialog.webLink().toolTip(), dialog.webLink().url());
    QTest::keyClick(&dialog, Qt::Key_Return);
  });
  prompts_.about();
  EXPECT_TRUE(script_.finished());
}

TEST_F(PromptDialogTest, LinkColoursFollowHoverAndVisitsAndFailuresAreExplained) {
  HyperlinkLabel link(QStringLiteral("site"), &owner_);
  link.setGeometry(10, 10, 200, 20);
  link.setUrl(QStringLiteral("https://banklore.example.org/"));
  link.show();
  int result = HyperlinkLabel::kOpened;
  QStringList opened;
  link.setOpener([&](const QString& target) {
    opened << target;
    return result;
  });
  EXPECT_EQ(link.textColor(), link.linkColor);
  EXPECT_FALSE(link.font().underline());
  QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), link.mapToGlobal(QPointF(2, 2)));
  QApplication::sendEvent(&link, &enter);
  EXPECT_EQ(link.textColor(), link.hoverColor);
  EXPECT_TRUE(link.font().underline());
  QTest::mouseClick(&link, Qt::LeftButton, Qt::NoModifier, link.rect().center());
  EXPECT_EQ(opened, QStringList{"https://banklore.example.org/"});
  EXPECT_EQ(link.textColor(), link.visitedColor);

  QString failure;
  QObject::connect(&link, &HyperlinkLabel::openFailed,
                   [&](const QString& text) { failure = text; });
  script_.on<QMessageBox>([](QMessageBox& box) { box.accept(); });
  result = 4;
  QTest::mouseClick(&link, Qt::LeftButton, Qt::NoModifier, link.rect().center());
  EXPECT_EQ(failure, QStringLiteral("Unable to open hyperlink:\n\nUnknown Error (4) occurred."));
  EXPECT_FALSE(link.visited());
  EXPECT_EQ(link.textColor(), link.linkColor);
  EXPECT_EQ(
      openErrorText(31),
      QStringLiteral("There is no application associated\nwith the given filename extension."));
}

}  // namespace
}  // namespace banklore::testing
