#include "ui/window_panel.h"

#include <QResizeEvent>
#include <algorithm>

#include "ui/dialog_units.h"

namespace banklore {

namespace {

QRect toRect(const LayoutBox& box) {
  return {box.left, box.top, box.width(), box.height()};
}

}  // namespace

WindowPanel::WindowPanel(QWidget* parent)
    : QWidget(parent), designed_(designedLayout(kPixelsPerDialogUnit, kPixelsPerDialogUnit)) {
  // Children are created in tab order: bank 1, the middle column, bank 2.
  const auto makeButton = [this](const CommandButtonText& entry) {
    auto button = std::make_unique<QPushButton>(QString::fromLatin1(entry.text), this);
    button->setAutoDefault(false);
    const int id = static_cast<int>(entry.id);
    connect(button.get(), &QPushButton::clicked, this, [this, id] { Q_EMIT commandClicked(id); });
    return button;
  };
  const auto makeBank = [&](int b) {
    models_[b] = std::make_unique<BankTableModel>(b);
    captions_[b] = std::make_unique<QLabel>(
        b == 0 ? QStringLiteral("Bank 1") : QStringLiteral("Bank 2"), this);
    captions_[b]->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    // Before the list in the tab order; hidden until wanted, so the classic window is unchanged.
    findBoxes_[b] = std::make_unique<FindBox>(this);
    findBoxes_[b]->hide();
    lists_[b] = std::make_unique<BankList>(b, *models_[b], this);
    FindBox* box = findBoxes_[b].get();
    BankList* list = lists_[b].get();
    connect(box, &QLineEdit::textChanged, list, &BankList::setNameFilter);
    connect(box, &FindBox::cleared, this, [list] { list->setFocus(Qt::ShortcutFocusReason); });
    connect(box, &FindBox::leaveWanted, this, [list] { list->setFocus(Qt::ShortcutFocusReason); });
    connect(box, &FindBox::focusLost, this, [this, b] { hideIdleFindBox(b); });
    for (int i = 0; i < kBankButtonCount; ++i) bankButtons_[b][i] = makeButton(kBankButtons[b][i]);
    status_[b] = std::make_unique<QLabel>(this);
    status_[b]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    status_[b]->setWordWrap(false);
    status_[b]->setTextFormat(Qt::PlainText);
    progress_[b] = std::make_unique<QProgressBar>(this);
    progress_[b]->setTextVisible(false);
    progress_[b]->setRange(0, 1);
    progress_[b]->setValue(0);
  };
  makeBank(0);
  for (int i = 0; i < kMiddleButtonCount; ++i) middle_[i] = makeButton(kMiddleButtons[i]);
  makeBank(1);
  resize(designedSize());
  place(designed_);
}

// Children are destroyed here, before QWidget's destructor would try to delete them itself; the
// lists go before their models.
WindowPanel::~WindowPanel() = default;

void WindowPanel::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  place(arrangeLayout(designed_, event->size().width(), event->size().height()));
}

void WindowPanel::showFindBox(int bank) {
  FindBox& box = findBox(bank);
  if (box.isHidden()) {
    box.show();
    placeAgain();
  }
  box.setFocus(Qt::ShortcutFocusReason);
  box.selectAll();
}

void WindowPanel::hideIdleFindBox(int bank) {
  FindBox& box = findBox(bank);
  if (box.isHidden() || !box.text().isEmpty() || box.hasFocus()) return;
  box.hide();
  placeAgain();
}

void WindowPanel::placeAgain() {
  place(placed_);
}

void WindowPanel::place(const WindowLayout& layout) {
  placed_ = layout;
  for (int b = 0; b < 2; ++b) {
    captions_[b]->setGeometry(toRect(layout.caption[b]));
    QRect list = toRect(layout.list[b]);
    if (!findBoxes_[b]->isHidden()) {
      // The box takes the top of the list's place, as tall as it wants to be (never all of it).
      const int height = std::min(findBoxes_[b]->sizeHint().height(), list.height() / 2);
      findBoxes_[b]->setGeometry(list.x(), list.y(), list.width(), height);
      list.setTop(list.top() + height);
    }
    lists_[b]->setGeometry(list);
    for (int i = 0; i < kBankButtonCount; ++i) {
      bankButtons_[b][i]->setGeometry(toRect(layout.bankButtons[b][i]));
    }
    status_[b]->setGeometry(toRect(layout.status[b]));
    progress_[b]->setGeometry(toRect(layout.progress[b]));
  }
  for (int i = 0; i < kMiddleButtonCount; ++i) middle_[i]->setGeometry(toRect(layout.middle[i]));
}

}  // namespace banklore
