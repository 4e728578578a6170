// The about box: the program's name, version and purpose, and a link. It
// shows what the logic gives it and reports its closing.
#pragma once

#include <QDialog>
#include <QLabel>
#include <QPointer>

#include "hd/app/about_box.h"

namespace fw {

class AboutDialog final : public QDialog {
  Q_OBJECT

 public:
  // linkText: the address the link field holds.
  AboutDialog(const QString& linkText, QWidget* parent);

  void SetActions(AboutBoxActions* actions) { actions_ = actions; }
  QString LinkText() const { return linkText_; }
  // The link field as a blue, underlined link that opens in the browser.
  void ShowLink(const QString& text, const QString& url);

  void reject() override;

 private:
  AboutBoxActions* actions_ = nullptr;
  QString linkText_;
  QLabel* linkLabel_;
};

class QtAboutBoxView final : public AboutBoxView {
 public:
  explicit QtAboutBoxView(AboutDialog* dialog) : dialog_(dialog) {}
  ~QtAboutBoxView() override;

  void SetActions(AboutBoxActions* actions) override;
  std::string LinkText() override;
  void ShowLink(const std::string& text, const std::string& url) override;
  void Show() override;
  void Hide() override;

 private:
  QPointer<AboutDialog> dialog_;
};

}  // namespace fw
