// fw-video-devices: lists the capture devices Framewright HD sees, or opens
// one and reports the frames it delivers, through the same calls the
// program makes. For checking a camera or card without starting the program.
//
//   fw-video-devices                      list devices and their inputs
//   fw-video-devices ID [INPUT [FRAMES]]  open ID on input INPUT (default 0)
//                                         and report FRAMES frames (default 60)
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "core/util/frame_stamp.h"
#include "hd/video/qt_capture.h"

using namespace fw;

namespace {

long gFramesWanted = 60;
long gFramesSeen = 0;
OSErr gDeviceError = noErr;

void ReportFrame(int32_t, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height, uint64_t time,
                 int32_t err) {
  if (err != noErr) {
    gDeviceError = err;
    return;
  }
  ++gFramesSeen;
  uint32_t stamp = 0;
  if (ReadFrameStamp(static_cast<const uint8_t*>(baseAddr), rowBytes, width, height, &stamp))
    std::printf("frame %ld: %d x %d, %d bytes a row, time %" PRIu64 ", stamp %u\n", gFramesSeen, width,
                height, rowBytes, time, stamp);
  else
    std::printf("frame %ld: %d x %d, %d bytes a row, time %" PRIu64 "\n", gFramesSeen, width, height,
                rowBytes, time);
}

int List() {
  int32_t count = 0;
  CaptureDevices* devices = nullptr;
  if (const OSErr err = QTCaptureGetListOfDevices(kListVideoDevices, &count, &devices); err != noErr) {
    std::fprintf(stderr, "fw-video-devices: listing failed: error %d\n", err);
    return 1;
  }
  for (int32_t i = 0; i < count; ++i) {
    const CaptureDevices& device = devices[i];
    std::printf("%s\n  ID: %s%s\n", device.name, device.uniqueID, device.isDeckLink ? " (DeckLink)" : "");
    for (int input = 0; input < device.inputCount; ++input)
      std::printf("  input %d: %s\n", input, device.inputs[input].name);
  }
  if (count == 0) std::printf("no video input devices\n");
  QTCaptureDisposeListOfDevices(devices);
  return 0;
}

int Watch(const char* uniqueID, long input, long frames) {
  gFramesWanted = frames;
  int32_t deviceRef = 0;
  const OSErr err =
      QTCaptureOpenDevice(uniqueID, true, static_cast<uint16_t>(input), 0, 0, 0, &ReportFrame, 0, &deviceRef);
  if (err != noErr) {
    std::fprintf(stderr, "fw-video-devices: could not open %s: error %d\n", uniqueID, err);
    return 1;
  }
  // The program's own rhythm: one poll every 1/60 s.
  const auto period = std::chrono::microseconds(1'000'000 / 60);
  auto due = std::chrono::steady_clock::now();
  while (gFramesSeen < gFramesWanted && gDeviceError == noErr) {
    due += period;
    std::this_thread::sleep_until(due);
    QTCaptureIdle();
  }
  QTCaptureCloseDevice(deviceRef);
  if (gDeviceError != noErr) {
    std::fprintf(stderr, "fw-video-devices: the device reported error %d\n", gDeviceError);
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return List();
  if (argc > 4 || argv[1][0] == '-') {
    std::fprintf(stderr, "usage: fw-video-devices [ID [INPUT [FRAMES]]]\n");
    return 2;
  }
  const long input = argc > 2 ? std::strtol(argv[2], nullptr, 10) : 0;
  const long frames = argc > 3 ? std::strtol(argv[3], nullptr, 10) : 60;
  if (input < 0 || input > 0xFFFF || frames < 1) {
    std::fprintf(stderr, "fw-video-devices: INPUT must be 0 to 65535 and FRAMES at least 1\n");
    return 2;
  }
  return Watch(argv[1], input, frames);
}
