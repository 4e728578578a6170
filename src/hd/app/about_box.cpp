// The about box's logic.
#include "hd/app/about_box.h"

AboutBox::AboutBox(AboutBoxDelegate& delegate, std::unique_ptr<AboutBoxView> view)
    : view_(std::move(view)), delegate_(delegate) {
  view_->SetActions(this);
  windowDidLoad();
}

void AboutBox::windowDidLoad() {
  // An empty link field leaves the window without a link.
  const std::string text = view_->LinkText();
  if (!text.empty()) view_->ShowLink(text, text);
  view_->Show();
}

void AboutBox::windowWillClose() {
  // The delegate releases this box: nothing may follow.
  delegate_.aboutBoxDidFinish();
}
