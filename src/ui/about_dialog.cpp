#include "ui/about_dialog.h"

#include "app/main_window.h"
#include "ui/dialog_units.h"

namespace banklore {

AboutDialog::AboutDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle(QStringLiteral("About Banklore"));
  setFixedSize(dialogUnits(0, 0, 186, 135).size());
  struct Line {
    const char* text;
    int y;
  };
  const Line lines[] = {
      {"Banklore ", 5},
      {"Written by the Banklore developers, 2026", 15},
      {"Comments / Suggestions / Bug Reports go to:", 35},
      {"For updates, current instrument definition", 70},
      {"files (and finest Trance music! ;) ) visit", 80},
  };
  for (const Line& line : lines) {
    auto label = std::make_unique<QLabel>(QString::fromLatin1(line.text), this);
    label->setAlignment(Qt::AlignCenter);
    label->setGeometry(dialogUnits(0, line.y, 185, 9));
    labels_.push_back(std::move(label));
  }
  mail_ = std::make_unique<HyperlinkLabel>(QString::fromLatin1(kMailAddress), this);
  mail_->setGeometry(dialogUnits(0, 50, 185, 9));
  web_ = std::make_unique<HyperlinkLabel>(QStringLiteral("banklore.example.org"), this);
  web_->setGeometry(dialogUnits(0, 95, 185, 9));
  ok_ = std::make_unique<QPushButton>(QStringLiteral("OK"), this);
  ok_->setGeometry(dialogUnits(70, 115, 45, 14));
  ok_->setDefault(true);
  connect(ok_.get(), &QPushButton::clicked, this, &AboutDialog::accept);

  web_->setUrl(QString::fromLatin1(kWebSite));
  mail_->setUrl(QStringLiteral("mailto:") + QString::fromLatin1(kMailAddress));
  productLabel().setText(productLabel().text() + QString::fromLatin1(MainWindow::kVersion));
  ok_->setFocus(Qt::OtherFocusReason);
}

AboutDialog::~AboutDialog() = default;

}  // namespace banklore
