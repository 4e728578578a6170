// Capture files as the capture writer leaves them (the 16-byte placeholder
// header, then '2vuy' frames back to back), and the open input and
// preferences that finishing one reads. Shared by the movie tests and the
// tests of the tools that read movies.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/capture/capture_records.h"
#include "core/movie/image_descriptions.h"
#include "core/movie/mdat_header.h"
#include "core/platform/files.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/frame_stamp.h"
#include "support/run_command.h"

namespace movie_test {

constexpr uint8_t kPlaceholderHeader[kMdatHeaderSizeBytes] = {0, 0, 0, 8, 'w', 'i', 'd', 'e',
                                                              0, 0, 0, 0, 'm', 'd', 'a', 't'};

// A frame whose every byte depends on its index, stamped with index + 1 so
// the frame can be recognised after a round trip.
inline std::vector<uint8_t> MakeFrame(int width, int height, uint32_t index) {
  const int32_t rowBytes = width * 2;
  std::vector<uint8_t> frame(static_cast<size_t>(rowBytes) * height);
  for (size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<uint8_t>(i * 7 + index * 13 + (i >> 9));
  fw::StampFrameNumber(frame.data(), rowBytes, width, height, index + 1);
  return frame;
}

inline OSErr WriteCaptureFile(const fw::FileRef& file, int width, int height, uint32_t frames) {
  OSErr err = fw::CreateEmptyFile(file);
  int fd = fw::kNoFile;
  if (err == noErr) err = fw::OpenFile(file, fw::OpenMode::kReadWrite, &fd);
  if (err != noErr) return err;
  err = fw::WriteAtMark(fd, kPlaceholderHeader, sizeof kPlaceholderHeader);
  for (uint32_t i = 0; i < frames && err == noErr; ++i) {
    const std::vector<uint8_t> frame = MakeFrame(width, height, i);
    err = fw::WriteAtMark(fd, frame.data(), frame.size());
  }
  const OSErr closeErr = fw::CloseFile(fd);
  return err != noErr ? err : closeErr;
}

// The same layout with the frames left as a hole: a sparse file of any size
// that costs no disk space and no writing time.
inline OSErr WriteSparseCaptureFile(const fw::FileRef& file, uint64_t frameBytes, uint32_t frames) {
  OSErr err = fw::CreateEmptyFile(file);
  int fd = fw::kNoFile;
  if (err == noErr) err = fw::OpenFile(file, fw::OpenMode::kReadWrite, &fd);
  if (err != noErr) return err;
  err = fw::WriteAtMark(fd, kPlaceholderHeader, sizeof kPlaceholderHeader);
  if (err == noErr) err = fw::TruncateFile(fd, kMdatHeaderSizeBytes + frameBytes * frames);
  const OSErr closeErr = fw::CloseFile(fd);
  return err != noErr ? err : closeErr;
}

// Opens a '2vuy' input of the given trimmed size (gInput) and sets the
// preferences the movie reads; both are put back at the end of the test.
class InputScope {
 public:
  InputScope(uint16_t width, uint16_t height, int32_t hundredTimesFPS = 1800) : savedPrefs_(gPrefs) {
    EXPECT_EQ(MyNewPixMapWithoutStorage(k2vuyPixelFormat,
                                        Rect{0, 0, static_cast<int16_t>(height), static_cast<int16_t>(width)},
                                        width * 2, &input_.pixMap),
              noErr);
    EXPECT_EQ(MakeImageDescriptionForPixMap(input_.pixMap.get(), &input_.imageDescription), noErr);
    input_.trimmedWidth = width;
    input_.trimmedHeight = height;
    gInput = &input_;
    gPrefs.hundredTimesMovieFPS = hundredTimesFPS;
    gPrefs.flipHFlag = 0;
    gPrefs.flipVFlag = 0;
    gPrefs.trimTop = gPrefs.trimLeft = gPrefs.trimRight = gPrefs.trimBottom = 0;
  }
  ~InputScope() {
    gInput = nullptr;
    gPrefs = savedPrefs_;
  }
  VideoInputRecord& input() { return input_; }

 private:
  VideoInputRecord input_;
  PrefsStruct savedPrefs_;
};

using ::CommandResult;
using ::Quote;
using ::RunCommand;

}  // namespace movie_test
