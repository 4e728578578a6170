// The sequence grabber channel module.
#include "classic/grabber/ng_channel.h"

#include <array>
#include <cstring>
#include <memory>
#include <new>

#include "core/movie/image_descriptions.h"
#include "core/util/gworld.h"
#include "core/util/strings.h"

using namespace fw;

namespace {

struct NGChannelRecord {
  SGChannel channel = nullptr;     // owned by gGrabber
  VideoDigitizer* vdig = nullptr;  // owned by the channel; null: a free slot
  NGDataProc dataProc = nullptr;
  intptr_t dataProcRefCon = 0;
  DigitizerInfo digitizerInfo;
  Rect srcBounds;
  uint8_t isRunning = 0;
  std::unique_ptr<TimeBaseRecord> timeBase;
  std::unique_ptr<GWorld> gworld[2];
  void* bufferBase[2] = {nullptr, nullptr};
  int8_t currentBuffer = 0;
  int32_t frameBytes = 0;
  std::unique_ptr<VdigBufferRecList> bufferList;
  MatrixRecord matrix;
  uint8_t vdigType = 0;
};

using ChannelTable = std::array<NGChannelRecord, kNGChannelTableSize>;

SeqGrabComponent gGrabber;
std::unique_ptr<GWorld> gDummyGWorld;
std::unique_ptr<ChannelTable> gData;

bool IsOpen() {
  return gData != nullptr && gGrabber != nullptr;
}

// Defined below, with the classification it needs.
void FollowChannelDigitizer(NGChannelRecord& record);

// The record of a channel with a digitizer, else the code for why not.
OSErr Record(int16_t channel, NGChannelRecord** out) {
  if (!IsOpen()) return kNGNotOpenErr;
  if (channel < 0 || channel >= kNGChannelTableSize) return kNGNoDigitizerErr;
  NGChannelRecord& record = (*gData)[static_cast<size_t>(channel)];
  if (record.vdig == nullptr) return kNGNoDigitizerErr;
  FollowChannelDigitizer(record);
  *out = &record;
  return noErr;
}

bool Compresses(const NGChannelRecord& record) {
  return (record.digitizerInfo.outputCapabilityFlags & digiOutDoesCompress) != 0;
}

void RefreshDigitizerInfo(NGChannelRecord& record) {
  DigitizerInfo info;
  if (record.vdig->GetDigitizerInfo(&info) == noErr) record.digitizerInfo = info;
}

// Closing the grabber closes the channels and their digitizers before the
// buffers they grab into go with the table.
void CloseModule() {
  gGrabber.reset();
  gDummyGWorld.reset();
  gData.reset();
}

// A code given by three characters: the fourth may be anything.
bool MatchesThreeCharacters(OSType code, const char (&prefix)[5]) {
  return (code >> 8) == (FourCC(prefix) >> 8);
}

}  // namespace

uint8_t fw::ClassifyDigitizer(OSType manufacturer, OSType subType) {
  const OSType appl = FourCC("appl");
  if (manufacturer == appl && subType == FourCC("iidc")) return 1;
  if (manufacturer == appl && subType == FourCC("usbv")) return 10;
  if (subType == FourCC("ntz ")) return 5;
  if (MatchesThreeCharacters(manufacturer, "efx ") && subType == FourCC("eCpt")) return 5;
  if (MatchesThreeCharacters(manufacturer, "MST ") && subType == FourCC("MTV ")) return 4;
  if (manufacturer == FourCC("ASC ") && subType == FourCC("Dfg1")) return 7;
  if (manufacturer == appl && subType == FourCC("fire")) return 6;
  if (manufacturer == appl && subType == FourCC("tnt0")) return 8;
  if (manufacturer == FourCC("asl ") && subType > FourCC("0000") && subType <= FourCC("0064")) return 9;
  if (subType == FourCC("DCam"))
    return MatchesThreeCharacters(manufacturer, "IOx ") || MatchesThreeCharacters(manufacturer, "IOX ") ? 2
                                                                                                        : 3;
  return 0;
}

