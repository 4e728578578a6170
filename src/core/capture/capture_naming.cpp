// Naming and placing capture files.
#include "core/capture/capture_naming.h"

#include <time.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "core/platform/clocks.h"
#include "core/platform/folders.h"
#include "core/util/strings.h"

using namespace fw;

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's method).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void CivilFromDays(int64_t z, int32_t* y, uint8_t* m, uint8_t* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned day = doy - (153 * mp + 2) / 5 + 1;
  const unsigned month = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int32_t>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
  *m = static_cast<uint8_t>(month);
  *d = static_cast<uint8_t>(day);
}

const int64_t kClassicEpochDays = DaysFromCivil(1904, 1, 1);

LocalDateTime FromClassicSeconds(uint32_t secs) {
  LocalDateTime t;
  CivilFromDays(kClassicEpochDays + secs / 86400, &t.year, &t.month, &t.day);
  const uint32_t inDay = secs % 86400;
  t.hour = static_cast<uint8_t>(inDay / 3600);
  t.minute = static_cast<uint8_t>(inDay / 60 % 60);
  t.second = inDay % 60;
  return t;
}

void Append(Str255 str, const char* text) {
  Str255 part;
  CopyToStr255(text, part);
  AddString(part, str);
}

void AppendTwoDigits(Str255 str, int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value % 100);
  Append(str, text);
}

}  // namespace

std::string fw::MakeCaptureFileName(const LocalDateTime& when, uint8_t dateOrdering) {
  int first = when.day, second = when.month, third = when.year;
  switch (dateOrdering) {
    case 1:
      first = when.month, second = when.day, third = when.year;
      break;
    case 2:
      first = when.year, second = when.month, third = when.day;
      break;
    case 3:
      first = when.year, second = when.day, third = when.month;
      break;
    default:
      break;
  }
  char name[96];
  std::snprintf(name, sizeof name, "Framewright %d-%d-%d %02d-%02d-%02d.mov", first, second, third, when.hour,
                when.minute, static_cast<int>(std::trunc(when.second)));
  return name;
}

OSErr fw::GetCaptureFolder(uint8_t captureLocation, std::string* outFolder) {
  switch (captureLocation) {
    case 1:
      return GetApplicationFolder(outFolder);
    case 2:
      return GetDesktopFolder(outFolder, FolderCreation::kCreateIfMissing);
    case 3:
      return GetDocumentsFolder(outFolder, FolderCreation::kCreateIfMissing);
    default:
      return paramErr;
  }
}

std::string fw::UniqueCapturePath(const std::string& folder, const std::string& name) {
  namespace fs = std::filesystem;
  const fs::path base = fs::path(folder) / name;
  std::error_code ec;
  if (!fs::exists(base, ec)) return base.string();
  const std::string stem = base.stem().string();
  const std::string extension = base.extension().string();
  for (int n = 2;; ++n) {
    fs::path candidate = fs::path(folder) / (stem + " " + std::to_string(n) + extension);
    if (!fs::exists(candidate, ec)) return candidate.string();
  }
}

uint32_t fw::ClassicSecondsOf(const LocalDateTime& when) {
  const int64_t days = DaysFromCivil(when.year, when.month, when.day) - kClassicEpochDays;
  return static_cast<uint32_t>(days * 86400 + when.hour * 3600 + when.minute * 60 +
                               static_cast<int64_t>(when.second));
}

void AddDateToString(uint32_t secs, Str255 str, uint8_t flags, uint8_t dateOrdering, bool useDash) {
  const LocalDateTime t = secs == 0 ? LocalDateTimeOf(WallClockSeconds()) : FromClassicSeconds(secs);
  const char* separator = useDash ? "-" : "/";
  const bool dayMonth = (flags & 1) != 0;
  const bool year = (flags & 2) != 0;
  auto day = [&] { AppendTwoDigits(str, t.day); };
  auto month = [&] { AppendTwoDigits(str, t.month); };
  auto yr = [&] { AppendTwoDigits(str, t.year); };
  auto sep = [&] { Append(str, separator); };

  switch (dateOrdering) {
    case 0:
    case 1:
      if (dayMonth) {
        if (dateOrdering == 0) {
          day(), sep(), month();
        } else {
          month(), sep(), day();
        }
        if (year) sep();
      }
      if (year) yr();
      break;
    case 2:
    case 3:
      if (year) {
        yr();
        if (dayMonth) sep();
      }
      if (dayMonth) {
        if (dateOrdering == 2) {
          month(), sep(), day();
        } else {
          day(), sep(), month();
        }
      }
      break;
    default:
      break;
  }

  if (flags & 4) {
    if (flags & 3) Append(str, " ");
    AppendTwoDigits(str, t.hour);
    if (!useDash) Append(str, ":");
    AppendTwoDigits(str, t.minute);
    if (flags & 8) {
      Append(str, useDash ? "-" : ":");
      AppendTwoDigits(str, static_cast<int>(t.second));
    }
  }
}
