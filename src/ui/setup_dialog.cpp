#include "ui/setup_dialog.h"

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
  setFixedSize(dialogUnits(0, 0, 177, 121).size());

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

  inputs_->setGeometry(dialogUnits(45, 5, 125, 12));
  outputs_->setGeometry(dialogUnits(45, 20, 125, 12));
  deviceIds_->setGeometry(dialogUnits(45, 40, 50, 12));
  cancel_->setGeometry(dialogUnits(65, 100, 50, 14));
  ok_->setGeometry(dialogUnits(120, 100, 50, 14));
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
  result.deviceIndex = std::max(0, deviceIds_->currentIndex());
  result.sendDelay = sendDelay_;
  result.requestDelay = requestDelay_;
  return result;
}

}  // namespace banklore
