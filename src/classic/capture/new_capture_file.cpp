// The classic program's capture file names and places.
#include "classic/capture/new_capture_file.h"

#include "classic/resources/string_lists.h"
#include "core/capture/capture_naming.h"
#include "core/prefs/prefs_struct.h"
#include "core/util/strings.h"

using namespace fw;

namespace {

PutFileDialog* gPutFileDialog = nullptr;

// Date, hour, minute and seconds, with dashes: file names allow no slashes.
constexpr uint8_t kDateAndTimeFlags = 15;

}  // namespace

void fw::SetPutFileDialog(PutFileDialog* dialog) {
  gPutFileDialog = dialog;
}

OSErr GetFileSpecForNewCapture(FileRef* outSpec) {
  const bool movieFormat = gPrefs.captureFormatOLD == 0;
  Str255 name;
  GetIndString(name, kProgramStringListID, movieFormat ? kMovieBaseNameStringIndex : kDVBaseNameStringIndex);
  AddDateToString(0, name, kDateAndTimeFlags, gPrefs.dateOrdering, true);
  Str255 extension;
  CopyToStr255(movieFormat ? ".mov" : ".dv", extension);
  AddString(extension, name);
  const std::string fileName = Str255ToString(name);

  std::string folder;
  const OSErr folderErr = GetCaptureFolder(gPrefs.captureLocation, &folder);
  if (folderErr == noErr) return MakeFileRef(UniqueCapturePath(folder, fileName), outSpec);
  if (folderErr != paramErr) return folderErr;

  if (gPutFileDialog == nullptr) return paramErr;
  FileRef chosen;
  bool replacing = false;
  const OSErr err = gPutFileDialog->AskForFile(fileName, &chosen, &replacing);
  if (err != noErr) return err;
  *outSpec = chosen;
  // The user agreed to replace the file: it goes now, and a failure to
  // remove it is the answer.
  if (replacing) return DeleteFile(chosen);
  return noErr;
}
