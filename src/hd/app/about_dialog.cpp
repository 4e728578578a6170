// The about box.
#include "hd/app/about_dialog.h"

#include <QDialogButtonBox>
#include <QVBoxLayout>

#ifndef FW_VERSION
#define FW_VERSION "unknown"
#endif

namespace fw {

AboutDialog::AboutDialog(const QString& linkText, QWidget* parent)
    : QDialog(parent), linkText_(linkText), linkLabel_(new QLabel) {
  setWindowTitle(tr("About Framewright HD"));
  setObjectName("aboutBox");
  linkLabel_->setObjectName("linkText");

  auto* name = new QLabel(tr("Framewright HD"));
  QFont large = name->font();
  large.setPointSizeF(large.pointSizeF() * 1.8);
  large.setBold(true);
  name->setFont(large);
  auto* version = new QLabel(tr("Version %1").arg(QStringLiteral(FW_VERSION)));
  auto* purpose = new QLabel(
      tr("Stop-motion and real-time video capture.\nEach click writes one frame, exactly as the camera "
         "delivers it,\ninto a QuickTime movie."));
  auto* manual = new QLabel(tr("The manual:"));
  // Without a link the field shows its text as plain, selectable text.
  linkLabel_->setText(linkText_.toHtmlEscaped());
  linkLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
  connect(buttons, &QDialogButtonBox::rejected, this, &AboutDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->setSpacing(8);
  layout->addWidget(name, 0, Qt::AlignHCenter);
  layout->addWidget(version, 0, Qt::AlignHCenter);
  layout->addSpacing(6);
  layout->addWidget(purpose, 0, Qt::AlignHCenter);
  layout->addSpacing(6);
  layout->addWidget(manual, 0, Qt::AlignHCenter);
  layout->addWidget(linkLabel_, 0, Qt::AlignHCenter);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  purpose->setAlignment(Qt::AlignHCenter);
}

void AboutDialog::ShowLink(const QString& text, const QString& url) {
  linkLabel_->setText(
      QStringLiteral("<a href=\"%1\" style=\"color: blue; text-decoration: underline;\">%2</a>")
          .arg(url.toHtmlEscaped(), text.toHtmlEscaped()));
  linkLabel_->setTextFormat(Qt::RichText);
  linkLabel_->setTextInteractionFlags(Qt::TextBrowserInteraction);
  linkLabel_->setOpenExternalLinks(true);
}

void AboutDialog::reject() {
  // The window closes, then tells the logic, which lets go of it.
  QDialog::reject();
  if (actions_ != nullptr) actions_->windowWillClose();
}

QtAboutBoxView::~QtAboutBoxView() {
  if (dialog_ == nullptr) return;
  dialog_->SetActions(nullptr);
  dialog_->hide();
  dialog_->deleteLater();
}

void QtAboutBoxView::SetActions(AboutBoxActions* actions) {
  if (dialog_ != nullptr) dialog_->SetActions(actions);
}

std::string QtAboutBoxView::LinkText() {
  return dialog_ != nullptr ? dialog_->LinkText().toStdString() : std::string();
}

void QtAboutBoxView::ShowLink(const std::string& text, const std::string& url) {
  if (dialog_ != nullptr) dialog_->ShowLink(QString::fromStdString(text), QString::fromStdString(url));
}

void QtAboutBoxView::Show() {
  if (dialog_ == nullptr) return;
  dialog_->show();
  dialog_->raise();
  dialog_->activateWindow();
}

void QtAboutBoxView::Hide() {
  if (dialog_ != nullptr) dialog_->hide();
}

}  // namespace fw
