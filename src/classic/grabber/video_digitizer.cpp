// Digitizer calls shared by every digitizer, time bases and rectangle matrices.
#include "classic/grabber/video_digitizer.h"

#include "core/platform/clocks.h"

using namespace fw;

OSErr fw::VideoDigitizer::GetInputName(int16_t input, std::string* outName) {
  int16_t count = 0;
  if (const OSErr err = GetNumberOfInputs(&count); err != noErr) return err;
  if (input < 0 || input >= count) return paramErr;
  outName->clear();
  return noErr;
}

OSErr VDCaptureStateChanging(VideoDigitizer* digitizer, uint32_t flags) {
  return digitizer->CallComponentDispatch(kVDCaptureStateChangingSelect, flags);
}

OSErr fNTZVDSetCapturePlaybackInterval(VideoDigitizer* digitizer, uint32_t interval) {
  return digitizer->CallComponentDispatch(kNTZVDSetCapturePlaybackIntervalSelect, interval);
}

std::unique_ptr<TimeBaseRecord> NewTimeBase() {
  auto base = std::make_unique<TimeBaseRecord>();
  base->startNanoseconds = MonotonicNanoseconds();
  return base;
}

void SetTimeBaseRate(TimeBase base, Fixed rate) {
  // The time shown so far is kept; from now on it runs at the new rate.
  TimeRecord now;
  GetTimeBaseTime(base, 1000000000, &now);
  base->rate = rate;
  if (rate != 0)
    base->startNanoseconds =
        MonotonicNanoseconds() - static_cast<uint64_t>(now.value * kFixed1 / static_cast<int64_t>(rate));
}

void fw::GetTimeBaseTimeAt(TimeBase base, uint64_t monotonicNanoseconds, TimeScale scale, TimeRecord* out) {
  if (scale <= 0) scale = 600;
  const int64_t elapsed = static_cast<int64_t>(monotonicNanoseconds - base->startNanoseconds);
  // 128-bit intermediate: nanoseconds × rate × scale outgrows 64 bits.
  const __int128 value = static_cast<__int128>(elapsed) * base->rate / kFixed1 * scale / 1000000000;
  out->value = static_cast<int64_t>(value);
  out->scale = scale;
  out->base = base;
}

void GetTimeBaseTime(TimeBase base, TimeScale scale, TimeRecord* out) {
  GetTimeBaseTimeAt(base, MonotonicNanoseconds(), scale, out);
}
