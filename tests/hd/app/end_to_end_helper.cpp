// Helper of the end-to-end test: writes the settings file a test starts
// from, and reads the frame-number stamps of raw '2vuy' (uyvy422) frames
// and of the capture window's picture on the screen.
//
//   hdapp_e2e_helper write-prefs FILE CAPTURE_LOCATION UNIQUE_ID [TRIGGER [INPUT [HUNDRED_TIMES_FPS]]]
//   hdapp_e2e_helper read-stamps WIDTH HEIGHT < frames
//   hdapp_e2e_helper screen-stamp WINDOW_WIDTH WINDOW_HEIGHT IMAGE_WIDTH IMAGE_HEIGHT < gray
//     (a capture window's screenshot as 8-bit grey, at least down to the
//     stamp; prints the stamp's number, or "none", then the grey of its
//     34 cells)
//   hdapp_e2e_helper kill PID   (SIGKILL; prints the monotonic nanoseconds just before it)
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "core/platform/clocks.h"
#include "core/prefs/prefs_file_image.h"
#include "core/util/frame_stamp.h"
#include "core/util/rects.h"

using namespace fw;

namespace {

int WritePrefs(const char* path, long captureLocation, const char* uniqueID, long trigger, long inputNum,
               long hundredTimesFPS) {
  PrefsStruct prefs;
  SetPreferencesDefaults(&prefs, ProgramFlavor::kHD);
  if (hundredTimesFPS > 0) prefs.hundredTimesMovieFPS = static_cast<int32_t>(hundredTimesFPS);
  prefs.captureLocation = static_cast<uint8_t>(captureLocation);
  prefs.captureTrigger = static_cast<uint8_t>(trigger);
  prefs.inputNum = static_cast<int16_t>(inputNum);
  std::strncpy(prefs.uniqueID, uniqueID, sizeof prefs.uniqueID - 1);
  const std::vector<uint8_t> image = BuildPreferencesFileImage(prefs, ProgramFlavor::kHD);
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) {
    std::perror(path);
    return 1;
  }
  const bool written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
  if (std::fclose(file) != 0 || !written) {
    std::perror(path);
    return 1;
  }
  return 0;
}

int ReadStamps(long width, long height) {
  if (width < 2 || height < 1 || width > 16384 || height > 16384) return 2;
  const size_t frameBytes = static_cast<size_t>(width) * 2 * static_cast<size_t>(height);
  std::vector<uint8_t> frame(frameBytes);
  while (std::fread(frame.data(), 1, frameBytes, stdin) == frameBytes) {
    uint32_t stamp = 0;
    if (ReadFrameStamp(frame.data(), static_cast<int32_t>(width * 2), static_cast<int>(width),
                       static_cast<int>(height), &stamp))
      std::printf("%u\n", stamp);
    else
      std::printf("none\n");
  }
  return 0;
}

// The stamp as the capture window shows it: the picture fitted into the
// window below its 70-pixel bar with 10 pixels at the sides, each cell's
// grey sampled at its centre. A cell is read only when clearly dark or
// light; a picture laid over another at half weight gives cells in between.
int ScreenStamp(long windowWidth, long windowHeight, long imageWidth, long imageHeight) {
  if (windowWidth < 40 || windowHeight < 80 || windowWidth > 8192 || windowHeight > 8192 ||
      imageWidth < 280 || imageHeight < 16 || imageWidth > 8192 || imageHeight > 8192)
    return 2;
  // The rows down to the stamp's are enough (a screenshot may be cut below).
  std::vector<uint8_t> grey(static_cast<size_t>(windowWidth) * static_cast<size_t>(windowHeight));
  const size_t given = std::fread(grey.data(), 1, grey.size(), stdin);
  Rect image{0, 0, static_cast<int16_t>(imageHeight), static_cast<int16_t>(imageWidth)};
  Rect area{70, 10, static_cast<int16_t>(windowHeight), static_cast<int16_t>(windowWidth - 10)};
  FitAndCenterRectInRect(&image, &area);
  const double scale = static_cast<double>(image.right - image.left) / static_cast<double>(imageWidth);
  uint32_t number = 0;
  bool readable = true;
  std::string cells;
  for (int cell = 0; cell < 34; ++cell) {
    const long x = image.left + static_cast<long>((12 + 8 * cell) * scale);
    const long y = image.top + static_cast<long>(12 * scale);
    if (static_cast<size_t>(y + 1) * static_cast<size_t>(windowWidth) > given) return 1;
    const int value =
        grey[static_cast<size_t>(y) * static_cast<size_t>(windowWidth) + static_cast<size_t>(x)];
    cells += " " + std::to_string(value);
    const bool light = value >= 168, dark = value <= 88;
    if (!light && !dark) readable = false;
    if (cell < 32 && light) number |= 1u << cell;
    if ((cell == 32 && !light) || (cell == 33 && !dark)) readable = false;
  }
  std::printf("%s%s\n", readable ? std::to_string(number).c_str() : "none", cells.c_str());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && argc <= 8 && std::strcmp(argv[1], "write-prefs") == 0)
    return WritePrefs(argv[2], std::strtol(argv[3], nullptr, 10), argv[4],
                      argc > 5 ? std::strtol(argv[5], nullptr, 10) : kCaptureTriggerMouseUp,
                      argc > 6 ? std::strtol(argv[6], nullptr, 10) : 0,
                      argc > 7 ? std::strtol(argv[7], nullptr, 10) : 0);
  if (argc == 6 && std::strcmp(argv[1], "screen-stamp") == 0)
    return ScreenStamp(std::strtol(argv[2], nullptr, 10), std::strtol(argv[3], nullptr, 10),
                       std::strtol(argv[4], nullptr, 10), std::strtol(argv[5], nullptr, 10));
  if (argc == 4 && std::strcmp(argv[1], "read-stamps") == 0)
    return ReadStamps(std::strtol(argv[2], nullptr, 10), std::strtol(argv[3], nullptr, 10));
  if (argc == 3 && std::strcmp(argv[1], "kill") == 0) {
    // On the clock of the program's hand-over log.
    const unsigned long long nanoseconds = MonotonicNanoseconds();
    if (kill(static_cast<pid_t>(std::strtol(argv[2], nullptr, 10)), SIGKILL) != 0) return 1;
    std::printf("%llu\n", nanoseconds);
    return 0;
  }
  std::fprintf(
      stderr,
      "usage: hdapp_e2e_helper write-prefs FILE CAPTURE_LOCATION UNIQUE_ID [TRIGGER [INPUT "
      "[HUNDRED_TIMES_FPS]]]\n"
      "       hdapp_e2e_helper read-stamps WIDTH HEIGHT < frames\n"
      "       hdapp_e2e_helper screen-stamp WINDOW_WIDTH WINDOW_HEIGHT IMAGE_WIDTH IMAGE_HEIGHT < grey\n"
      "       hdapp_e2e_helper kill PID\n");
  return 2;
}
