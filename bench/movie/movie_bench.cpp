// Finishing a capture of N frames: AppendMovieResource on a capture file of
// N 1080p frames (a sparse file, so no frame byte is written or read),
// against the baseline of the same movie resource built in memory with one
// sample reference per frame, as each frame used to be added.
//
//   BM_BuildFrameByFrame  the movie built sample by sample and serialised
//   BM_AppendMovieResource the whole finish: build, serialise, self
//                         reference, header and resource written to the file
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "core/movie/image_descriptions.h"
#include "core/movie/mdat_header.h"
#include "core/movie/movie.h"
#include "core/movie/movie_resource.h"
#include "core/platform/files.h"
#include "core/util/pixmap.h"

using namespace fw;

namespace {

constexpr int kWidth = 1920;
constexpr int kHeight = 1080;
constexpr int32_t kFrameBytes = kWidth * kHeight * 2;

struct Input {
  PixMapHandle pixMap;
  ImageDescriptionHandle description;
  Input() {
    if (MyNewPixMapWithoutStorage(k2vuyPixelFormat, Rect{0, 0, kHeight, kWidth}, kWidth * 2, &pixMap) !=
            noErr ||
        MakeImageDescriptionForPixMap(pixMap.get(), &description) != noErr)
      std::abort();
  }
};

void BM_BuildFrameByFrame(benchmark::State& state) {
  const Input input;
  const auto frames = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    Movie movie;
    Track track = nullptr;
    Media media = nullptr;
    if (movie.NewTrack(kWidth << 16, kHeight << 16, 0, &track) != noErr ||
        track->NewMedia(FourCC("vide"), 1800, &media) != noErr)
      std::abort();
    for (int32_t i = 0; i < frames; ++i) {
      if (media->AddSampleReferences(16 + uint64_t(i) * kFrameBytes, kFrameBytes, 1, 100, *input.description,
                                     SampleSync::kSync) != noErr)
        std::abort();
    }
    if (track->InsertMedia(-1, 0, media->DurationTicks(), kFixed1) != noErr) std::abort();
    std::vector<uint8_t> resource;
    if (movie.Serialise(&resource) != noErr) std::abort();
    benchmark::DoNotOptimize(resource.data());
  }
}

void BM_AppendMovieResource(benchmark::State& state) {
  const Input input;
  const auto frames = static_cast<int32_t>(state.range(0));
  const char* tmp = std::getenv("TMPDIR");
  FileRef file;
  if (MakeFileRef(
          std::string(tmp != nullptr ? tmp : "/tmp") + "/movie_bench." + std::to_string(getpid()) + ".mov",
          &file) != noErr)
    std::abort();
  static const uint8_t kPlaceholder[kMdatHeaderSizeBytes] = {0, 0, 0, 8, 'w', 'i', 'd', 'e',
                                                             0, 0, 0, 0, 'm', 'd', 'a', 't'};
  MovieRequest r;
  r.file = &file;
  r.frameDataSize = kFrameBytes;
  r.frameCount = frames;
  r.width = kWidth;
  r.height = kHeight;
  r.description = input.description.get();
  r.timeScale = 1800;
  for (auto _ : state) {
    state.PauseTiming();
    // A fresh capture file each time: the placeholder header, the frames a hole.
    int fd = kNoFile;
    if (CreateEmptyFile(file) != noErr || OpenFile(file, OpenMode::kReadWrite, &fd) != noErr ||
        WriteAtMark(fd, kPlaceholder, sizeof kPlaceholder) != noErr ||
        TruncateFile(fd, kMdatHeaderSizeBytes + uint64_t(frames) * kFrameBytes) != noErr ||
        CloseFile(fd) != noErr)
      std::abort();
    state.ResumeTiming();
    MovieFailure failure;
    if (AppendMovieResource(r, &failure) != noErr) std::abort();
  }
  ::unlink(file.path.c_str());
}

BENCHMARK(BM_BuildFrameByFrame)->Arg(1'000'000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_AppendMovieResource)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
