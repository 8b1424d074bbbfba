#include "ui/setup_dialog.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <algorithm>

#include "ui/dialog_units.h"
#include "ui/display_text.h"

namespace banklore {

namespace {

std::unique_ptr<QComboBox> portList(QWidget* parent, const std::vector<std::string>& names,
                                    const std::string& stored) {
  auto list = std::make_unique<QComboBox>(parent);
  for (const std::string& name : names) list->addItem(displayText(name));
  if (!names.empty()) list->setCurrentIndex(preselectedPort(names, stored));
  return list;
}

std::unique_ptr<QSlider> delaySlider(QWidget* parent) {
  auto slider = std::make_unique<QSlider>(Qt::Horizontal, parent);
  slider->setRange(0, SetupDialog::kMaxDelay);
  slider->setSingleStep(1);
  slider->setPageStep(SetupDialog::kDelayPage);
  slider->setTickPosition(QSlider::NoTicks);
  slider->setFocusPolicy(Qt::StrongFocus);
  return slider;
}

QString delayText(int ms) {
  return QStringLiteral("%1 ms").arg(ms);
}

// Selects `name` in a port list, adding it when the list was made before the port appeared.
void selectPort(QComboBox& list, std::vector<std::string>& names, const std::string& name) {
  auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) {
    names.push_back(name);
    list.addItem(displayText(name));
    at = names.end() - 1;
  }
  list.setCurrentIndex(static_cast<int>(at - names.begin()));
}

}  // namespace

int preselectedPort(const std::vector<std::string>& names, const std::string& stored) {
  int chosen = 0;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (names[i] == stored) chosen = static_cast<int>(i);
  }
  return chosen;
}

SetupDialog::SetupDialog(const SetupValues& values, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint),
      values_(values) {
  setWindowTitle(QStringLiteral("Instrument Setup"));
  setFixedSize(dialogUnits(0, 0, 177, 166).size());

  // Created in tab order: the three lists, Cancel, OK, then the sliders.
  inputs_ = portList(this, values_.inputNames, values_.midiInName);
  outputs_ = portList(this, values_.outputNames, values_.midiOutName);
  deviceIds_ = std::make_unique<QComboBox>(this);
  const int deviceCount = static_cast<int>(values_.deviceIdNames.size());
  // A stored index outside the instrument's list (a negative one too) falls back to the first.
  if (values_.deviceIndex < 0 || values_.deviceIndex >= deviceCount) values_.deviceIndex = 0;
  for (const std::string& name : values_.deviceIdNames) deviceIds_->addItem(displayText(name));
  if (deviceCount > 0) deviceIds_->setCurrentIndex(values_.deviceIndex);
  cancel_ = std::make_unique<QPushButton>(QStringLiteral("Cancel"), this);
  ok_ = std::make_unique<QPushButton>(QStringLiteral("OK"), this);
  const char* const captions[] = {
      "Midi In:", "Midi Out:", "Device ID:", "Send Delay:", "Request Delay:"};
  for (std::size_t i = 0; i < captions_.size(); ++i) {
    captions_[i] = std::make_unique<QLabel>(QString::fromLatin1(captions[i]), this);
  }
  sendSlider_ = delaySlider(this);
  requestSlider_ = delaySlider(this);
  sendValue_ = std::make_unique<QLabel>(this);
  requestValue_ = std::make_unique<QLabel>(this);
  playSelected_ = std::make_unique<QCheckBox>(QStringLiteral("Play the selected patch"), this);
  playSelected_->setChecked(values_.playSelected);
  if (!values_.auditionUnavailable.empty()) {
    playSelected_->setEnabled(false);
    playSelected_->setToolTip(displayText(values_.auditionUnavailable));
  }
  detect_ = std::make_unique<QPushButton>(QStringLiteral("Detect"), this);
  detect_->setEnabled(static_cast<bool>(values_.detect));
  detectText_ = std::make_unique<QLabel>(displayText(values_.auditionUnavailable), this);
  detectText_->setWordWrap(true);
  detectText_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

  inputs_->setGeometry(dialogUnits(45, 5, 125, 12));
  outputs_->setGeometry(dialogUnits(45, 20, 125, 12));
  deviceIds_->setGeometry(dialogUnits(45, 40, 50, 12));
  detect_->setGeometry(dialogUnits(120, 39, 50, 14));
  playSelected_->setGeometry(dialogUnits(5, 90, 165, 12));
  detectText_->setGeometry(dialogUnits(5, 105, 167, 36));
  cancel_->setGeometry(dialogUnits(65, 145, 50, 14));
  ok_->setGeometry(dialogUnits(120, 145, 50, 14));
  const QRect captionRects[] = {dialogUnits(5, 5, 40, 12), dialogUnits(5, 20, 40, 12),
                                dialogUnits(5, 40, 40, 12), dialogUnits(5, 60, 55, 12),
                                dialogUnits(5, 75, 55, 12)};
  for (std::size_t i = 0; i < captions_.size(); ++i) captions_[i]->setGeometry(captionRects[i]);
  sendSlider_->setGeometry(dialogUnits(60, 60, 75, 12));
  requestSlider_->setGeometry(dialogUnits(60, 75, 75, 12));
  sendValue_->setGeometry(dialogUnits(140, 60, 35, 12));
  requestValue_->setGeometry(dialogUnits(140, 75, 35, 12));

  ok_->setDefault(true);
  connect(ok_.get(), &QPushButton::clicked, this, &SetupDialog::accept);
  connect(cancel_.get(), &QPushButton::clicked, this, &SetupDialog::reject);
  connect(detect_.get(), &QPushButton::clicked, this, &SetupDialog::startDetect);

  setSendDelay(values_.sendDelay, true);
  setRequestDelay(values_.requestDelay, true);
  // Every movement of a thumb (drag, page, arrow keys, Home/End) is the new delay: what the label
  // shows is what OK hands back.
  connect(sendSlider_.get(), &QSlider::valueChanged, this,
          [this](int ms) { setSendDelay(ms, false); });
  connect(requestSlider_.get(), &QSlider::valueChanged, this,
          [this](int ms) { setRequestDelay(ms, false); });
}

