// The About box: product name and version, a credit line, and links to write to the maker and to
// visit the web site.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <memory>
#include <vector>

#include "ui/hyperlink_label.h"

namespace banklore {

class AboutDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr const char* kMailAddress = "banklore@example.org";
  static constexpr const char* kWebSite = "https://banklore.example.org/";

  explicit AboutDialog(QWidget* parent = nullptr);
  ~AboutDialog() override;

  QLabel& productLabel() { return *labels_.front(); }
  HyperlinkLabel& mailLink() { return *mail_; }
  HyperlinkLabel& webLink() { return *web_; }

 private:
  std::vector<std::unique_ptr<QLabel>> labels_;
  std::unique_ptr<HyperlinkLabel> mail_;
  std::unique_ptr<HyperlinkLabel> web_;
  std::unique_ptr<QPushButton> ok_;
};

}  // namespace banklore
