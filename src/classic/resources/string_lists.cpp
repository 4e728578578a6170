// The texts of the classic program's string lists.
#include "resources/string_lists.h"

#include <array>
#include <span>
#include <string_view>

namespace {

// An empty entry is a hole in the list: no code asks for it.
constexpr std::array<std::string_view, 4> kProgramStrings{{
    "Version ",
    "",
    "Framewright ",
    "Framewright DV ",
}};

// The failed task, by message index.
constexpr std::array<std::string_view, 4> kErrorTaskStrings{{
    "Sorry, the video input could not be prepared for capture.",
    "Sorry, no file could be chosen for the new capture.",
    "Sorry, the capture file could not be written.",
    "Sorry, the preferences file could not be read or saved.",
}};

// Explanations of single codes; 1 to 10, 22 and 24 are not used.
constexpr std::array<std::string_view, 26> kErrorCodeStrings{{
    "", "", "", "", "", "", "", "", "", "",
    "There is not enough memory.",                                 // 11: -108, -41
    "The disk is full.",                                           // 12: -34
    "The file name is not valid.",                                 // 13: -37
    "A file with that name already exists.",                       // 14: -48
    "The folder could not be found.",                              // 15: -120
    "A part of the program's resources is missing.",               // 16: -192
    "The file is in use.",                                         // 17: -47
    "A software component of the wrong kind was found.",           // 18: -2005
    "A request to the system was not valid.",                      // 19: -50
    "The video compressor could not be opened.",                   // 20: -8973
    "The file could not be found.",                                // 21: -43
    "",
    "No video compressor is available for this format.",           // 23: -8961
    "",
    "No movie was found in the file.",                             // 25: -2048
    "The video compressor reported a problem.",                    // 26: -8960
}};

// Explanations of ranges of codes.
constexpr std::array<std::string_view, 7> kErrorRangeStrings{{
    "A problem occurred with the disk or with a file on it.",   // -61 to -33
    "A folder or a file could not be found.",                   // -127 to -120, -1305 to -1300
    "The program's resources could not be read.",               // -199 to -185
    "A problem occurred with the sound hardware.",              // -232 to -200
    "Another program could not be reached.",                    // -1719 to -1700
    "There is not enough memory, or memory is damaged.",        // -117 to -108
    "A problem occurred with the movie or the video input.",    // -2209 to -2000
}};

std::span<const std::string_view> FindList(int16_t listID) {
  switch (listID) {
    case kProgramStringListID:
      return kProgramStrings;
    case kErrorTaskStringListID:
      return kErrorTaskStrings;
    case kErrorCodeStringListID:
      return kErrorCodeStrings;
    case kErrorRangeStringListID:
      return kErrorRangeStrings;
    default:
      return {};
  }
}

}  // namespace

void GetIndString(Str255 out, int16_t listID, int16_t index) {
  std::span<const std::string_view> list = FindList(listID);
  if (index < 1 || static_cast<size_t>(index) > list.size()) {
    out[0] = 0;
    return;
  }
  CopyToStr255(list[static_cast<size_t>(index) - 1], out);
}
