// The Move and Rename dialogs, the file dialogs and the message boxes, driven as a user would.
#include <QFileDialog>
#include <QMessageBox>
#include <QTest>

#include "ui/file_dialogs.h"
#include "ui/move_dialog.h"
#include "ui/qt_prompts.h"
#include "ui/rename_dialog.h"
#include "ui/support/modal_script.h"
#include "ui/support/ui_fixture.h"

namespace banklore::testing {
namespace {

class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = freshTestFolder();
    owner_.resize(640, 480);
    owner_.move(40, 30);
    owner_.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&owner_));
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
  std::vector<QString> refusals;
  script_
      .on<MoveDialog>([&](MoveDialog& dialog) {
        EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Move..."));
        EXPECT_EQ(dialog.edit().text(), QStringLiteral("0"));
        EXPECT_EQ(dialog.edit().selectedText(), QStringLiteral("0"));
        EXPECT_EQ(dialog.focusWidget(), &dialog.edit());
        EXPECT_TRUE(dialog.okButton().isDefault());
        EXPECT_EQ(dialog.okButton().text(), QStringLiteral("&OK"));
        EXPECT_EQ(dialog.cancelButton().text(), QStringLiteral("&Cancel"));
        // Centred over the window that asked.
        const QPoint offset = dialog.frameGeometry().center() - owner_.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4);
        typeAndPress(dialog.edit(), QStringLiteral("12abc"), Qt::Key_Return);
      })
      .on<QMessageBox>([&](QMessageBox& box) {
        refusals.push_back(box.text());
        box.accept();
      })
      .on<MoveDialog>([&](MoveDialog& dialog) {
        EXPECT_EQ(dialog.focusWidget(), &dialog.edit());
        typeAndPress(dialog.edit(), QStringLiteral("1024"), Qt::Key_Return);
      })
      .on<QMessageBox>([&](QMessageBox& box) {
        refusals.push_back(box.text());
        box.accept();
      })
      .on<MoveDialog>([&](MoveDialog& dialog) {
        typeAndPress(dialog.edit(), QStringLiteral("-1023"), Qt::Key_Return);
      });
  EXPECT_EQ(prompts_.moveCount(), -1023);
  EXPECT_TRUE(script_.finished());
  ASSERT_EQ(refusals.size(), 2u);
  EXPECT_EQ(refusals[0], QString::fromLatin1(MoveDialog::kNotAnInteger));
  EXPECT_EQ(refusals[1], QString::fromLatin1(MoveDialog::kOutOfRange));
  EXPECT_TRUE(refusals[1].contains(QStringLiteral("-1023")));
  EXPECT_TRUE(refusals[1].contains(QStringLiteral("1023")));
}

TEST_F(DialogTest, MoveCancelledByEscapeOrCancelGivesNothing) {
  script_
      .on<MoveDialog>([](MoveDialog& dialog) {
        dialog.edit().setText(QStringLiteral("5"));
        QTest::keyClick(&dialog.edit(), Qt::Key_Escape);
      })
      .on<MoveDialog>([](MoveDialog& dialog) {
        dialog.edit().setText(QStringLiteral("5"));
        dialog.cancelButton().click();
      })
      .on<MoveDialog>([](MoveDialog& dialog) { dialog.close(); });
  EXPECT_EQ(prompts_.moveCount(), std::nullopt);
  EXPECT_EQ(prompts_.moveCount(), std::nullopt);
  EXPECT_EQ(prompts_.moveCount(), std::nullopt);
  EXPECT_FALSE(script_.gaveUp());
}

TEST_F(DialogTest, RenameIsACaptionlessEditorThatTakesAnyTextOnEnter) {
  script_
      .on<RenameDialog>([&](RenameDialog& dialog) {
        EXPECT_TRUE(dialog.windowFlags().testFlag(Qt::FramelessWindowHint));
        EXPECT_EQ(dialog.edit().text(), QStringLiteral("Init Pad"));
        EXPECT_EQ(dialog.edit().selectedText(), QStringLiteral("Init Pad"));
        const QPoint offset = dialog.frameGeometry().center() - owner_.frameGeometry().center();
        EXPECT_LE(offset.manhattanLength(), 4);
        typeAndPress(dialog.edit(), QStringLiteral("Warm Strings"), Qt::Key_Return);
      })
      .on<RenameDialog>([](RenameDialog& dialog) {
        typeAndPress(dialog.edit(), QStringLiteral("Ignored"), Qt::Key_Escape);
      })
      .on<RenameDialog>([](RenameDialog& dialog) {
        dialog.edit().clear();
        QTest::keyClick(&dialog.edit(), Qt::Key_Enter);
      });
  EXPECT_EQ(prompts_.rename("Init Pad"), "Warm Strings");
  EXPECT_EQ(prompts_.rename("Second"), std::nullopt);
  EXPECT_EQ(prompts_.rename("Third"), "");
  EXPECT_TRUE(script_.finished());
}

