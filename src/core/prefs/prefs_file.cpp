// Reading and writing the preferences file.
#include "core/prefs/prefs_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/platform/error_reporter.h"
#include "core/platform/folders.h"

namespace {

PreferencesWindowGeometrySource gGeometrySource = nullptr;
PreferencesDeviceNameSource gDeviceNameSource = nullptr;

OSErr Report(ProgramFlavor flavor, int32_t location, OSErr err) {
  if (err != noErr && flavor == ProgramFlavor::kClassic)
    ReportClassicError(kPrefsErrorMessageIndex, location, err);
  return err;
}

void TakeWindowGeometry(ProgramFlavor flavor, PrefsStruct* prefs) {
  MySize geometry{};
  const bool present = gGeometrySource != nullptr && gGeometrySource(&geometry);
  if (present) {
    prefs->mainWindowSize = geometry;
  } else if (flavor == ProgramFlavor::kHD) {
    prefs->mainWindowSize = MySize{};
  }
}

void TakeDeviceName(PrefsStruct* prefs) {
  Str255 name{};
  if (gDeviceNameSource == nullptr || !gDeviceNameSource(name)) return;
  // The field holds 63 characters; a longer name is cut rather than spilled
  // into the fields behind it. Stale bytes of a longer old name are cleared.
  const size_t chars = std::min<size_t>(name[0], sizeof(prefs->deviceNameOLD) - 1);
  std::memset(prefs->deviceNameOLD, 0, sizeof(prefs->deviceNameOLD));
  prefs->deviceNameOLD[0] = static_cast<uint8_t>(chars);
  std::memcpy(prefs->deviceNameOLD + 1, name + 1, chars);
}

OSErr ReadPreferencesFile(ProgramFlavor flavor, PrefsStruct* prefs) {
  FileRef file;
  if (OSErr err = GetPreferencesFileRef(&file)) return err;
  int fd = kNoFile;
  if (OSErr err = OpenFile(file, OpenMode::kReadOnly, &fd)) return err == fnfErr ? noErr : err;

  std::vector<uint8_t> bytes(kPrefsFileMaxUsefulBytes);
  size_t readBytes = 0;
  OSErr err = ReadAtMark(fd, bytes.data(), bytes.size(), &readBytes);
  (void)CloseFile(fd);             // read-only: nothing can be lost at close
  if (err == eofErr) err = noErr;  // an empty file: the parser says what is missing
  if (err != noErr) return err;
  bytes.resize(readBytes);
  return ParsePreferencesFileImage(bytes, flavor, prefs);
}

// Writes the image to a temporary file beside the preferences file, forces it
// to the disk and renames it over the old file. Until the rename the old file
// is untouched, and the rename replaces it whole or not at all.
OSErr ReplacePreferencesFile(const std::vector<uint8_t>& image) {
  FileRef file;
  if (OSErr err = GetPreferencesFileRef(&file)) return err;
  FileRef temp;
  if (OSErr err = MakeFileRef(FolderOf(file) + "/" + PreferencesTempFileName(), &temp)) return err;

  if (OSErr err = CreateEmptyFile(temp)) return err;
  int fd = kNoFile;
  OSErr err = OpenFile(temp, OpenMode::kReadWrite, &fd);
  if (err == noErr) {
    err = WriteAtMark(fd, image.data(), image.size());
    if (err == noErr) err = SyncFileData(fd);
    OSErr closeErr = CloseFile(fd);
    if (err == noErr) err = closeErr;
  }
  if (err == noErr) err = RenameFile(temp, file);
  if (err != noErr) (void)DeleteFile(temp);  // the first error is the one to report
  return err;
}

}  // namespace

void SetPreferencesWindowGeometrySource(PreferencesWindowGeometrySource source) {
  gGeometrySource = source;
}

void SetPreferencesDeviceNameSource(PreferencesDeviceNameSource source) {
  gDeviceNameSource = source;
}

MySize WindowGeometryFromRect(const Rect& r) {
  return MySize{r.top, r.left, static_cast<uint16_t>(r.bottom), static_cast<uint16_t>(r.right)};
}

Rect RectFromWindowGeometry(const MySize& geometry) {
  return Rect{geometry.y, geometry.x, static_cast<int16_t>(geometry.width),
              static_cast<int16_t>(geometry.height)};
}

OSErr GetPreferencesFileRef(FileRef* outFile) {
  std::string folder;
  if (OSErr err = GetPreferencesFolder(&folder)) return err;
  return MakeFileRef(folder + "/" + kPreferencesFileName, outFile);
}

std::string PreferencesTempFileName() {
  return "." + std::string(kPreferencesFileName) + "." + std::to_string(::getpid()) + ".tmp";
}

OSErr ReadPreferences(ProgramFlavor flavor) {
  return Report(flavor, kPrefsReadErrorLocation, ReadPreferencesFile(flavor, &gPrefs));
}

OSErr WritePreferences(ProgramFlavor flavor) {
  TakeWindowGeometry(flavor, &gPrefs);
  if (flavor == ProgramFlavor::kClassic) TakeDeviceName(&gPrefs);
  return Report(flavor, kPrefsWriteErrorLocation,
                ReplacePreferencesFile(BuildPreferencesFileImage(gPrefs, flavor)));
}
