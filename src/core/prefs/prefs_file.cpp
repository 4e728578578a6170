// Reading and writing the preferences file.
#include "core/prefs/prefs_file.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "core/platform/clocks.h"
#include "core/platform/error_reporter.h"
#include "core/platform/folders.h"

using namespace fw;

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

PreferencesFileStatus gFileStatus;

bool NameIsFree(const std::string& folder, const std::string& name) {
  std::error_code ec;
  return !std::filesystem::exists(std::filesystem::symlink_status(folder + "/" + name, ec));
}

// "Framewright Preferences (unreadable 2026-12-09).bak", or with " 2", " 3"…
// before the parenthesis closes when a file of that name is already kept.
std::string FreeKeepName(const std::string& folder, PreferencesFileCondition condition) {
  const LocalDateTime today = LocalDateTimeOf(WallClockSeconds());
  char date[32];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", today.year, today.month, today.day);
  const std::string stem =
      std::string(kPreferencesFileName) + " (" +
      (condition == PreferencesFileCondition::kNewerVersion ? "newer version " : "unreadable ") + date;
  std::string name = stem + ").bak";
  for (int n = 2; !NameIsFree(folder, name) && n < 1000; ++n) name = stem + " " + std::to_string(n) + ").bak";
  return name;
}

void SetFileStatus(const FileRef& file, PreferencesFileCondition condition, OSErr readErr) {
  gFileStatus = PreferencesFileStatus{condition, readErr, {}};
  if (condition == PreferencesFileCondition::kUnreadable ||
      condition == PreferencesFileCondition::kNewerVersion)
    gFileStatus.keepName = FreeKeepName(FolderOf(file), condition);
}

OSErr ReadPreferencesFile(ProgramFlavor flavor, PrefsStruct* prefs) {
  gFileStatus = PreferencesFileStatus{};
  FileRef file;
  if (OSErr err = GetPreferencesFileRef(&file)) return err;
  int fd = kNoFile;
  // A FIFO would block the program's start for good; a device may act on
  // being opened. Neither holds settings.
  if (OSErr err = OpenRegularFileForReading(file, &fd)) {
    if (err == fnfErr) return noErr;
    SetFileStatus(
        file,
        err == notAFileErr ? PreferencesFileCondition::kNotAFile : PreferencesFileCondition::kUnreadable,
        err);
    return err;
  }

  std::vector<uint8_t> bytes(kPrefsFileMaxUsefulBytes);
  size_t readBytes = 0;
  OSErr err = ReadAtMark(fd, bytes.data(), bytes.size(), &readBytes);
  (void)CloseFile(fd);             // read-only: nothing can be lost at close
  if (err == eofErr) err = noErr;  // an empty file: the parser says what is missing
  if (err == noErr) {
    bytes.resize(readBytes);
    err = ParsePreferencesFileImage(bytes, flavor, prefs);
  }
  if (err != noErr) {
    SetFileStatus(file, PreferencesFileCondition::kUnreadable, err);
    return err;
  }
  const std::optional<int16_t> version = PreferencesFileImageVersion(bytes);
  SetFileStatus(file,
                version && *version > kPrefsFileVersion ? PreferencesFileCondition::kNewerVersion
                                                        : PreferencesFileCondition::kRead,
                noErr);
  return noErr;
}

// Before the first write over a file that could not be read, the file is
// moved aside under its keep name: the user's settings are not lost to the
// defaults. A file gone since the start leaves nothing to keep.
OSErr KeepFileThatCouldNotBeRead(const FileRef& file) {
  if (gFileStatus.keepName.empty()) return noErr;
  const std::string folder = FolderOf(file);
  if (!NameIsFree(folder, gFileStatus.keepName))
    gFileStatus.keepName = FreeKeepName(folder, gFileStatus.condition);
  FileRef kept;
  OSErr err = MakeFileRef(folder + "/" + gFileStatus.keepName, &kept);
  if (err == noErr) err = RenameFile(file, kept);
  if (err == fnfErr) err = noErr;
  if (err == noErr) gFileStatus.keepName.clear();
  return err;
}

