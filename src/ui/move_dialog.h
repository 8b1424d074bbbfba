// "Move...": asks by how many positions the selection moves (-1023..1023), read as the sentence
// "Move <n> entries". OK refuses text that is not such a number and keeps the dialog open.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <memory>

namespace banklore {

class MoveDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kNotAnInteger = "Please enter a whole number, such as 3 or -3.";
  static constexpr const char* kOutOfRange = "Please enter a number between -1023 and 1023.";

  explicit MoveDialog(QWidget* parent = nullptr);
  ~MoveDialog() override;

  int moveCount() const { return moveCount_; }
  QLineEdit& edit() { return *edit_; }
  QPushButton& okButton() { return *ok_; }
  QPushButton& cancelButton() { return *cancel_; }

  void accept() override;

 Q_SIGNALS:
  // Emitted before a refusal is shown, with its text (tests read it here).
  void refused(const QString& text);

 private:
  int moveCount_ = 0;
  std::unique_ptr<QLabel> moveLabel_;
  std::unique_ptr<QLineEdit> edit_;
  std::unique_ptr<QLabel> entriesLabel_;
  std::unique_ptr<QPushButton> ok_;
  std::unique_ptr<QPushButton> cancel_;
};

}  // namespace banklore