OSErr NGOpen() {
  if (IsOpen()) return noErr;
  std::unique_ptr<ChannelTable> table(new (std::nothrow) ChannelTable());
  if (!table) return memFullErr;
  SeqGrabComponent grabber;
  OSErr err = OpenSequenceGrabber(&grabber);
  if (err == noErr) err = grabber->Initialize();
  std::unique_ptr<GWorld> dummy;
  if (err == noErr) err = NewGWorld(&dummy, 32, Rect{0, 0, 1, 1}, nullptr);
  if (err != noErr) return err;  // the grabber, the world and the table go here
  (void)grabber->SetGWorld(dummy.get());
  gData = std::move(table);
  gGrabber = std::move(grabber);
  gDummyGWorld = std::move(dummy);
  return noErr;
}

void NGClose() {
  if (gData == nullptr) return;
  CloseModule();
}

OSErr NGNewVideoChannel(int16_t* outChannel) {
  OSErr err = noErr;
  if (!IsOpen()) err = NGOpen();
  if (err == noErr) {
    int16_t slot = 0;
    for (int16_t i = 1; i < kNGChannelTableSize && slot == 0; ++i)
      if ((*gData)[static_cast<size_t>(i)].vdig == nullptr) slot = i;
    if (slot == 0) {
      err = kNGNoFreeChannelErr;
    } else {
      NGChannelRecord& record = (*gData)[static_cast<size_t>(slot)];
      err = gGrabber->NewChannel(VideoMediaType, &record.channel);
      if (err == noErr) {
        record.vdig = record.channel->GetVideoDigitizerComponent();
        RefreshDigitizerInfo(record);
        record.vdigType = NGGetVDIGTypeCode(slot);
        *outChannel = slot;
        return noErr;
      }
    }
  }
  if (gData != nullptr)
    for (int i = 1; i < kNGChannelTableSize; ++i)
      if ((*gData)[static_cast<size_t>(i)].vdig != nullptr) return err;
  CloseModule();
  return err;
}

OSErr NGGetChannelDeviceList(int16_t channel, SGDeviceList* outList) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  return record->channel->GetChannelDeviceList(0, outList);
}

void NGDisposeDeviceList(SGDeviceList list) {
  if (IsOpen() && list) gGrabber->DisposeDeviceList(std::move(list));
}

OSErr NGSetChannelDevice(int16_t channel, ConstStr255Param deviceName) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  Str255 current;
  if (NGGetVDIGComponentInfo(channel, nullptr, current) == noErr && CompareStrings(current, deviceName))
    return noErr;
  if (const OSErr err = record->channel->SetChannelDevice(deviceName); err != noErr) return err;
  // The old digitizer is closed now; the record must not keep pointing at it.
  record->vdig = record->channel->GetVideoDigitizerComponent();
  if (const OSErr err = gGrabber->ChangedSource(record->channel); err != noErr) return err;
  RefreshDigitizerInfo(*record);
  record->vdigType = NGGetVDIGTypeCode(channel);
  return noErr;
}

OSErr NGGetVDIGComponentInfo(int16_t channel, ComponentDescription* outDescription, Str255 outName) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  ComponentDescription scratch;
  std::string name;
  const OSErr err =
      GetComponentInfo(record->vdig->component, outDescription != nullptr ? outDescription : &scratch,
                       outName != nullptr ? &name : nullptr);
  if (err != noErr || outName == nullptr) return err;
  // The name arrives as a Str255 in a handle; at most 64 of its bytes are
  // copied, and a longer one is cut to 63 characters.
  Str255 full;
  CopyToStr255(name, full);
  const size_t handleBytes = static_cast<size_t>(full[0]) + 1;
  std::memcpy(outName, full, handleBytes > 64 ? 64 : handleBytes);
  if (handleBytes > 64) outName[0] = 63;
  return noErr;
}

