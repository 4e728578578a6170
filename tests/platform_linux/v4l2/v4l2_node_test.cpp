// V4L2 nodes without a camera: which names are video nodes and in what
// order they come, and what opening something that is no capture node
// answers.
#include "platform_linux/v4l2/v4l2_node.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>

#include "support/temp_dir.h"

using namespace fw;

TEST(V4L2NodeTest, VideoNodesComeInTheOrderOfTheirNumbers) {
  TempDir dir;
  for (const char* name : {"video10", "video2", "video0", "videoX", "video", "video+1", "video 3", "video-1",
                           "video4a", "vbi0", "media0"})
    std::ofstream(dir.file(name)) << "";
  EXPECT_EQ(ListV4L2VideoNodes(dir.path()),
            (std::vector<std::string>{dir.file("video0"), dir.file("video2"), dir.file("video10")}));
  EXPECT_TRUE(ListV4L2VideoNodes(dir.file("missing")).empty());
}

TEST(V4L2NodeTest, WhatIsNoCaptureNodeIsRefusedWithACode) {
  TempDir dir;
  std::ofstream(dir.file("video0")) << "not a device";
  struct Case {
    std::string path;
    OSErr err;
  };
  const Case cases[] = {
      {dir.file("video7"), fnfErr},
      {dir.file("video0"), OSErrFromErrno(ENOTTY)},
      {"/dev/null", OSErrFromErrno(ENOTTY)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    UniqueFd fd;
    EXPECT_EQ(OpenV4L2CaptureNode(c.path, &fd, nullptr), c.err);
    EXPECT_EQ(fd.get(), -1);
  }
}
