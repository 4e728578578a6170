// fwbench as a program: one JSON object on stdout for a capture whose movie
// real readers accept frame for frame, the same frames raw for the
// comparisons, a usage message and status 2 for a bad command line, the
// capture's error and status 1 for a failed capture.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "core/util/frame_stamp.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

using namespace fw;

namespace {

struct BenchRun {
  int status = -1;
  std::string out;  // stdout
  std::string err;  // stderr
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class FwbenchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"jq", "ffprobe", "ffmpeg"})
      ASSERT_EQ(RunCommand(std::string("command -v ") + tool + " >/dev/null").status, 0)
          << tool << " is missing; run scripts/install-deps";
  }

  // Runs fwbench with `arguments` (already quoted where needed), under bash
  // so a test may set limits first, and never for more than a minute.
  BenchRun Fwbench(const std::string& arguments, const std::string& before = "") {
    const std::string errFile = dir_.file("stderr.txt");
    const std::string script = before + "exec timeout 60 " + std::string(FWBENCH_PATH) + " " + arguments;
    const CommandResult r = RunCommand("bash -c " + Quote(script) + " 2>" + Quote(errFile));
    return {r.status, r.out, ReadFile(errFile)};
  }

  // A jq filter on fwbench's JSON output; jq's own output, compact.
  std::string Jq(const std::string& json, const std::string& filter) {
    const std::string file = dir_.file("out.json");
    std::ofstream(file, std::ios::binary) << json;
    const CommandResult r = RunCommand("jq -e -c " + Quote(filter) + " " + Quote(file));
    return r.status == 0 ? r.out.substr(0, r.out.find_last_not_of('\n') + 1) : "<jq failed: " + json + ">";
  }

  std::string Movie(const std::string& name) const { return dir_.file(name); }

  TempDir dir_;
};

// ffprobe's frame count, codec tag, size and rate of the first video stream.
std::string Probe(const std::string& path) {
  const CommandResult r = RunCommand(
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "stream=nb_read_frames,codec_tag_string,width,height,r_frame_rate -of csv=p=0 " +
      Quote(path));
  return r.status == 0 ? r.out.substr(0, r.out.find('\n')) : "<ffprobe failed>";
}

std::string FwmovSampleCount(const std::string& path) {
  const CommandResult r =
      RunCommand(std::string(FWMOV_PATH) + " " + Quote(path) + " | jq -e '.tracks[0].sampleCount'");
  return r.status == 0 ? r.out.substr(0, r.out.find('\n')) : "<fwmov refused it>";
}

TEST_F(FwbenchTest, CapturesEveryFrameIntoAMovieThatRealReadersAccept) {
  const std::string movie = Movie("fast.mov");
  const BenchRun run = Fwbench("--width 320 --height 240 --frames 25 --fps100 2500 --out " + Quote(movie));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(Jq(run.out, "[.frames, .frameBytes, .bytes, .hundredTimesMovieFPS, .rateFramesPerSecond]"),
            "[25,153600,3840000,2500,null]");
  EXPECT_EQ(Jq(run.out,
               "[.seconds, .framesPerSecond, .megabytesPerSecond, .writeDataMicroseconds.median, "
               ".writeDataMicroseconds.p99, .writeDataMicroseconds.max, .diskWait.totalMilliseconds, "
               ".movieResourceFinishMilliseconds] | map(type == \"number\" and . >= 0) | all"),
            "true");
  EXPECT_EQ(Jq(run.out, ".writeDataMicroseconds | .median <= .p99 and .p99 <= .max"), "true");
  EXPECT_EQ(Jq(run.out, "[.diskWait.overFramePeriod, .framesLate]"), "[null,null]") << "not paced";
  // The file is exactly the header, the frames and the movie resource.
  EXPECT_EQ(Jq(run.out, "16 + .bytes + .movieResourceBytes == .fileBytes"), "true");
  EXPECT_EQ(Jq(run.out, ".fileBytes"), std::to_string(std::filesystem::file_size(movie)));

  EXPECT_EQ(FwmovSampleCount(movie), "25");
  EXPECT_EQ(Probe(movie), "2vuy,320,240,25/1,25");

  // Frame for frame what --emit-raw gives the other tools, each stamped
  // with its number.
  const CommandResult decoded =
      RunCommand("ffmpeg -v error -i " + Quote(movie) + " -f rawvideo -pix_fmt uyvy422 -");
  const BenchRun raw = Fwbench("--width 320 --height 240 --frames 25 --emit-raw -");
  ASSERT_EQ(raw.status, 0) << raw.err;
  ASSERT_EQ(raw.out.size(), 25u * 153600);
  EXPECT_TRUE(decoded.out == raw.out) << "the movie's frames differ from the raw frames";
  std::vector<uint32_t> stamps;
  for (size_t at = 0; at + 153600 <= raw.out.size(); at += 153600) {
    uint32_t n = 0;
    const auto* frame = reinterpret_cast<const uint8_t*>(raw.out.data() + at);
    stamps.push_back(ReadFrameStamp(frame, 640, 320, 240, &n) ? n : 0);
  }
  std::vector<uint32_t> expected;
  for (uint32_t n = 1; n <= 25; ++n) expected.push_back(n);
  EXPECT_EQ(stamps, expected);
}

