// Shared pieces of the capture tests: a frame source whose pixels carry
// their incoming-frame number, a fixture with a scratch home folder and fake
// windows, and readers that ask ffprobe, ffmpeg and fwmov about a movie.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "core/platform/clocks.h"
#include "core/platform/fault_injection.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/frame_stamp.h"
#include "fake_capture_view.h"
#include "hd/app/capture_controller.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

// A '2vuy' frame source whose pixels carry the incoming-frame number.
class FrameSource {
 public:
  FrameSource(int width, int height, int rowBytes = 0)
      : width_(width),
        height_(height),
        rowBytes_(rowBytes != 0 ? rowBytes : 2 * width),
        bytes_(static_cast<size_t>(rowBytes_) * height) {}

  // Colour bars plus a ramp, so that a wrong offset or row length shows.
  void Make(uint32_t number) {
    for (int y = 0; y < height_; ++y) {
      uint8_t* row = bytes_.data() + static_cast<size_t>(y) * rowBytes_;
      for (int x = 0; x < rowBytes_; ++x) row[x] = static_cast<uint8_t>((x * 7 + y * 3 + number) & 0xFF);
    }
    fw::StampFrameNumber(bytes_.data(), rowBytes_, width_, height_, number);
  }
  void Deliver(uint32_t number) {
    Make(number);
    MyQTCaptureDataProc(0, bytes_.data(), rowBytes_, width_, height_, 0, 0);
  }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  int rowBytes() const { return rowBytes_; }

 private:
  int width_, height_, rowBytes_;
  std::vector<uint8_t> bytes_;
};

inline int64_t FixedWallClock() {
  return 1796738733;
}  // 2026-12-08 14:05:33 UTC

class CaptureControllerFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(&gPrefs, 0, sizeof gPrefs);
    gPrefs.hundredTimesMovieFPS = 1800;
    gPrefs.previewFlag = 1;
    gPrefs.captureLocation = 3;
    gInput = new VideoInputRecord();
    gInput->deviceRef = 1;
  }
  void TearDown() override {
    app_.stopCaptureWithErr(0);
    delete gInput;
    gInput = nullptr;
    gVideoPreviewRef = nullptr;
    gProcessingSuspendedFlag = false;
    fw::ClearWriteFaults();
    fw::SetWallClockForTesting(nullptr);
    fw::SetMonotonicClockForTesting(nullptr);
  }

  std::string Documents() const { return home_.file("Documents"); }
  std::vector<std::string> MoviesInDocuments() const {
    std::vector<std::string> names;
    if (std::filesystem::exists(Documents()))
      for (const auto& e : std::filesystem::directory_iterator(Documents()))
        names.push_back(e.path().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string StartInDocuments(const std::string& name = "capture.mov") {
    const std::string path = home_.file(name);
    EXPECT_EQ(app_.startCaptureWithURL(path), 0);
    return path;
  }

  TempHome home_;
  FakeCaptureView view_;
  FakePreview preview_;
  fw::CaptureController app_{view_, preview_};
};

// What ffprobe says about a movie's first video stream.
struct Probe {
  int frames = -1;
  int width = 0, height = 0;
  std::string codecTag, rate;
};

inline Probe ProbeMovie(const std::string& path) {
  CommandResult r = RunCommand(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=codec_tag_string,width,height,r_frame_rate,nb_read_frames -of default=noprint_wrappers=1 " +
      Quote(path));
  Probe p;
  if (r.status != 0) return p;
  auto field = [&](const std::string& key) {
    size_t at = r.out.find(key + "=");
    if (at == std::string::npos) return std::string();
    at += key.size() + 1;
    return r.out.substr(at, r.out.find('\n', at) - at);
  };
  p.frames = std::atoi(field("nb_read_frames").c_str());
  p.width = std::atoi(field("width").c_str());
  p.height = std::atoi(field("height").c_str());
  p.codecTag = field("codec_tag_string");
  p.rate = field("r_frame_rate");
  return p;
}

// Every frame of a movie as ffmpeg decodes it, as raw '2vuy' bytes.
inline std::vector<std::vector<uint8_t>> DecodeFrames(const std::string& path, int width, int height) {
  CommandResult r = RunCommand("ffmpeg -v error -i " + Quote(path) + " -f rawvideo -pix_fmt uyvy422 -");
  const size_t frameSize = static_cast<size_t>(width) * height * 2;
  std::vector<std::vector<uint8_t>> frames;
  for (size_t at = 0; frameSize > 0 && at + frameSize <= r.out.size(); at += frameSize)
    frames.emplace_back(r.out.begin() + static_cast<long>(at),
                        r.out.begin() + static_cast<long>(at + frameSize));
  return frames;
}

inline std::vector<uint32_t> Stamps(const std::vector<std::vector<uint8_t>>& frames, int width, int height) {
  std::vector<uint32_t> numbers;
  for (const auto& f : frames) {
    uint32_t n = 0;
    numbers.push_back(fw::ReadFrameStamp(f.data(), 2 * width, width, height, &n) ? n : 0xFFFFFFFF);
  }
  return numbers;
}

// Waits (bounded) until the background writer has brought a file to a size.
inline void WaitForFileSize(const std::string& path, uint64_t sizeBytes) {
  for (int i = 0; i < 2000; ++i) {
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) >= sizeBytes) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// The sample count fwmov reports for a movie's video track; -1 when fwmov
// refuses the file.
inline int FwmovFrameCount(const std::string& path) {
  const CommandResult r =
      RunCommand(std::string(FWMOV_PATH) + " " + Quote(path) + " | jq -e '.tracks[0].sampleCount'");
  return r.status == 0 ? std::atoi(r.out.c_str()) : -1;
}
