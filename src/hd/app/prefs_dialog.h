// The preferences window: a popup for the video input, the trigger, its
// delay and the movie frame rate, the flips and trims, and where and under
// which date order captures are saved. It holds what the logic gives it and
// hands back what the user set; OK, Cancel and closing go to the logic.
#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QPointer>
#include <QValidator>
#include <functional>
#include <memory>

#include "hd/app/prefs_window.h"

namespace fw {

// A field rule applied to every edit; a refused edit beeps.
class EditRuleValidator final : public QValidator {
 public:
  EditRuleValidator(bool (*rule)(std::string_view), QObject* parent) : QValidator(parent), rule_(rule) {}
  State validate(QString& input, int& pos) const override;

 private:
  bool (*rule_)(std::string_view);
};

class PrefsDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit PrefsDialog(QWidget* parent);

  void SetActions(PrefsWindowActions* actions) { actions_ = actions; }
  void SetControls(const PrefsWindowControls& controls);
  PrefsWindowControls Controls() const;

  // OK, and Cancel (also Escape and the close button).
  void accept() override;
  void reject() override;

 private:
  QLineEdit* NumberField(bool (*rule)(std::string_view), int maxLength, const char* name);

  PrefsWindowActions* actions_ = nullptr;
  QComboBox* devicePopup_;
  QComboBox* triggerPopup_;
  QComboBox* dateOrderPopup_;
  QComboBox* captureLocationPopup_;
  QLineEdit* triggerDelayText_;
  QLineEdit* movieFrameRateText_;
  QCheckBox* flipHCheck_;
  QCheckBox* flipVCheck_;
  QLineEdit* trimTopText_;
  QLineEdit* trimLeftText_;
  QLineEdit* trimRightText_;
  QLineEdit* trimBottomText_;
};

// The window as the logic sees it. Destroying it closes the window for good
// (the dialog is deleted once control is back in the event loop, since the
// logic lets go of it from inside its own button's handler).
class QtPrefsWindowView final : public PrefsWindowView {
 public:
  explicit QtPrefsWindowView(PrefsDialog* dialog) : dialog_(dialog) {}
  ~QtPrefsWindowView() override;

  void SetActions(PrefsWindowActions* actions) override;
  void SetControls(const PrefsWindowControls& controls) override;
  PrefsWindowControls GetControls() override;
  void Show() override;
  void Hide() override;

 private:
  QPointer<PrefsDialog> dialog_;
};

}  // namespace fw
