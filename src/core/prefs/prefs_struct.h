// The preferences record both programs share. Its bytes are the record image
// of the preferences file: the classic program stores the first 96, Framewright
// HD all 224. Offsets are fixed by files already on users' disks.
#pragma once

#include <cstddef>
#include <cstdint>

struct MySize {
  int16_t y;        // HD: window origin y; classic: top of the setup window
  int16_t x;        // HD: window origin x; classic: left
  uint16_t width;   // HD: frame width; classic: bottom
  uint16_t height;  // HD: frame height; classic: right
};

// Values of captureTrigger.
constexpr uint8_t kCaptureTriggerMouseUp = 0;
constexpr uint8_t kCaptureTriggerMouseDown = 1;
constexpr uint8_t kCaptureTriggerEveryFrame = 2;

// Values of captureLocation.
constexpr uint8_t kCaptureLocationAsk = 0;
constexpr uint8_t kCaptureLocationApplicationFolder = 1;
constexpr uint8_t kCaptureLocationDesktop = 2;
constexpr uint8_t kCaptureLocationDocuments = 3;

struct PrefsStruct {
  MySize mainWindowSize;
  int32_t hundredTimesMovieFPS;  // frames per second × 100
  uint8_t captureFormatOLD;      // classic: 0 movie, 1 DV stream
  uint8_t dateOrdering;          // 0 d-m-y, 1 m-d-y, 2 y-m-d, 3 y-d-m
  int16_t inputNum;
  uint8_t captureTrigger;
  uint8_t ignoreFrameCount;
  int8_t previewSizeOLD;  // classic: 0 half size, else full size
  uint8_t previewFlag;
  uint8_t deviceNameOLD[64];  // classic: length-prefixed digitizer name
  // One byte each; kept as integers, since a file may hold any byte here.
  uint8_t flipHFlag;
  uint8_t flipVFlag;
  uint8_t captureLocation;
  uint8_t padding;
  int16_t trimTop;
  int16_t trimLeft;
  int16_t trimRight;
  int16_t trimBottom;
  char uniqueID[128];  // HD: NUL-terminated UTF-8 ID of the last device
};

constexpr size_t kPrefsRecordSizeHD = 224;
constexpr size_t kPrefsRecordSizeClassic = 96;

static_assert(sizeof(PrefsStruct) == kPrefsRecordSizeHD);
static_assert(offsetof(PrefsStruct, mainWindowSize) == 0);
static_assert(offsetof(PrefsStruct, hundredTimesMovieFPS) == 8);
static_assert(offsetof(PrefsStruct, captureFormatOLD) == 12);
static_assert(offsetof(PrefsStruct, dateOrdering) == 13);
static_assert(offsetof(PrefsStruct, inputNum) == 14);
static_assert(offsetof(PrefsStruct, captureTrigger) == 16);
static_assert(offsetof(PrefsStruct, ignoreFrameCount) == 17);
static_assert(offsetof(PrefsStruct, previewSizeOLD) == 18);
static_assert(offsetof(PrefsStruct, previewFlag) == 19);
static_assert(offsetof(PrefsStruct, deviceNameOLD) == 20);
static_assert(offsetof(PrefsStruct, flipHFlag) == 84);
static_assert(offsetof(PrefsStruct, flipVFlag) == 85);
static_assert(offsetof(PrefsStruct, captureLocation) == 86);
static_assert(offsetof(PrefsStruct, padding) == 87);
static_assert(offsetof(PrefsStruct, trimTop) == 88);
static_assert(offsetof(PrefsStruct, trimLeft) == 90);
static_assert(offsetof(PrefsStruct, trimRight) == 92);
static_assert(offsetof(PrefsStruct, trimBottom) == 94);
static_assert(offsetof(PrefsStruct, uniqueID) == kPrefsRecordSizeClassic);

// The settings in force (main thread only).
extern PrefsStruct gPrefs;