SetupDialog::~SetupDialog() = default;

void SetupDialog::setSendDelay(int ms, bool moveThumb) {
  sendDelay_ = std::clamp(ms, 0, kMaxDelay);
  if (moveThumb) sendSlider_->setValue(sendDelay_);
  sendValue_->setText(delayText(sendDelay_));
}

void SetupDialog::setRequestDelay(int ms, bool moveThumb) {
  requestDelay_ = std::clamp(ms, 0, kMaxDelay);
  if (moveThumb) requestSlider_->setValue(requestDelay_);
  requestValue_->setText(delayText(requestDelay_));
}

void SetupDialog::startDetect() {
  detect_->setEnabled(false);
  detectText_->setText(QStringLiteral("Asking every MIDI output who is there..."));
  QPointer<SetupDialog> self(this);
  values_.detect([self](const DetectReport& report) {
    // Answered from inside the search's last step: the questions wait until it has returned.
    QMetaObject::invokeMethod(
        self.data(),
        [self, report] {
          if (self) self->takeReport(report);
        },
        Qt::QueuedConnection);
  });
}

void SetupDialog::takeReport(const DetectReport& report) {
  detect_->setEnabled(true);
  if (report.choices.empty()) {
    detectText_->setText(displayText(report.text));
    return;
  }
  std::size_t taken = 0;
  if (report.choices.size() > 1) {
    QStringList items;
    for (const DetectChoice& choice : report.choices) items << displayText(choice.text);
    bool ok = false;
    const QString item = QInputDialog::getItem(
        this, QStringLiteral("Detect"),
        QStringLiteral("%1 instruments answered. Which one is this setup for?").arg(items.size()),
        items, 0, false, &ok);
    if (!ok) {
      detectText_->setText(QStringLiteral("Nothing was taken."));
      return;
    }
    taken = static_cast<std::size_t>(std::max<qsizetype>(0, items.indexOf(item)));
  }
  takeChoice(report.choices[taken]);
}

void SetupDialog::takeChoice(const DetectChoice& choice) {
  selectPort(*inputs_, values_.inputNames, choice.midiIn);
  selectPort(*outputs_, values_.outputNames, choice.midiOut);
  QString text = QStringLiteral("Found %1.").arg(displayText(choice.text));
  values_.changeInstrumentTo.clear();
  deviceIds_->setEnabled(true);
  if (choice.otherInstrument) {
    const QString question =
        QStringLiteral(
            "The instrument found is described by \"%1\", not by the instrument that "
            "runs now. Change to %1 when you press OK?")
            .arg(displayText(choice.section));
    if (QMessageBox::question(this, QStringLiteral("Detect"), question,
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes) {
      values_.changeInstrumentTo = choice.section;
      values_.deviceIndex = choice.deviceIndex;
      // The list shows the running instrument's device IDs, not the new one's.
      deviceIds_->setEnabled(false);
      text += QStringLiteral(" OK changes to %1 on these ports.").arg(displayText(choice.section));
    } else {
      text += QStringLiteral(" Only the ports are taken.");
    }
  } else if (choice.deviceIndex >= 0 && choice.deviceIndex < deviceIds_->count()) {
    deviceIds_->setCurrentIndex(choice.deviceIndex);
  }
  if (!choice.note.empty()) text += QStringLiteral(" ") + displayText(choice.note);
  detectText_->setText(text);
}

SetupValues SetupDialog::chosen() const {
  SetupValues result = values_;
  const auto selectedName = [](const QComboBox& list, const std::vector<std::string>& names) {
    const int index = list.currentIndex();
    if (index < 0 || index >= static_cast<int>(names.size())) return std::string();
    return names[static_cast<std::size_t>(index)];
  };
  // The names are handed back byte for byte as the system listed them.
  result.midiInName = selectedName(*inputs_, values_.inputNames);
  result.midiOutName = selectedName(*outputs_, values_.outputNames);
  // A change of instrument takes the device the new one answered as, not the list's.
  if (result.changeInstrumentTo.empty())
    result.deviceIndex = std::max(0, deviceIds_->currentIndex());
  result.playSelected = playSelected_->isChecked();
  result.sendDelay = sendDelay_;
  result.requestDelay = requestDelay_;
  return result;
}

}  // namespace banklore
