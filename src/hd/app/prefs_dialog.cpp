// The preferences window.
#include "hd/app/prefs_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace fw {

QValidator::State EditRuleValidator::validate(QString& input, int&) const {
  const QByteArray text = input.toUtf8();
  if (rule_(std::string_view(text.constData(), static_cast<size_t>(text.size())))) return Acceptable;
  QApplication::beep();
  return Invalid;
}

namespace {

bool IntegerRule(std::string_view text) {
  return OnlyIntegerValueFormatter::isPartialStringValid(text);
}

std::string TextOf(const QLineEdit* field) {
  return field->text().toStdString();
}

QWidget* WithUnit(QWidget* field, const QString& unit) {
  auto* row = new QWidget;
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(field);
  layout->addWidget(new QLabel(unit));
  layout->addStretch();
  return row;
}

}  // namespace

PrefsDialog::PrefsDialog(QWidget* parent)
    : QDialog(parent),
      devicePopup_(new QComboBox),
      triggerPopup_(new QComboBox),
      dateOrderPopup_(new QComboBox),
      captureLocationPopup_(new QComboBox),
      triggerDelayText_(NumberField(&IntegerRule, 6, "triggerDelayText")),
      movieFrameRateText_(NumberField(&IsPartialFrameRateValid, 8, "movieFrameRateText")),
      flipHCheck_(new QCheckBox(tr("Mirror left to right"))),
      flipVCheck_(new QCheckBox(tr("Mirror top to bottom"))),
      trimTopText_(NumberField(&IntegerRule, 6, "trimTopText")),
      trimLeftText_(NumberField(&IntegerRule, 6, "trimLeftText")),
      trimRightText_(NumberField(&IntegerRule, 6, "trimRightText")),
      trimBottomText_(NumberField(&IntegerRule, 6, "trimBottomText")) {
  setWindowTitle(tr("Framewright HD Preferences"));
  setObjectName("prefsWindow");
  devicePopup_->setObjectName("devicePopup");
  triggerPopup_->setObjectName("triggerPopup");
  dateOrderPopup_->setObjectName("dateOrderPopup");
  captureLocationPopup_->setObjectName("captureLocationPopup");
  flipHCheck_->setObjectName("flipHCheck");
  flipVCheck_->setObjectName("flipVCheck");
  devicePopup_->setMinimumContentsLength(28);
  devicePopup_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);

  // Item order is value order: the settings store the item number.
  triggerPopup_->addItems({tr("When the mouse button is released"), tr("When the mouse button is pressed"),
                           tr("Every incoming frame")});
  dateOrderPopup_->addItems(
      {tr("Day-Month-Year"), tr("Month-Day-Year"), tr("Year-Month-Day"), tr("Year-Day-Month")});
  captureLocationPopup_->addItems(
      {tr("Ask each time"), tr("The program's folder"), tr("Desktop"), tr("Documents")});

  auto* inputBox = new QGroupBox(tr("Video input"));
  auto* inputForm = new QFormLayout(inputBox);
  inputForm->addRow(tr("Device:"), devicePopup_);
  auto* flips = new QWidget;
  auto* flipsLayout = new QHBoxLayout(flips);
  flipsLayout->setContentsMargins(0, 0, 0, 0);
  flipsLayout->addWidget(flipHCheck_);
  flipsLayout->addWidget(flipVCheck_);
  flipsLayout->addStretch();
  inputForm->addRow(tr("Picture:"), flips);
  auto* trims = new QWidget;
  auto* trimsLayout = new QGridLayout(trims);
  trimsLayout->setContentsMargins(0, 0, 0, 0);
  trimsLayout->addWidget(new QLabel(tr("Top")), 0, 0);
  trimsLayout->addWidget(trimTopText_, 0, 1);
  trimsLayout->addWidget(new QLabel(tr("Bottom")), 0, 2);
  trimsLayout->addWidget(trimBottomText_, 0, 3);
  trimsLayout->addWidget(new QLabel(tr("Left")), 1, 0);
  trimsLayout->addWidget(trimLeftText_, 1, 1);
  trimsLayout->addWidget(new QLabel(tr("Right")), 1, 2);
  trimsLayout->addWidget(trimRightText_, 1, 3);
  trimsLayout->setColumnStretch(4, 1);
  inputForm->addRow(tr("Trim (pixels):"), trims);

  auto* captureBox = new QGroupBox(tr("Capture"));
  auto* captureForm = new QFormLayout(captureBox);
  captureForm->addRow(tr("Take a frame:"), triggerPopup_);
  captureForm->addRow(tr("Delay:"), WithUnit(triggerDelayText_, tr("incoming frames after the trigger")));
  captureForm->addRow(tr("Movie frame rate:"), WithUnit(movieFrameRateText_, tr("frames per second")));

  auto* filesBox = new QGroupBox(tr("Movie files"));
  auto* filesForm = new QFormLayout(filesBox);
  filesForm->addRow(tr("Save captures in:"), captureLocationPopup_);
  filesForm->addRow(tr("Date in file names:"), dateOrderPopup_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  connect(buttons, &QDialogButtonBox::accepted, this, &PrefsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &PrefsDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(inputBox);
  layout->addWidget(captureBox);
  layout->addWidget(filesBox);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

QLineEdit* PrefsDialog::NumberField(bool (*rule)(std::string_view), int maxLength, const char* name) {
  auto* field = new QLineEdit;
  field->setObjectName(name);
  field->setValidator(new EditRuleValidator(rule, field));
  field->setMaxLength(maxLength);
  field->setAlignment(Qt::AlignRight);
  field->setFixedWidth(field->fontMetrics().horizontalAdvance(QString(maxLength + 2, QChar('0'))));
  return field;
}

void PrefsDialog::SetControls(const PrefsWindowControls& controls) {
  devicePopup_->clear();
  for (const std::string& title : controls.deviceItems) devicePopup_->addItem(QString::fromStdString(title));
  devicePopup_->setCurrentIndex(controls.deviceIndex);
  triggerPopup_->setCurrentIndex(controls.triggerIndex < triggerPopup_->count() ? controls.triggerIndex : -1);
  dateOrderPopup_->setCurrentIndex(
      controls.dateOrderIndex < dateOrderPopup_->count() ? controls.dateOrderIndex : -1);
  captureLocationPopup_->setCurrentIndex(
      controls.captureLocationIndex < captureLocationPopup_->count() ? controls.captureLocationIndex : -1);
  triggerDelayText_->setText(QString::fromStdString(controls.triggerDelayText));
  movieFrameRateText_->setText(QString::fromStdString(controls.movieFrameRateText));
  flipHCheck_->setChecked(controls.flipH);
  flipVCheck_->setChecked(controls.flipV);
  trimTopText_->setText(QString::fromStdString(controls.trimTopText));
  trimLeftText_->setText(QString::fromStdString(controls.trimLeftText));
  trimRightText_->setText(QString::fromStdString(controls.trimRightText));
  trimBottomText_->setText(QString::fromStdString(controls.trimBottomText));
}

PrefsWindowControls PrefsDialog::Controls() const {
  PrefsWindowControls controls;
  for (int i = 0; i < devicePopup_->count(); ++i)
    controls.deviceItems.push_back(devicePopup_->itemText(i).toStdString());
  controls.deviceIndex = devicePopup_->currentIndex();
  controls.triggerIndex = triggerPopup_->currentIndex();
  controls.dateOrderIndex = dateOrderPopup_->currentIndex();
  controls.captureLocationIndex = captureLocationPopup_->currentIndex();
  controls.triggerDelayText = TextOf(triggerDelayText_);
  controls.movieFrameRateText = TextOf(movieFrameRateText_);
  controls.flipH = flipHCheck_->isChecked();
  controls.flipV = flipVCheck_->isChecked();
  controls.trimTopText = TextOf(trimTopText_);
  controls.trimLeftText = TextOf(trimLeftText_);
  controls.trimRightText = TextOf(trimRightText_);
  controls.trimBottomText = TextOf(trimBottomText_);
  return controls;
}

void PrefsDialog::accept() {
  if (actions_ != nullptr)
    actions_->okClick();
  else
    QDialog::accept();
}

void PrefsDialog::reject() {
  if (actions_ != nullptr)
    actions_->cancelClick();
  else
    QDialog::reject();
}

QtPrefsWindowView::~QtPrefsWindowView() {
  if (dialog_ == nullptr) return;
  dialog_->SetActions(nullptr);
  dialog_->hide();
  dialog_->deleteLater();
}

void QtPrefsWindowView::SetActions(PrefsWindowActions* actions) {
  if (dialog_ != nullptr) dialog_->SetActions(actions);
}

void QtPrefsWindowView::SetControls(const PrefsWindowControls& controls) {
  if (dialog_ != nullptr) dialog_->SetControls(controls);
}

PrefsWindowControls QtPrefsWindowView::GetControls() {
  return dialog_ != nullptr ? dialog_->Controls() : PrefsWindowControls{};
}

void QtPrefsWindowView::Show() {
  if (dialog_ == nullptr) return;
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
}

void QtPrefsWindowView::Hide() {
  if (dialog_ != nullptr) dialog_->hide();
}

}  // namespace fw