TEST_F(FwbenchTest, PacedRunsTellTheirWaitsAndGiveTheMovieTheDeviceRate) {
  const std::string movie = Movie("paced.mov");
  const BenchRun run = Fwbench("--width 320 --height 240 --frames 12 --rate 100 --out " + Quote(movie));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Jq(run.out, "[.frames, .rateFramesPerSecond, .framePeriodMilliseconds, .hundredTimesMovieFPS]"),
            "[12,100,10,10000]");
  EXPECT_EQ(Jq(run.out, "[.diskWait.overFramePeriod, .framesLate] | map(type == \"number\") | all"), "true");
  EXPECT_EQ(FwmovSampleCount(movie), "12");
  EXPECT_EQ(Probe(movie), "2vuy,320,240,100/1,12");

  // An explicit movie rate wins over the paced one.
  const BenchRun other = Fwbench("--width 320 --height 240 --frames 3 --rate 50 --fps100 2997 --out " +
                                 Quote(Movie("other.mov")));
  ASSERT_EQ(other.status, 0) << other.err;
  EXPECT_EQ(Probe(Movie("other.mov")), "2vuy,320,240,2997/100,3");
}

TEST_F(FwbenchTest, TheMovieResourceDoesNotGrowWithTheFrameCount) {
  const BenchRun few = Fwbench("--width 96 --height 64 --frames 2 --out " + Quote(Movie("few.mov")));
  const BenchRun many = Fwbench("--width 96 --height 64 --frames 3000 --out " + Quote(Movie("many.mov")));
  ASSERT_EQ(few.status, 0) << few.err;
  ASSERT_EQ(many.status, 0) << many.err;
  EXPECT_EQ(Jq(few.out, ".movieResourceBytes"), Jq(many.out, ".movieResourceBytes"));
  EXPECT_EQ(FwmovSampleCount(Movie("many.mov")), "3000");
}