TEST_F(DialogTest, RenameKeepsEveryByteOfASingleByteName) {
  script_.on<RenameDialog>([](RenameDialog& dialog) { dialog.accept(); });
  EXPECT_EQ(prompts_.rename("Caf\xe9 \xb0"), "Caf\xe9 \xb0");
}

// As the dialog's own Open/Save button does (accept() is not public on QFileDialog).
void acceptFileDialog(QFileDialog& dialog) {
  QMetaObject::invokeMethod(&dialog, "accept");
}

FileDialogRequest bankRequest(const std::string& folder) {
  return {"Save Bank",
          {{"Midi Files (*.mid)", "*.mid"}, {"SYX Files (*.syx)", "*.syx"}, {"All Files", "*.*"}},
          folder,
          "bank.syx",
          "syx"};
}

TEST_F(DialogTest, FileDialogFollowsTheRequest) {
  QFileDialog dialog;
  configureFileDialog(dialog, bankRequest(dir_), FileDialogMode::Save);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Save Bank"));
  EXPECT_EQ(dialog.nameFilters(),
            (QStringList{"Midi Files (*.mid)", "SYX Files (*.syx)", "All Files (*.*)"}));
  EXPECT_EQ(dialog.selectedNameFilter(), QStringLiteral("Midi Files (*.mid)"));
  EXPECT_EQ(dialog.defaultSuffix(), QStringLiteral("syx"));
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_TRUE(dialog.testOption(QFileDialog::DontUseNativeDialog));
  EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptSave);
  EXPECT_EQ(QDir(dialog.directory()).canonicalPath(),
            QDir(QString::fromStdString(dir_)).canonicalPath());
}

TEST_F(DialogTest, FilterPatternsJoinedBySemicolonsBecomeOneFilter) {
  EXPECT_EQ(nameFilters({{"Bank Files", "*.syx;*.mid"}, {"", ""}}),
            (QStringList{"Bank Files (*.syx *.mid)", "* (*)"}));
}

TEST_F(DialogTest, SaveAddsTheExtensionAndNeverAsksAboutReplacing) {
  writeWholeFile(dir_ + "exists.syx", "old");
  script_
      .on<QFileDialog>([](QFileDialog& dialog) {
        dialog.selectFile(QStringLiteral("fresh"));
        acceptFileDialog(dialog);
      })
      .on<QFileDialog>([](QFileDialog& dialog) {
        dialog.selectFile(QStringLiteral("exists.syx"));
        acceptFileDialog(dialog);
      });
  EXPECT_EQ(prompts_.saveFile(bankRequest(dir_)), dir_ + "fresh.syx");
  EXPECT_EQ(prompts_.saveFile(bankRequest(dir_)), dir_ + "exists.syx");
  EXPECT_FALSE(script_.gaveUp());
}

TEST_F(DialogTest, OpenGivesTheChosenFileOrNothing) {
  writeWholeFile(dir_ + "bank.mid", "MThd");
  FileDialogRequest request = bankRequest(dir_);
  request.title = "Load Bank";
  script_
      .on<QFileDialog>([](QFileDialog& dialog) {
        EXPECT_EQ(dialog.acceptMode(), QFileDialog::AcceptOpen);
        EXPECT_EQ(dialog.fileMode(), QFileDialog::ExistingFile);
        dialog.selectFile(QStringLiteral("bank.mid"));
        acceptFileDialog(dialog);
      })
      .on<QFileDialog>([](QFileDialog& dialog) { dialog.reject(); });
  EXPECT_EQ(prompts_.openFile(request), dir_ + "bank.mid");
  EXPECT_EQ(prompts_.openFile(request), std::nullopt);
}

TEST_F(DialogTest, MessageAndQuestionBoxesShowTheTextAndReturnTheAnswer) {
  QString shown;
  script_
      .on<QMessageBox>([&](QMessageBox& box) {
        shown = box.text();
        box.accept();
      })
      .on<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); })
      .on<QMessageBox>([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
  prompts_.message("Loaded 3 patches from /tmp/b\xc3\xa4nk.syx");
  EXPECT_EQ(shown, QString::fromUtf8("Loaded 3 patches from /tmp/b\xc3\xa4nk.syx"));
  EXPECT_TRUE(prompts_.askYesNo("Replace?"));
  EXPECT_FALSE(prompts_.askYesNo("Replace?"));
}

}  // namespace
}  // namespace banklore::testing
