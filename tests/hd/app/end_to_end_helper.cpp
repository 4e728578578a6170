// Helper of the end-to-end test: writes the settings file a test starts
// from, and reads the frame-number stamps of raw '2vuy' (uyvy422) frames.
//
//   hdapp_e2e_helper write-prefs FILE CAPTURE_LOCATION UNIQUE_ID [TRIGGER [INPUT]]
//   hdapp_e2e_helper read-stamps WIDTH HEIGHT < frames
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

using namespace fw;

namespace {

int WritePrefs(const char* path, long captureLocation, const char* uniqueID, long trigger, long inputNum) {
  PrefsStruct prefs;
  SetPreferencesDefaults(&prefs, ProgramFlavor::kHD);
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

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 5 && argc <= 7 && std::strcmp(argv[1], "write-prefs") == 0)
    return WritePrefs(argv[2], std::strtol(argv[3], nullptr, 10), argv[4],
                      argc > 5 ? std::strtol(argv[5], nullptr, 10) : kCaptureTriggerMouseUp,
                      argc > 6 ? std::strtol(argv[6], nullptr, 10) : 0);
  if (argc == 4 && std::strcmp(argv[1], "read-stamps") == 0)
    return ReadStamps(std::strtol(argv[2], nullptr, 10), std::strtol(argv[3], nullptr, 10));
  if (argc == 3 && std::strcmp(argv[1], "kill") == 0) {
    // On the clock of the program's hand-over log.
    const unsigned long long nanoseconds = MonotonicNanoseconds();
    if (kill(static_cast<pid_t>(std::strtol(argv[2], nullptr, 10)), SIGKILL) != 0) return 1;
    std::printf("%llu\n", nanoseconds);
    return 0;
  }
  std::fprintf(stderr,
               "usage: hdapp_e2e_helper write-prefs FILE CAPTURE_LOCATION UNIQUE_ID [TRIGGER [INPUT]]\n"
               "       hdapp_e2e_helper read-stamps WIDTH HEIGHT < frames\n"
               "       hdapp_e2e_helper kill PID\n");
  return 2;
}