TEST_F(FwbenchTest, ABadCommandLineGetsTheUsageAndStatus2) {
  const std::string out = Quote(Movie("bad.mov"));
  ASSERT_EQ(::mkfifo(Movie("fifo").c_str(), 0600), 0);
  const std::vector<std::string> bad = {
      "",
      "--width 320 --height 240 --frames 5",               // no --out
      "--width 321 --height 240 --frames 5 --out " + out,  // odd width
      "--width 0 --height 240 --frames 5 --out " + out,
      "--width 320 --height 40000 --frames 5 --out " + out,
      "--width 320 --height 240 --frames 0 --out " + out,
      "--width 320 --height 240 --frames 12x --out " + out,
      "--width 320 --height 240 --frames -3 --out " + out,
      "--width 320 --height 240 --frames 5 --rate 0 --out " + out,
      "--width 320 --height 240 --frames 5 --rate fast --out " + out,
      "--width 320 --height 240 --frames 5 --fps100 0 --out " + out,
      "--width 320 --height 240 --frames 5 --speed 3 --out " + out,  // unknown option
      "--width 320 --height 240 --frames 5 --out",                   // no value
      "--width 320 --height 240 --frames 5 extra --out " + out,
      "--width 32766 --height 32767 --frames 1 --out " + out,  // frames too large to prepare
      "--width 320 --height 240 --frames 5 --rate 30 --emit-raw -",
      // Not a regular file: a capture would replace it, or delete it on failure.
      "--width 320 --height 240 --frames 5 --out " + Quote(Movie("fifo")),
      "--width 320 --height 240 --frames 5 --out " + Quote(dir_.path()),
  };
  for (const std::string& arguments : bad) {
    const BenchRun run = Fwbench(arguments);
    EXPECT_EQ(run.status, 2) << arguments;
    EXPECT_EQ(run.err.rfind("fwbench: ", 0), 0u) << arguments << ": " << run.err;
    EXPECT_NE(run.err.find("usage: fwbench"), std::string::npos) << arguments;
    EXPECT_EQ(run.out, "") << arguments;
  }
  EXPECT_FALSE(std::filesystem::exists(Movie("bad.mov")));
  struct stat st {};
  ASSERT_EQ(::stat(Movie("fifo").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "left as it was";

  const BenchRun help = Fwbench("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("usage: fwbench", 0), 0u);
}

TEST_F(FwbenchTest, AFailedCaptureGivesItsErrorAndStatus1) {
  BenchRun run = Fwbench("--width 320 --height 240 --frames 5 --out " + Quote(dir_.file("absent/x.mov")));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "fwbench: Sorry, there was an error while starting the capture: error 1301, could not create the "
            "file.\n");

  // Room for about 13 frames: the disk fills during the capture. The error
  // shows at the next frame handed over, or, when the writer had already
  // taken every frame, when the capture ends. What reached the file is
  // still a movie.
  const std::string movie = Movie("full.mov");
  run =
      Fwbench("--width 320 --height 240 --frames 50 --out " + Quote(movie), "ulimit -f 2000; trap '' XFSZ; ");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  const bool during =
      run.err.rfind(
          "fwbench: Sorry, there was an error during capture: error -34, the disk is full. (at frame ", 0) ==
      0;
  const bool atTheEnd =
      run.err == "fwbench: Sorry, there was an error while finishing capture: error -34, the disk is full.\n";
  EXPECT_TRUE(during || atTheEnd) << run.err;
  const std::string frames = FwmovSampleCount(movie);
  EXPECT_GT(std::atoi(frames.c_str()), 0) << frames;
  EXPECT_LT(std::atoi(frames.c_str()), 50) << frames;
}

// The disk fills up a few bytes after the 3rd frame (a byte-exact file size
// limit, which fwbench turns into a full disk rather than being killed): no
// room for the movie resource behind frame 3, so the movie ends at frame 2
// or, where the room suffices, 3. Never a file without a movie.
TEST_F(FwbenchTest, ADiskThatFillsJustAfterAFrameStillGivesAPlayableMovie) {
  constexpr uint64_t kFrameBytes = 153600;
  for (const uint64_t roomBytes : {0, 1, 100, 500, 678}) {
    SCOPED_TRACE("room after frame 3: " + std::to_string(roomBytes));
    const std::string movie = Movie("limit" + std::to_string(roomBytes) + ".mov");
    const std::string limit = std::to_string(16 + 3 * kFrameBytes + roomBytes);
    const BenchRun run = Fwbench("--width 320 --height 240 --frames 10 --out " + Quote(movie),
                                 "prlimit --pid $$ --fsize=" + limit + ":" + limit + "; ");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.err.find("error -34, the disk is full."), std::string::npos) << run.err;
    const std::string frames = FwmovSampleCount(movie);
    EXPECT_TRUE(frames == "3" || frames == "2") << frames;
    EXPECT_EQ(Probe(movie), "2vuy,320,240,18/1," + frames);
  }
}

// A real full file system: a 2 MiB tmpfs holds 13 frames and part of a 14th.
TEST_F(FwbenchTest, AFullFileSystemStillGivesAPlayableMovie) {
  TempDir mountPoint;
  if (::mount("tmpfs", mountPoint.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, "size=2m") != 0)
    GTEST_SKIP() << "no tmpfs can be mounted here (root only): " << std::strerror(errno);
  struct Unmount {
    std::string path;
    ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
  } unmount{mountPoint.path()};
  const std::string movie = mountPoint.file("full.mov");
  const BenchRun run = Fwbench("--width 320 --height 240 --frames 40 --out " + Quote(movie));
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("error -34, the disk is full."), std::string::npos) << run.err;
  const std::string frames = FwmovSampleCount(movie);
  EXPECT_TRUE(frames == "13" || frames == "12") << frames;
  EXPECT_EQ(Probe(movie), "2vuy,320,240,18/1," + frames);
}

// SIGTERM and SIGINT stop the feed and finish the movie of the frames
// written so far, as the programs do at a quit; the status tells the signal.
TEST_F(FwbenchTest, SigtermAndSigintFinishTheMovie) {
  constexpr uint64_t kFrameBytes = 153600;
  for (const int signalNumber : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signalNumber);
    const std::string movie = Movie("signal" + std::to_string(signalNumber) + ".mov");
    const std::string errFile = dir_.file("signal-stderr.txt");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args = {FWBENCH_PATH, "--width", "320", "--height", "240", "--frames",
                                     "100000",     "--rate",  "50",  "--out",    movie};
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, FWBENCH_PATH, &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    auto waitFor = [](auto condition) {
      for (int i = 0; i < 3000 && !condition(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return condition();
    };
    EXPECT_TRUE(waitFor([&] {
      std::error_code ec;
      const auto sizeBytes = std::filesystem::file_size(movie, ec);
      return !ec && sizeBytes >= 16 + 5 * kFrameBytes;
    })) << "no frames written";
    ::kill(pid, signalNumber);
    int status = 0;
    bool ended = false;
    waitFor([&] { return ended = ended || ::waitpid(pid, &status, WNOHANG) == pid; });
    if (!ended) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
    }
    ASSERT_TRUE(ended) << "fwbench did not end within 30 s of the signal";
    ASSERT_TRUE(WIFEXITED(status)) << "killed by the signal, not ended by it";
    EXPECT_EQ(WEXITSTATUS(status), 128 + signalNumber);
    const std::string frames = FwmovSampleCount(movie);
    EXPECT_GE(std::atoi(frames.c_str()), 5) << frames;
    EXPECT_EQ(ReadFile(errFile), std::string("fwbench: ") + (signalNumber == SIGINT ? "SIGINT" : "SIGTERM") +
                                     " after " + frames + " of 100000 frames; the movie holds them\n");
    EXPECT_EQ(Probe(movie), "2vuy,320,240,50/1," + frames);
  }
}

}  // namespace
