// The texts of the classic program's string lists.
#include "classic/resources/string_lists.h"

#include <span>
#include <string_view>

using namespace fw;

namespace {

struct IndString {
  int16_t index;
  std::string_view text;
};

// Entries no code asks for are left out; they read as empty strings.
constexpr IndString kProgramStrings[] = {
    {kVersionPrefixStringIndex, "Version "},
    {kMovieBaseNameStringIndex, "Framewright "},
    {kDVBaseNameStringIndex, "Framewright DV "},
    // The Help menu's two items and the pages they open. An address without
    // a scheme is a page of the manual installed with the program.
    {kHelpItem1TitleStringIndex, "Framewright Manual"},
    {kHelpItem1AddressStringIndex, "manual.html#framewright"},
    {kHelpItem2TitleStringIndex, "Framewright and Framewright HD"},
    {kHelpItem2AddressStringIndex, "manual.html"},
};

// The failed task, by message index.
constexpr IndString kErrorTaskStrings[] = {
    {1, "Sorry, the video input could not be prepared for capture."},
    {2, "Sorry, no file could be chosen for the new capture."},
    {3, "Sorry, the capture file could not be written."},
    {4, "Sorry, the preferences file could not be read or saved."},
};

// Explanations of single codes.
constexpr IndString kErrorCodeStrings[] = {
    {11, "There is not enough memory."},                        // -108, -41
    {12, "The disk is full."},                                  // -34
    {13, "The file name is not valid."},                        // -37
    {14, "A file with that name already exists."},              // -48
    {15, "The folder could not be found."},                     // -120
    {16, "A part of the program's resources is missing."},      // -192
    {17, "The file is in use."},                                // -47
    {18, "A software component of the wrong kind was found."},  // -2005
    {19, "A request to the system was not valid."},             // -50
    {20, "The video compressor could not be opened."},          // -8973
    {21, "The file could not be found."},                       // -43
    {23, "No video compressor is available for this format."},  // -8961
    {25, "No movie was found in the file."},                    // -2048
    {26, "The video compressor reported a problem."},           // -8960
};

// Explanations of ranges of codes.
constexpr IndString kErrorRangeStrings[] = {
    {1, "A problem occurred with the disk or with a file on it."},  // -61 to -33
    {2, "A folder or a file could not be found."},                  // -127 to -120, -1305 to -1300
    {3, "The program's resources could not be read."},              // -199 to -185
    {4, "A problem occurred with the sound hardware."},             // -232 to -200
    {5, "Another program could not be reached."},                   // -1719 to -1700
    {6, "There is not enough memory, or memory is damaged."},       // -117 to -108
    {7, "A problem occurred with the movie or the video input."},   // -2209 to -2000
};

std::span<const IndString> FindList(int16_t listID) {
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
  for (const IndString& entry : FindList(listID)) {
    if (entry.index == index) {
      CopyToStr255(entry.text, out);
      return;
    }
  }
  out[0] = 0;
}
