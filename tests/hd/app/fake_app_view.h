// Recording fakes of the application's screen: the windows, alerts, timer,
// screens and dialogs as AppView offers them, and the live preview. Tests
// drive the logic through them and look at what it asked for.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/capture/capture_view.h"
#include "hd/app/app_view.h"

struct FakeAlert {
  fw::WindowId window;
  std::string message;
  std::function<void()> onDismissed;
};

class FakePrefsWindowView final : public fw::PrefsWindowView {
 public:
  struct State {
    fw::PrefsWindowActions* actions = nullptr;
    std::optional<fw::PrefsWindowControls> shown;  // what SetControls gave
    fw::PrefsWindowControls edited;                // what GetControls answers
    bool visible = false;
    bool destroyed = false;
    int showCount = 0;
  };
  explicit FakePrefsWindowView(std::shared_ptr<State> state) : state_(std::move(state)) {}
  ~FakePrefsWindowView() override { state_->destroyed = true; }

  void SetActions(fw::PrefsWindowActions* actions) override { state_->actions = actions; }
  void SetControls(const fw::PrefsWindowControls& controls) override {
    state_->shown = controls;
    state_->edited = controls;
  }
  fw::PrefsWindowControls GetControls() override { return state_->edited; }
  void Show() override {
    state_->visible = true;
    ++state_->showCount;
  }
  void Hide() override { state_->visible = false; }

 private:
  std::shared_ptr<State> state_;
};

class FakeAboutBoxView final : public AboutBoxView {
 public:
  struct State {
    AboutBoxActions* actions = nullptr;
    std::string linkText = "file:///manual.html";
    std::optional<std::pair<std::string, std::string>> link;  // text, url
    bool visible = false;
    bool destroyed = false;
    int showCount = 0;
  };
  explicit FakeAboutBoxView(std::shared_ptr<State> state) : state_(std::move(state)) {}
  ~FakeAboutBoxView() override { state_->destroyed = true; }

  void SetActions(AboutBoxActions* actions) override { state_->actions = actions; }
  std::string LinkText() override { return state_->linkText; }
  void ShowLink(const std::string& text, const std::string& url) override { state_->link = {text, url}; }
  void Show() override {
    state_->visible = true;
    ++state_->showCount;
  }
  void Hide() override { state_->visible = false; }

 private:
  std::shared_ptr<State> state_;
};

class FakeAppView final : public fw::AppView {
 public:
  // What the screen looks like.
  std::vector<fw::ScreenArea> screens{{0, 0, 1920, 1050}};
  fw::WindowFrame mainFrame{100, 80, 820, 640};
  fw::WindowFrame captureFrame{320, 140, 1280, 800};
  std::string aboutLinkText = "file:///manual.html";

  // What the logic asked for.
  std::vector<std::string> calls;  // "show main", "hide capture", ...
  std::vector<FakeAlert> alerts;
  std::optional<std::pair<int, int>> movedMainTo;
  bool captureButtonEnabled = false;
  std::string inputTitle = "(not set)";
  std::vector<std::string> launchedURLs;
  std::function<void()> onTick;
  std::chrono::microseconds tickInterval{0};
  std::vector<std::shared_ptr<FakePrefsWindowView::State>> prefsWindows;
  std::vector<std::shared_ptr<FakeAboutBoxView::State>> aboutBoxes;

  static const char* NameOf(fw::WindowId window) {
    return window == fw::WindowId::kMainWindow ? "main" : "capture";
  }

  void ShowWindow(fw::WindowId window) override { calls.push_back(std::string("show ") + NameOf(window)); }
  void HideWindow(fw::WindowId window) override { calls.push_back(std::string("hide ") + NameOf(window)); }
  void HideAuxiliaryWindows() override { calls.push_back("hide auxiliary"); }
  void ShowAuxiliaryWindows() override { calls.push_back("show auxiliary"); }
  void SetCaptureTrigger(uint8_t trigger) override { calls.push_back("trigger " + std::to_string(trigger)); }
  void SetAuxiliaryMenuItems(fw::Enablement enablement) override {
    calls.push_back(enablement == fw::Enablement::kEnabled ? "menu items on" : "menu items off");
  }
  void SetCaptureButton(fw::Enablement enablement) override {
    captureButtonEnabled = enablement == fw::Enablement::kEnabled;
  }
  void SetFrameCount(uint32_t framesWritten) override {
    calls.push_back("count " + std::to_string(framesWritten));
  }
  fw::WindowFrame FrameOf(fw::WindowId window) override {
    return window == fw::WindowId::kMainWindow ? mainFrame : captureFrame;
  }
  void MovePointerTo(int, int) override { calls.push_back("pointer"); }
  void ShowAlert(fw::WindowId window, const std::string& message,
                 std::function<void()> onDismissed) override {
    alerts.push_back(FakeAlert{window, message, std::move(onDismissed)});
  }
  void ShowSavePanel(const std::string&, std::function<void(std::optional<std::string>)> onDone) override {
    calls.push_back("save panel");
    onDone(std::nullopt);
  }

  void StartFrameTimer(std::chrono::microseconds interval, std::function<void()> tick) override {
    tickInterval = interval;
    onTick = std::move(tick);
  }
  std::vector<fw::ScreenArea> ScreenAreas() override { return screens; }
  void MoveWindowTo(fw::WindowId window, int x, int y) override {
    if (window == fw::WindowId::kMainWindow) {
      movedMainTo = {x, y};
      mainFrame.x = x;
      mainFrame.y = y;
    }
  }
  std::unique_ptr<fw::PrefsWindowView> CreatePrefsWindowView() override {
    prefsWindows.push_back(std::make_shared<FakePrefsWindowView::State>());
    return std::make_unique<FakePrefsWindowView>(prefsWindows.back());
  }
  std::unique_ptr<AboutBoxView> CreateAboutBoxView() override {
    aboutBoxes.push_back(std::make_shared<FakeAboutBoxView::State>());
    aboutBoxes.back()->linkText = aboutLinkText;
    return std::make_unique<FakeAboutBoxView>(aboutBoxes.back());
  }
  void SetInputTitle(const std::string& title) override { inputTitle = title; }
  OSErr LaunchURL(const char* url) override {
    launchedURLs.emplace_back(url);
    return noErr;
  }
};

// The preview: records its starts and disposals and hands out dummy
// references.
class FakePreviewPort final : public fw::PreviewPort {
 public:
  int starts = 0;
  int draws = 0;
  int disposals = 0;  // of a live preview
  std::vector<fw::WindowId> startWindows;

  void CalculatePreviewRect(Rect* outRect) override { *outRect = Rect{36, 10, 546, 790}; }
  OSErr VPStartPreview(const PixMap*, const ImageDescription*, fw::WindowId window, const Rect*, bool, bool,
                       bool, VideoPreviewRef* outRef) override {
    ++starts;
    startWindows.push_back(window);
    *outRef = reinterpret_cast<VideoPreviewRef>(&token_);
    return noErr;
  }
  OSErr VPDisplayFrame(VideoPreviewRef) override {
    ++draws;
    return noErr;
  }
  void VPDisposePreview(VideoPreviewRef ref) override {
    if (ref != nullptr) ++disposals;
  }

 private:
  int token_ = 0;
};
