#include "ui/hyperlink_label.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QMouseEvent>
#include <QUrl>

namespace banklore {

QString openErrorText(int code) {
  switch (code) {
    case 0:
      return QStringLiteral("The operating system is out\nof memory or resources.");
    case 2:
      return QStringLiteral("The specified file was not found.");
    case 3:
      return QStringLiteral("The specified path was not found.");
    case 5:
      return QStringLiteral("The operating system denied\naccess to the specified file.");
    case 8:
      return QStringLiteral("There was not enough memory to complete the operation.");
    case 11:
      return QStringLiteral("The .EXE file is invalid\n(non-Win32 .EXE or error in .EXE image).");
    case 26:
      return QStringLiteral("A sharing violation occurred. ");
    case 27:
      return QStringLiteral("The filename association is\nincomplete or invalid.");
    case 28:
      return QStringLiteral(
          "The DDE transaction could not\nbe completed because the request timed out.");
    case 29:
      return QStringLiteral("The DDE transaction failed.");
    case 30:
      return QStringLiteral(
          "The DDE transaction could not\nbe completed because other DDE transactions\nwere "
          "being processed.");
    case 31:
      return QStringLiteral(
          "There is no application associated\nwith the given filename extension.");
    case 32:
      return QStringLiteral("The specified dynamic-link library was not found.");
    default:
      return QStringLiteral("Unknown Error (%1) occurred.").arg(code);
  }
}

HyperlinkLabel::HyperlinkLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), opener_([](const QString& target) {
        return QDesktopServices::openUrl(QUrl(target)) ? kOpened : kNoAssociation;
      }) {
  setAlignment(Qt::AlignCenter);
  setTextFormat(Qt::PlainText);
  setCursor(Qt::PointingHandCursor);
  setAutoFillBackground(false);
  restyle();
}

void HyperlinkLabel::setUrl(const QString& url) {
  url_ = url;
  if (text().isEmpty()) setText(url_);
  setToolTip(url_);
  fitToText();
}

void HyperlinkLabel::setVisited(bool visited) {
  visited_ = visited;
  restyle();
}

void HyperlinkLabel::setUnderline(int mode) {
  if (mode == underlineMode_) return;
  underlineMode_ = mode;
  restyle();
}

QColor HyperlinkLabel::textColor() const {
  if (pointerOver_) return hoverColor;
  return visited_ ? visitedColor : linkColor;
}

void HyperlinkLabel::restyle() {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, textColor());
  setPalette(colours);
  QFont shape = font();
  shape.setUnderline(underlineMode_ == 1 || (underlineMode_ == -1 && pointerOver_));
  setFont(shape);
  update();
}

void HyperlinkLabel::fitToText() {
  // The clickable area is the text, centred where the label was placed.
  const QRect was = geometry();
  const QSize needed = fontMetrics().size(Qt::TextSingleLine, text()) + QSize(2, 2);
  QRect fitted(QPoint(0, 0), needed);
  fitted.moveCenter(was.center());
  setGeometry(fitted);
}

void HyperlinkLabel::enterEvent(QEnterEvent* event) {
  QLabel::enterEvent(event);
  if (pointerOver_) return;
  pointerOver_ = true;
  restyle();
}

void HyperlinkLabel::leaveEvent(QEvent* event) {
  QLabel::leaveEvent(event);
  if (!pointerOver_) return;
  pointerOver_ = false;
  restyle();
}

void HyperlinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  pointerOver_ = false;
  const int result = opener_(url_);
  visited_ = result > 32;
  restyle();
  if (visited_) return;
  QApplication::beep();
  const QString message = QStringLiteral("Unable to open hyperlink:\n\n") + openErrorText(result);
  Q_EMIT openFailed(message);
  QMessageBox::warning(this, QStringLiteral("Banklore"), message);
}

}  // namespace banklore
