// The two programs' entry points for finishing a capture file: each gathers
// what the movie needs from its own state and hands it to the movie assembly.
#include "core/capture/capture_movie.h"

#include "core/capture/capture_records.h"
#include "core/platform/error_reporter.h"
#include "core/prefs/prefs_struct.h"

using namespace fw;

OSErr addMovieResourceToFile(const FileRef* file, int32_t frameDataSize, int32_t frameCount) {
  if (gInput == nullptr || !gInput->imageDescription) return kNoVideoInputForMovieErr;
  ImageDescription* description = gInput->imageDescription.get();
  description->resvd1 = 0;
  description->resvd2 = 0;
  description->dataRefIndex = 0;

  MovieRequest r;
  r.flavor = ProgramFlavor::kHD;
  r.file = file;
  r.frameDataSize = frameDataSize;
  r.frameCount = frameCount;
  r.width = gInput->trimmedWidth;
  r.height = gInput->trimmedHeight;
  r.description = description;
  r.timeScale = gPrefs.hundredTimesMovieFPS;
  r.setMatrix = gPrefs.flipHFlag != 0 || gPrefs.flipVFlag != 0;
  r.matrix = FlipMatrix(gPrefs.flipHFlag != 0, gPrefs.flipVFlag != 0);
  MovieFailure failure;
  return AppendMovieResource(r, &failure);
}

OSErr AddMovieResourceToFile2(const FileRef* file, int32_t frameDataSize, int32_t frameCount,
                              ClassicCaptureSource& source) {
  ImageDescriptionHandle description;
  OSErr err = source.GetImageDescription(&description);
  if (err == noErr && !description) err = paramErr;
  if (err != noErr) {
    ReportClassicError(kClassicMovieErrorMessage, kLocationImageDescription, err);
    return err;
  }

  const Rect grabber = source.GrabberRect();
  MovieRequest r;
  r.flavor = ProgramFlavor::kClassic;
  r.file = file;
  r.frameDataSize = frameDataSize;
  r.frameCount = frameCount;
  r.width = static_cast<uint16_t>(grabber.right);
  r.height = static_cast<uint16_t>(grabber.bottom);
  r.description = description.get();
  r.timeScale = gPrefs.hundredTimesMovieFPS;
  r.setMatrix = gPrefs.flipHFlag != 0 || gPrefs.flipVFlag != 0;
  r.matrix = FlipMatrix(gPrefs.flipHFlag != 0, gPrefs.flipVFlag != 0);
  if (gPrefs.trimTop != 0 || gPrefs.trimLeft != 0 || gPrefs.trimRight != 0 || gPrefs.trimBottom != 0) {
    r.setClip = true;
    r.clip.left = static_cast<int16_t>(grabber.left + gPrefs.trimLeft);
    r.clip.top = static_cast<int16_t>(grabber.top + gPrefs.trimTop);
    r.clip.right = static_cast<int16_t>(grabber.right - gPrefs.trimRight);
    r.clip.bottom = static_cast<int16_t>(grabber.bottom - gPrefs.trimBottom);
  }
  MovieFailure failure;
  err = AppendMovieResource(r, &failure);
  if (err != noErr) ReportClassicError(kClassicMovieErrorMessage, failure.location, err);
  return err;
}
