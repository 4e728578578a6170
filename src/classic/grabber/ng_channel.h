// The classic program's video input: one sequence grabber and a table of
// video channels, each driving its digitizer directly on one of two paths.
// The compressing path asks for one compressed frame at a time and hands
// the newest finished frame on as the digitizer made it; the raw path grabs
// alternately into two off-screen buffers. Every finished frame goes to the
// data procedure the caller installed. Main thread only.
#pragma once

#include <cstdint>

#include "classic/grabber/sequence_grabber.h"
#include "classic/grabber/video_digitizer.h"
#include "core/util/image_description.h"

constexpr OSErr kNGNotOpenErr = 601;
constexpr OSErr kNGNoFreeChannelErr = 602;
constexpr OSErr kNGNoDigitizerErr = 603;
constexpr OSErr kNGCannotCaptureErr = 604;
constexpr OSErr kNGNoPanelsErr = 99;

constexpr int kNGChannelTableSize = 100;  // entry 0 unused
constexpr int kNGMaxSettingsPanels = 10;

// Receives each finished frame; the bytes are valid only during the call.
using NGDataProc = OSErr (*)(int16_t channel, const uint8_t* data, int32_t sizeBytes, const TimeRecord* time,
                             intptr_t refCon);

// Stage codes NGIdleChannel writes on failure.
enum : int16_t {
  kNGStageCompressDone = 300,
  kNGStageReleaseSurplus = 310,
  kNGStageRequestAfterSurplus = 320,
  kNGStageCompressDoneAgain = 330,
  kNGStageDataProcCompressed = 340,
  kNGStageReleaseDelivered = 350,
  kNGStageNextRequest = 360,
  kNGStageNextGrab = 370,
  kNGStageDataProcRaw = 380,
};

[[nodiscard]] OSErr NGOpen();
void NGClose();
[[nodiscard]] OSErr NGNewVideoChannel(int16_t* outChannel);
[[nodiscard]] OSErr NGGetChannelDeviceList(int16_t channel, SGDeviceList* outList);
void NGDisposeDeviceList(SGDeviceList list);
[[nodiscard]] OSErr NGSetChannelDevice(int16_t channel, ConstStr255Param deviceName);
// Either out argument may be null; the name comes back with at most 63 characters.
[[nodiscard]] OSErr NGGetVDIGComponentInfo(int16_t channel, ComponentDescription* outDescription,
                                           Str255 outName);
uint8_t NGGetVDIGTypeCode(int16_t channel);
[[nodiscard]] OSErr NGSetDataProc(int16_t channel, NGDataProc proc, intptr_t refCon);
OSType NGGetChannelDefaultCodec(int16_t channel);
// *ioDescription is made when null.
[[nodiscard]] OSErr NGGetImageDescription(int16_t channel, ImageDescriptionHandle* ioDescription);
[[nodiscard]] OSErr NGSettingsDialog(int16_t channel, bool includeSourcePanels);
[[nodiscard]] OSErr NGSetUpChannelForCapture(int16_t channel);
[[nodiscard]] OSErr NGStartOneChannel(int16_t channel);
[[nodiscard]] OSErr NGIdleChannel(int16_t channel, int16_t* ioStage);
[[nodiscard]] OSErr NGStopOneChannel(int16_t channel);

namespace fw {

// The digitizer classification: the component's manufacturer and subtype.
uint8_t ClassifyDigitizer(OSType manufacturer, OSType subType);

}  // namespace fw
