// The caption-less one-line name editor: preloaded with the patch name, all of it selected; Enter
// takes whatever is typed (nothing too), Escape cancels.
#pragma once

#include <QDialog>
#include <QLineEdit>
#include <memory>

namespace banklore {

class RenameDialog : public QDialog {
  Q_OBJECT

 public:
  explicit RenameDialog(const QString& name, QWidget* parent = nullptr);
  ~RenameDialog() override;

  QString newName() const { return edit_->text(); }
  QLineEdit& edit() { return *edit_; }

 private:
  std::unique_ptr<QLineEdit> edit_;
};

}  // namespace banklore
