// Helper of Framewright's end-to-end tests: writes the classic preferences
// file a test starts from, prints the one the program left, and reads the
// frame-number stamps of decoded frames.
//
//   framewright_e2e_helper write-prefs FILE [FIELD=VALUE...]
//       fields: location format fps delay trigger preview size flipH device
//               trims (all four) window (top,left,bottom,right)
//   framewright_e2e_helper read-prefs FILE
//       prints "size=N format=N fps=N delay=N flipH=N device=NAME window=T,L,B,R"
//   framewright_e2e_helper read-stamps WIDTH HEIGHT < gray8 frames
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "core/prefs/prefs_file_image.h"
#include "core/util/frame_stamp.h"
#include "core/util/types.h"
#include "luma_stamp.h"

using namespace fw;

namespace {

bool SetField(PrefsStruct& prefs, const std::string& name, const std::string& value) {
  const long number = std::strtol(value.c_str(), nullptr, 10);
  if (name == "location") {
    prefs.captureLocation = static_cast<uint8_t>(number);
  } else if (name == "format") {
    prefs.captureFormatOLD = static_cast<uint8_t>(number);
  } else if (name == "fps") {
    prefs.hundredTimesMovieFPS = static_cast<int32_t>(number);
  } else if (name == "delay") {
    prefs.ignoreFrameCount = static_cast<uint8_t>(number);
  } else if (name == "trigger") {
    prefs.captureTrigger = static_cast<uint8_t>(number);
  } else if (name == "preview") {
    prefs.previewFlag = static_cast<uint8_t>(number);
  } else if (name == "size") {
    prefs.previewSizeOLD = static_cast<int8_t>(number);
  } else if (name == "flipH") {
    prefs.flipHFlag = static_cast<uint8_t>(number);
  } else if (name == "device") {
    CopyToStr255(value, prefs.deviceNameOLD);
  } else if (name == "trims") {
    prefs.trimTop = prefs.trimLeft = prefs.trimRight = prefs.trimBottom = static_cast<int16_t>(number);
  } else if (name == "window") {
    int top = 0, left = 0, bottom = 0, right = 0;
    if (std::sscanf(value.c_str(), "%d,%d,%d,%d", &top, &left, &bottom, &right) != 4) return false;
    prefs.mainWindowSize = MySize{static_cast<int16_t>(top), static_cast<int16_t>(left),
                                  static_cast<uint16_t>(bottom), static_cast<uint16_t>(right)};
  } else {
    return false;
  }
  return true;
}

int WritePrefs(const char* path, int fieldCount, char** fields) {
  PrefsStruct prefs{};
  SetPreferencesDefaults(&prefs, ProgramFlavor::kClassic);
  for (int i = 0; i < fieldCount; ++i) {
    const std::string field = fields[i];
    const size_t equals = field.find('=');
    if (equals == std::string::npos || !SetField(prefs, field.substr(0, equals), field.substr(equals + 1))) {
      std::fprintf(stderr, "unknown field: %s\n", fields[i]);
      return 2;
    }
  }
  const std::vector<uint8_t> image = BuildPreferencesFileImage(prefs, ProgramFlavor::kClassic);
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
  return out.good() ? 0 : 1;
}

int ReadPrefs(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  PrefsStruct prefs{};
  SetPreferencesDefaults(&prefs, ProgramFlavor::kClassic);
  if (ParsePreferencesFileImage(image, ProgramFlavor::kClassic, &prefs) != noErr) return 1;
  std::printf("size=%zu format=%d fps=%d delay=%d flipH=%d device=%s window=%d,%d,%d,%d\n", image.size(),
              prefs.captureFormatOLD, prefs.hundredTimesMovieFPS, prefs.ignoreFrameCount, prefs.flipHFlag,
              Str255ToString(prefs.deviceNameOLD).c_str(), prefs.mainWindowSize.y, prefs.mainWindowSize.x,
              prefs.mainWindowSize.width, prefs.mainWindowSize.height);
  return 0;
}

int ReadStamps(long width, long height) {
  if (width < 2 || height < kFrameStampHeightPixels || width > 16384 || height > 16384) return 2;
  const size_t frameBytes = static_cast<size_t>(width) * static_cast<size_t>(height);
  std::vector<uint8_t> frame(frameBytes);
  while (std::fread(frame.data(), 1, frameBytes, stdin) == frameBytes) {
    uint32_t stamp = 0;
    if (ReadLumaStamp(frame.data(), static_cast<int>(width), &stamp))
      std::printf("%u\n", stamp);
    else
      std::printf("none\n");
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "write-prefs") == 0) return WritePrefs(argv[2], argc - 3, argv + 3);
  if (argc == 3 && std::strcmp(argv[1], "read-prefs") == 0) return ReadPrefs(argv[2]);
  if (argc == 4 && std::strcmp(argv[1], "read-stamps") == 0)
    return ReadStamps(std::strtol(argv[2], nullptr, 10), std::strtol(argv[3], nullptr, 10));
  std::fprintf(stderr, "usage: see the comment at the top of end_to_end_helper.cpp\n");
  return 2;
}