namespace {

uint8_t ClassifyDigitizerOf(const VideoDigitizer& vdig) {
  ComponentDescription description;
  if (GetComponentInfo(vdig.component, &description, nullptr) != noErr) return 0;
  return ClassifyDigitizer(description.componentManufacturer, description.componentSubType);
}

// The settings dialog switches the channel's device while it runs, and the
// channel closes the old digitizer there and then: a record still holding
// it would call into a closed component (the preview keeps polling under
// the dialog). The record follows the channel's digitizer whole, as after a
// device change, and stops asking it for frames until it is set up again.
void FollowChannelDigitizer(NGChannelRecord& record) {
  VideoDigitizer* current = record.channel->GetVideoDigitizerComponent();
  if (current == nullptr || current == record.vdig) return;
  record.vdig = current;
  RefreshDigitizerInfo(record);
  record.vdigType = ClassifyDigitizerOf(*current);
  record.isRunning = 0;
}

}  // namespace

uint8_t NGGetVDIGTypeCode(int16_t channel) {
  NGChannelRecord* record = nullptr;
  if (Record(channel, &record) != noErr) return 0;
  return ClassifyDigitizerOf(*record->vdig);
}

OSErr NGSetDataProc(int16_t channel, NGDataProc proc, intptr_t refCon) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  record->dataProc = proc;
  record->dataProcRefCon = refCon;
  return noErr;
}

OSType NGGetChannelDefaultCodec(int16_t channel) {
  NGChannelRecord* record = nullptr;
  if (Record(channel, &record) != noErr) return 0;
  if (!Compresses(*record)) return kRawCodecType;
  std::vector<VDCompressionList> types;
  if (record->vdig->GetCompressionTypes(&types) != noErr || types.empty()) return 0;
  if (record->vdigType == 5 && types.size() > 1)
    return types[1].cType == k2vuyPixelFormat ? k2vuyPixelFormat : types[0].cType;
  return types[0].cType;
}

OSErr NGGetImageDescription(int16_t channel, ImageDescriptionHandle* ioDescription) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  if (!*ioDescription) {
    ioDescription->reset(new (std::nothrow) ImageDescription());
    if (!*ioDescription) return memFullErr;
  }
  ImageDescription& description = **ioDescription;
  if (!Compresses(*record)) {
    if (!record->gworld[0]) return badCallOrderErr;
    ImageDescriptionHandle made;
    if (const OSErr err = MakeImageDescriptionForPixMap(&record->gworld[0]->pixMap, &made); err != noErr)
      return err;
    description = *made;
  } else if (const OSErr err = record->vdig->GetImageDescription(&description); err != noErr) {
    return err;
  }
  const bool yuv = IsYUVFormat(description.cType);
  if (yuv) description.depth = 16;
  if (yuv || description.cType == kRawCodecType) {
    const int32_t pixels = int32_t{description.width} * description.height;
    description.dataSize = description.depth == 40 ? pixels : pixels * description.depth / 8;
  }
  return noErr;
}

OSErr NGSettingsDialog(int16_t channel, bool includeSourcePanels) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  ComponentDescription want;
  want.componentType = SeqGrabPanelType;
  want.componentSubType = VideoMediaType;
  std::vector<Component> panels;
  for (Component c = FindNextComponent(0, want); c != 0 && panels.size() < kNGMaxSettingsPanels;
       c = FindNextComponent(c, want)) {
    ComponentDescription description;
    if (GetComponentInfo(c, &description, nullptr) != noErr) continue;
    if (description.componentManufacturer == kCompressionPanelManufacturer) continue;
    if (description.componentManufacturer == kSourcePanelManufacturer && !includeSourcePanels) continue;
    if ((description.componentFlags & channelFlagHasDependency) != 0) {
      ComponentInstance panel;
      if (OpenAComponent(c, &panel) != noErr) continue;
      const OSErr canRun = SGPanelCanRun(panel.get(), record->channel);
      panel.reset();
      if (canRun != noErr) continue;
    }
    panels.push_back(c);
  }
  if (panels.empty()) return kNGNoPanelsErr;
  const OSErr result = gGrabber->SettingsDialog(record->channel, panels, 0);
  // The user may have picked another device: the record follows it whole,
  // for a set-up on the old digitizer's capabilities would take the wrong
  // path.
  record->vdig = record->channel->GetVideoDigitizerComponent();
  RefreshDigitizerInfo(*record);
  record->vdigType = NGGetVDIGTypeCode(channel);
  return result;
}

