// Shared by the video tests: a recording data callback, a settable clock in
// 1/600 s ticks, and a fixture that puts fake backends in place and closes
// whatever a test left open.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "core/platform/clocks.h"
#include "hd/video/capture_backend.h"
#include "hd/video/qt_capture.h"

struct DataProcCall {
  int32_t refCon;
  std::vector<uint8_t> firstRow;  // copied: the pixels are valid only during the call
  bool hadBaseAddr;
  int32_t rowBytes;
  int32_t width;
  int32_t height;
  uint64_t time;
  int32_t err;
  std::thread::id thread;
};

inline std::vector<DataProcCall> gCalls;
// Run after recording a call, e.g. to close a device from its own callback.
inline std::function<void(const DataProcCall&)> gAfterCall;

inline void RecordingDataProc(int32_t refCon, void* baseAddr, int32_t rowBytes, int32_t width, int32_t height,
                              uint64_t time, int32_t err) {
  DataProcCall call{refCon, {},  baseAddr != nullptr,       rowBytes, width, height,
                    time,   err, std::this_thread::get_id()};
  if (baseAddr != nullptr && rowBytes > 0)
    call.firstRow.assign(static_cast<uint8_t*>(baseAddr), static_cast<uint8_t*>(baseAddr) + rowBytes);
  gCalls.push_back(call);
  if (gAfterCall) gAfterCall(gCalls.back());
}

// The calls of one poll.
inline std::vector<DataProcCall> Poll() {
  gCalls.clear();
  QTCaptureIdle();
  return gCalls;
}

inline std::atomic<uint64_t> gFakeNanoseconds{0};
inline uint64_t FakeClock() {
  return gFakeNanoseconds.load();
}

// Sets the test clock so that QTCaptureGetCurrentTime() reads ticks.
inline void SetTicks(uint64_t ticks) {
  gFakeNanoseconds = (ticks / 600) * 1'000'000'000ull + ((ticks % 600) * 1'000'000'000ull + 599) / 600;
  fw::SetMonotonicClockForTesting(&FakeClock);
}

class VideoTest : public ::testing::Test {
 protected:
  void TearDown() override {
    gAfterCall = nullptr;
    for (int32_t ref = 1; ref <= kMaxOpenDevices; ++ref) QTCaptureCloseDevice(ref);
    fw::SetCaptureBackendsForTesting({});
    fw::SetMonotonicClockForTesting(nullptr);
    gCalls.clear();
  }

  void UseBackends(std::vector<fw::CaptureBackend*> backends) {
    fw::SetCaptureBackendsForTesting(std::move(backends));
  }

  OSErr Open(const char* uniqueID, int32_t* outRef, uint16_t inputNum = 0, int32_t refCon = 0) {
    return QTCaptureOpenDevice(uniqueID, true, inputNum, 0, 0, 0, &RecordingDataProc, refCon, outRef);
  }
};
