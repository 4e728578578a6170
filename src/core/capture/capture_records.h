// The records of the open video input and of the running capture of
// Framewright HD, and the device data callback type. All of it lives on the
// main thread.
#pragma once

#include <cstdint>

#include "core/platform/files.h"
#include "core/util/image_description.h"
#include "core/util/pixmap.h"

struct AFWRecord;
using AFWRef = AFWRecord*;

// The data callback of an open capture device. With err 0 it receives one
// '2vuy' frame, valid only during the call; with err non-zero the other
// arguments are 0 and err is the device's error.
using QTCaptureDataProc = void (*)(int32_t refCon, void* baseAddr, int32_t rowBytes, int32_t width,
                                   int32_t height, uint64_t time, int32_t err);

// The open video input.
struct VideoInputRecord {
  int32_t deviceRef = 0;  // from QTCaptureOpenDevice; 0 for none
  // Frames the trimmed image of the current frame; null until the first frame.
  PixMapHandle pixMap;
  ImageDescriptionHandle imageDescription;  // of pixMap; written into the movie
  uint32_t trimOffset = 0;                  // bytes from a frame's start to the trimmed image
  uint16_t trimmedWidth = 0;
  uint16_t trimmedHeight = 0;
};

// The running capture.
struct CaptureRecord {
  AFWRef writer = nullptr;
  fw::FileRef captureFile;
  uint32_t incomingFrameNumber = 0;  // 1 at start, +1 per delivered frame
  uint32_t framesWritten = 0;
  uint32_t frameDataSize = 0;  // bytes of one written frame
  bool fileCreated = false;
  bool running = false;  // start completed; only now are frames written
};

extern VideoInputRecord* gInput;
extern CaptureRecord* gCapture;