// Only a regular file (or nothing) at the path is replaced: a rename would
// put the new file in the place of a FIFO or device someone made there.
OSErr CheckReplaceable(const FileRef& file) {
  std::error_code ec;
  const auto type = std::filesystem::status(file.path, ec).type();
  if (type == std::filesystem::file_type::not_found || type == std::filesystem::file_type::regular)
    return noErr;
  return notAFileErr;
}

// Writes the image to a temporary file beside the preferences file, forces it
// to the disk and renames it over the old file. Until the rename the old file
// is untouched, and the rename replaces it whole or not at all.
OSErr ReplacePreferencesFile(const std::vector<uint8_t>& image) {
  FileRef file;
  if (OSErr err = GetPreferencesFileRef(&file)) return err;
  if (OSErr err = CheckReplaceable(file)) return err;
  if (OSErr err = KeepFileThatCouldNotBeRead(file)) return err;
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

void fw::SetPreferencesWindowGeometrySource(PreferencesWindowGeometrySource source) {
  gGeometrySource = source;
}

void fw::SetPreferencesDeviceNameSource(PreferencesDeviceNameSource source) {
  gDeviceNameSource = source;
}

MySize fw::WindowGeometryFromRect(const Rect& r) {
  return MySize{r.top, r.left, static_cast<uint16_t>(r.bottom), static_cast<uint16_t>(r.right)};
}

Rect fw::RectFromWindowGeometry(const MySize& geometry) {
  return Rect{geometry.y, geometry.x, static_cast<int16_t>(geometry.width),
              static_cast<int16_t>(geometry.height)};
}

OSErr fw::GetPreferencesFileRef(FileRef* outFile) {
  std::string folder;
  if (OSErr err = GetPreferencesFolder(&folder)) return err;
  return MakeFileRef(folder + "/" + kPreferencesFileName, outFile);
}

std::string fw::PreferencesTempFileName() {
  return "." + std::string(kPreferencesFileName) + "." + std::to_string(::getpid()) + ".tmp";
}

OSErr ReadPreferences(ProgramFlavor flavor) {
  return Report(flavor, kPrefsReadErrorLocation, ReadPreferencesFile(flavor, &gPrefs));
}

const PreferencesFileStatus& fw::GetPreferencesFileStatus() {
  return gFileStatus;
}

std::string fw::PreferencesFileNotice(const std::string& programName) {
  FileRef file;
  const std::string path = GetPreferencesFileRef(&file) == noErr ? file.path : kPreferencesFileName;
  switch (gFileStatus.condition) {
    case PreferencesFileCondition::kUnreadable:
      return "The preferences file \"" + path + "\" could not be read (error " +
             std::to_string(gFileStatus.readErr) + "), so " + programName +
             " starts with the default settings and keeps the old file beside it as \"" +
             gFileStatus.keepName + "\" when it saves them.";
    case PreferencesFileCondition::kNewerVersion:
      return "The preferences file \"" + path + "\" was written by a newer version, so " + programName +
             " keeps it beside the new one as \"" + gFileStatus.keepName + "\" when it saves its settings.";
    case PreferencesFileCondition::kNotAFile:
      return "\"" + path + "\" is not a regular file, so " + programName +
             " starts with the default settings and does not save them there.";
    case PreferencesFileCondition::kMissing:
    case PreferencesFileCondition::kRead:
      break;
  }
  return {};
}

OSErr WritePreferences(ProgramFlavor flavor) {
  TakeWindowGeometry(flavor, &gPrefs);
  if (flavor == ProgramFlavor::kClassic) TakeDeviceName(&gPrefs);
  return Report(flavor, kPrefsWriteErrorLocation,
                ReplacePreferencesFile(BuildPreferencesFileImage(gPrefs, flavor)));
}
