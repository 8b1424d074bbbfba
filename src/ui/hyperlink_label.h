// A text label that behaves like a web link: link, visited and hover colours, underlined while the
// pointer is over it, a hand cursor, the target as tool tip; a click opens the target and explains
// a failure in a message box.
#pragma once

#include <QColor>
#include <QLabel>
#include <functional>

namespace banklore {

// The message for a failed open, by the shell's result code (above 32 is success).
QString openErrorText(int code);

class HyperlinkLabel : public QLabel {
  Q_OBJECT

 public:
  static constexpr int kOpened = 33;
  static constexpr int kNoAssociation = 31;

  // Opens a target and returns the shell-style result code.
  using Opener = std::function<int(const QString& target)>;

  explicit HyperlinkLabel(const QString& text, QWidget* parent = nullptr);

  const QColor linkColor{0, 0, 238};
  const QColor visitedColor{85, 26, 139};
  const QColor hoverColor{255, 0, 0};

  // The target; an empty text shows it. The label shrinks to its text, centred where it was.
  void setUrl(const QString& url);
  const QString& url() const { return url_; }
  void setVisited(bool visited);
  bool visited() const { return visited_; }
  // 1: always underlined; 0: never; -1: only while the pointer is over it.
  void setUnderline(int mode);
  bool pointerOver() const { return pointerOver_; }
  void setOpener(Opener opener) { opener_ = std::move(opener); }
  // The colour the text has now.
  QColor textColor() const;

 Q_SIGNALS:
  void openFailed(const QString& message);

 protected:
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  void fitToText();
  void restyle();

  QString url_;
  bool pointerOver_ = false;
  bool visited_ = false;
  int underlineMode_ = -1;
  Opener opener_;
};

}  // namespace banklore