OSErr NGSetUpChannelForCapture(int16_t channel) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  const int32_t flags = record->digitizerInfo.outputCapabilityFlags;
  if ((flags & (digiOutDoesCompress | digiOutDoesAsyncGrabs)) == 0) return kNGCannotCaptureErr;
  if (!record->timeBase) {
    record->timeBase = NewTimeBase();
    SetTimeBaseRate(record->timeBase.get(), kFixed1);
  }
  if (const OSErr err = record->channel->GetSrcVideoBounds(&record->srcBounds); err != noErr) return err;
  VideoDigitizer* vdig = record->vdig;

  if (Compresses(*record)) {
    (void)vdig->ReleaseAsyncBuffers();
    (void)vdig->SetPlayThruOnOff(false);
    (void)vdig->SetTimeBase(record->timeBase.get());
    const OSType codec = NGGetChannelDefaultCodec(channel);
    (void)vdig->SetCompressionOnOff(true);
    if (const OSErr err = vdig->SetCompression(codec, 0, &record->srcBounds, codecNormalQuality, 0, 0);
        err != noErr)
      return err;
    ImageDescription check;
    return vdig->GetImageDescription(&check);
  }

  // The digitizer lets go of the old buffers before they are freed.
  (void)vdig->ReleaseAsyncBuffers();
  (void)vdig->SetPlayThruOnOff(false);
  record->bufferList.reset();
  record->gworld[0].reset();
  record->gworld[1].reset();
  record->bufferBase[0] = record->bufferBase[1] = nullptr;
  // Without the active rectangle the buffers' matrix would scale from an
  // empty rectangle; a digitizer that cannot set its rectangle keeps its own.
  Rect active;
  if (const OSErr err = vdig->GetActiveSrcRect(0, &active); err != noErr) return err;
  (void)vdig->SetDigitizerRect(&active);
  for (int i = 0; i < 2; ++i)
    if (const OSErr err = MyNewGWorld(&record->gworld[i], 0, &record->srcBounds, nullptr); err != noErr)
      return err;
  for (int i = 0; i < 2; ++i) record->bufferBase[i] = record->gworld[i]->pixMap.baseAddr;
  record->bufferList.reset(new (std::nothrow) VdigBufferRecList());
  if (!record->bufferList) return memFullErr;
  RectMatrix(&record->matrix, &active, &record->srcBounds);
  record->bufferList->count = 2;
  record->bufferList->matrix = &record->matrix;
  for (int i = 0; i < 2; ++i) record->bufferList->list[i].dest = &record->gworld[i]->pixMap;
  record->frameBytes = int32_t{record->srcBounds.bottom} * record->gworld[0]->pixMap.rowBytes;
  return noErr;
}

OSErr NGStartOneChannel(int16_t channel) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  record->isRunning = 1;
  VideoDigitizer* vdig = record->vdig;
  if (record->vdigType == 5) (void)fNTZVDSetCapturePlaybackInterval(vdig, 0);
  if (Compresses(*record)) {
    (void)vdig->ResetCompressSequence();
    (void)VDCaptureStateChanging(vdig,
                                 vdFlagCaptureStarting | vdFlagCaptureIsForRecord | vdFlagCaptureLowLatency);
    return vdig->CompressOneFrameAsync();
  }
  record->currentBuffer = 0;
  (void)vdig->ReleaseAsyncBuffers();
  // A failed set-up leaves no buffer list; the digitizer refuses a null one.
  if (const OSErr err = vdig->SetupBuffers(record->bufferList.get()); err != noErr) return err;
  return vdig->GrabOneFrameAsync(0);
}

