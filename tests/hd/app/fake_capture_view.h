// Recording fakes of the capture view and the preview, so the capture logic
// can be driven and checked without a toolkit.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "core/capture/capture_view.h"
#include "core/util/frame_stamp.h"

class FakeCaptureView : public fw::CaptureView {
 public:
  struct Alert {
    fw::WindowId window;
    std::string message;
    std::function<void()> onDismissed;
  };

  void ShowWindow(fw::WindowId window) override {
    Log(window == fw::WindowId::kMainWindow ? "show main" : "show capture");
  }
  void HideWindow(fw::WindowId window) override {
    Log(window == fw::WindowId::kMainWindow ? "hide main" : "hide capture");
  }
  void HideAuxiliaryWindows() override { Log("hide auxiliary"); }
  void ShowAuxiliaryWindows() override { Log("show auxiliary"); }
  void SetCaptureTrigger(uint8_t trigger) override { Log("trigger " + std::to_string(trigger)); }
  void SetAuxiliaryMenuItems(fw::Enablement e) override {
    Log(e == fw::Enablement::kEnabled ? "menus on" : "menus off");
  }
  void SetCaptureButton(fw::Enablement e) override { captureButtonEnabled = e == fw::Enablement::kEnabled; }
  void SetFrameCount(uint32_t count) override { frameCount = count; }
  void Beep() override { ++beeps; }
  void ReportDroppedFrames(uint32_t count) override { droppedReports.push_back(count); }
  void SetCaptureHealth(const fw::CaptureHealthReport& report) override { healthReports.push_back(report); }
  fw::WindowFrame FrameOf(fw::WindowId window) override {
    return window == fw::WindowId::kCaptureWindow ? captureFrame : mainFrame;
  }
  void MovePointerTo(int x, int y) override { pointer = {x, y}; }
  void ShowAlert(fw::WindowId window, const std::string& message,
                 std::function<void()> onDismissed) override {
    alerts.push_back({window, message, std::move(onDismissed)});
  }
  void ShowSavePanel(const std::string& name,
                     std::function<void(std::optional<std::string>)> onDone) override {
    savePanelName = name;
    savePanelDone = std::move(onDone);
  }

  // Dismisses the oldest alert still up, as a click on its OK button.
  void DismissAlert() {
    Alert alert = alerts.at(dismissed++);
    if (alert.onDismissed) alert.onDismissed();
  }
  bool HasLog(const std::string& entry) const {
    for (const auto& e : log)
      if (e == entry) return true;
    return false;
  }

  std::vector<std::string> log;
  std::vector<uint32_t> droppedReports;
  std::vector<fw::CaptureHealthReport> healthReports;
  std::vector<Alert> alerts;
  size_t dismissed = 0;
  bool captureButtonEnabled = false;
  uint32_t frameCount = 0;
  int beeps = 0;
  std::optional<std::pair<int, int>> pointer;
  fw::WindowFrame mainFrame{100, 80, 800, 600};
  fw::WindowFrame captureFrame{0, 0, 1440, 900};
  std::optional<std::string> savePanelName;
  std::function<void(std::optional<std::string>)> savePanelDone;

 private:
  void Log(const std::string& entry) { log.push_back(entry); }
};

class FakePreview : public fw::PreviewPort {
 public:
  void CalculatePreviewRect(Rect* out) override { *out = Rect{36, 10, 546, 790}; }
  OSErr VPStartPreview(const PixMap* pixMap, const ImageDescription*, fw::WindowId window, const Rect*,
                       bool flipH, bool flipV, bool, VideoPreviewRef* out) override {
    ++starts;
    lastWindow = window;
    lastFlipH = flipH;
    lastFlipV = flipV;
    lastPixMap = pixMap;
    *out = reinterpret_cast<VideoPreviewRef>(&token_);
    return 0;
  }
  OSErr VPDisplayFrame(VideoPreviewRef) override {
    ++frames;
    // What the picture shows: the frame number it carries, the onion skin's.
    const PixMap& p = *lastPixMap;
    shown.push_back(
        {StampOf(static_cast<const uint8_t*>(p.baseAddr), p.rowBytes), overlayStamp, overlayWeight});
    return 0;
  }
  void VPDisposePreview(VideoPreviewRef) override { ++disposals; }
  OSErr VPSetOverlay(VideoPreviewRef, const uint8_t* image, int32_t rowBytes, uint32_t weight256) override {
    overlayStamp = image != nullptr ? StampOf(image, rowBytes) : 0;
    overlayWeight = image != nullptr ? weight256 : 0;
    return 0;
  }

  // One picture drawn: the stamp of the frame (0 for none) and of the
  // picture laid over it at its weight (0 for none).
  struct Shown {
    uint32_t frame, overlay, weight256;
    bool operator==(const Shown&) const = default;
    friend std::ostream& operator<<(std::ostream& out, const Shown& s) {
      return out << "frame " << s.frame << " under " << s.overlay << " at " << s.weight256;
    }
  };
  std::vector<Shown> shown;
  uint32_t overlayStamp = 0;
  uint32_t overlayWeight = 0;

  int starts = 0;
  int frames = 0;
  int disposals = 0;
  fw::WindowId lastWindow = fw::WindowId::kMainWindow;
  bool lastFlipH = false;
  bool lastFlipV = false;
  const PixMap* lastPixMap = nullptr;

 private:
  uint32_t StampOf(const uint8_t* image, int32_t rowBytes) const {
    uint32_t n = 0;
    const Rect& b = lastPixMap->bounds;
    return image != nullptr && fw::ReadFrameStamp(image, rowBytes, b.right, b.bottom, &n) ? n : 0;
  }

  int token_ = 0;
};
