// The about box's logic: its link field's text becomes a clickable link to
// that address, and its closing is reported to the delegate, which then
// releases it. The window itself is an AboutBoxView.
#pragma once

#include <memory>
#include <string>

class AboutBoxDelegate {
 public:
  virtual void aboutBoxDidFinish() = 0;

 protected:
  ~AboutBoxDelegate() = default;
};

class AboutBoxActions {
 public:
  // The user closed the window. The box may be destroyed by this call.
  virtual void windowWillClose() = 0;

 protected:
  ~AboutBoxActions() = default;
};

class AboutBoxView {
 public:
  virtual ~AboutBoxView() = default;
  virtual void SetActions(AboutBoxActions* actions) = 0;
  // The text of the link field as the window lays it out (an address).
  virtual std::string LinkText() = 0;
  // Shows `text` in the link field as a link to `url`: blue, underlined,
  // opened with the user's browser when clicked.
  virtual void ShowLink(const std::string& text, const std::string& url) = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
};

class AboutBox final : public AboutBoxActions {
 public:
  // Sets the window up (windowDidLoad) and shows it.
  AboutBox(AboutBoxDelegate& delegate, std::unique_ptr<AboutBoxView> view);
  AboutBox(const AboutBox&) = delete;
  AboutBox& operator=(const AboutBox&) = delete;

  void windowDidLoad();
  void windowWillClose() override;

  void Show() { view_->Show(); }
  void Hide() { view_->Hide(); }

 private:
  std::unique_ptr<AboutBoxView> view_;
  AboutBoxDelegate& delegate_;
};