OSErr NGIdleChannel(int16_t channel, int16_t* ioStage) {
  // A call on a closed module or a channel number that was never made is
  // answered, not followed into memory that is not there.
  if (!IsOpen()) return kNGNotOpenErr;
  if (channel < 0 || channel >= kNGChannelTableSize) return badCallOrderErr;
  NGChannelRecord& record = (*gData)[static_cast<size_t>(channel)];
  if (record.vdig == nullptr || record.dataProc == nullptr) return badCallOrderErr;
  FollowChannelDigitizer(record);
  VideoDigitizer* vdig = record.vdig;
  const auto fail = [&](int16_t stage, OSErr err) {
    if (ioStage != nullptr) *ioStage = stage;
    return err;
  };

  if (Compresses(record)) {
    int32_t queued = 0;
    const uint8_t* data = nullptr;
    int32_t size = 0;
    uint8_t similarity = 0;
    TimeRecord time;
    if (const OSErr err = vdig->CompressDone(&queued, &data, &size, &similarity, &time); err != noErr)
      return fail(kNGStageCompressDone, err);
    while (queued > 1) {
      if (const OSErr err = vdig->ReleaseCompressBuffer(data); err != noErr)
        return fail(kNGStageReleaseSurplus, err);
      if (const OSErr err = vdig->CompressOneFrameAsync(); err != noErr)
        return fail(kNGStageRequestAfterSurplus, err);
      if (const OSErr err = vdig->CompressDone(&queued, &data, &size, &similarity, &time); err != noErr)
        return fail(kNGStageCompressDoneAgain, err);
    }
    if (queued == 0) return noErr;
    if (const OSErr err = record.dataProc(channel, data, size, &time, record.dataProcRefCon); err != noErr) {
      if (ioStage != nullptr && *ioStage == 0) *ioStage = kNGStageDataProcCompressed;
      return err;
    }
    if (const OSErr err = vdig->ReleaseCompressBuffer(data); err != noErr)
      return fail(kNGStageReleaseDelivered, err);
    if (record.isRunning != 0)
      if (const OSErr err = vdig->CompressOneFrameAsync(); err != noErr)
        return fail(kNGStageNextRequest, err);
    return noErr;
  }

  if (!vdig->Done(record.currentBuffer)) return noErr;
  const int8_t finished = record.currentBuffer;
  TimeRecord time;
  if (record.timeBase) GetTimeBaseTime(record.timeBase.get(), 0, &time);
  record.currentBuffer = finished == 0 ? 1 : 0;
  if (const OSErr err = vdig->GrabOneFrameAsync(record.currentBuffer); err != noErr)
    return fail(kNGStageNextGrab, err);
  if (const OSErr err = record.dataProc(channel, static_cast<const uint8_t*>(record.bufferBase[finished]),
                                        record.frameBytes, &time, record.dataProcRefCon);
      err != noErr)
    return fail(kNGStageDataProcRaw, err);
  return noErr;
}

OSErr NGStopOneChannel(int16_t channel) {
  NGChannelRecord* record = nullptr;
  if (const OSErr err = Record(channel, &record); err != noErr) return err;
  record->isRunning = 0;
  VideoDigitizer* vdig = record->vdig;
  (void)VDCaptureStateChanging(vdig, vdFlagCaptureStopping | vdFlagCaptureLowLatency);
  if (Compresses(*record))
    (void)vdig->SetCompressionOnOff(false);
  else
    (void)vdig->SetPlayThruOnOff(false);
  (void)vdig->ReleaseAsyncBuffers();
  return noErr;
}
