// fwmov: prints the structure of a movie file as JSON (atoms, time scales,
// sample tables, data references, sample descriptions, matrices), to check
// what the capture programs wrote. A file that is not a well-formed movie
// gets one line on stderr saying why, and exit status 1.
#include <cstdio>
#include <cstring>
#include <string>

#include "core/movie/movie_json.h"
#include "core/movie/movie_reader.h"
#include "core/platform/files.h"

using namespace fw;

namespace {

const char* Explain(OSErr err) {
  switch (err) {
    case fnfErr:
      return "no such file";
    case permErr:
      return "permission denied";
    case dirNFErr:
      return "a folder in the path does not exist";
    default:
      return "cannot read it";
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fprintf(argc == 2 ? stdout : stderr,
                 "usage: fwmov FILE\nPrints the structure of a movie file as JSON.\n");
    return argc == 2 ? 0 : 2;
  }
  const std::string name = argv[1];
  FileRef ref;
  int fd = kNoFile;
  OSErr err = MakeFileRef(name, &ref);
  if (err == noErr) err = OpenFile(ref, OpenMode::kReadOnly, &fd);
  if (err != noErr) {
    std::fprintf(stderr, "fwmov: %s: %s (error %d)\n", name.c_str(), Explain(err), err);
    return 1;
  }
  uint64_t sizeBytes = 0;
  err = GetFileSizeBytes(fd, &sizeBytes);
  if (err != noErr) {
    std::fprintf(stderr, "fwmov: %s: %s (error %d)\n", name.c_str(), Explain(err), err);
    (void)CloseFile(fd);  // read-only: nothing can be lost at close
    return 1;
  }
  FileByteSource source(fd, sizeBytes);
  MovieFileInfo info;
  std::string problem;
  err = ReadMovieFile(source, &info, &problem);
  (void)CloseFile(fd);  // read-only: nothing can be lost at close
  if (err != noErr) {
    std::fprintf(stderr, "fwmov: %s: not a well-formed movie: %s\n", name.c_str(), problem.c_str());
    return 1;
  }
  const std::string json = MovieFileInfoToJson(info, name);
  if (std::fwrite(json.data(), 1, json.size(), stdout) != json.size() || std::fflush(stdout) != 0) {
    std::fprintf(stderr, "fwmov: cannot write the output\n");
    return 1;
  }
  return 0;
}
