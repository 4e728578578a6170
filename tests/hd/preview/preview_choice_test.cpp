// The start-up choice of the preview widget, with OpenGL refused at each of
// the decision's steps.
#include "hd/preview/preview_choice.h"

#include <gtest/gtest.h>

using namespace fw;

namespace {

class ScriptedProbe final : public OpenGLProbe {
 public:
  bool MakeContextCurrent() override {
    ++steps;
    return context;
  }
  std::string CheckShaders() override {
    ++steps;
    return shaderError;
  }
  int32_t MaxTextureSize() override {
    ++steps;
    return textureSize;
  }
  std::string Renderer() override {
    ++steps;
    return renderer;
  }

  bool context = true;
  std::string shaderError;
  int32_t textureSize = 16384;
  std::string renderer = "AMD Radeon RX 6600 (radeonsi, navi23, LLVM 15.0.6, DRM 3.49)";
  int steps = 0;
};

TEST(PreviewChoiceTest, FirstRefusalChoosesTheSoftwarePreview) {
  struct Case {
    const char* what;
    bool context;
    const char* shaderError;
    int32_t textureSize;
    const char* renderer;
    SoftwareOpenGL policy;
    PreviewKind kind;
    const char* reason;
    int steps;  // questions asked: none after the first refusal
  };
  constexpr const char* kGPU = "Mesa Intel(R) UHD Graphics 620 (KBL GT2)";
  constexpr const char* kLlvmpipe = "llvmpipe (LLVM 15.0.6, 256 bits)";
  constexpr auto kPrefer = SoftwareOpenGL::kPreferRaster;
  const Case cases[] = {
      {"no context", false, "", 16384, kGPU, kPrefer, PreviewKind::kSoftware,
       "software preview: no OpenGL context", 1},
      {"context but no shader", true, "shaders do not compile: 0:1: error", 16384, kGPU, kPrefer,
       PreviewKind::kSoftware,
       "software preview: OpenGL shaders refused (shaders do not compile: 0:1: error)", 2},
      {"texture too small", true, "", 1024, kGPU, kPrefer, PreviewKind::kSoftware,
       "software preview: OpenGL textures limited to 1024 pixels", 3},
      {"texture just large enough", true, "", kMinPreviewTextureSize, kGPU, kPrefer, PreviewKind::kOpenGL, "",
       4},
      {"drawn in software", true, "", 16384, kLlvmpipe, kPrefer, PreviewKind::kSoftware,
       "software preview: OpenGL is drawn in software (llvmpipe (LLVM 15.0.6, 256 bits))", 4},
      {"drawn in software, kept for a test", true, "", 16384, kLlvmpipe, SoftwareOpenGL::kKeepOpenGL,
       PreviewKind::kOpenGL, "", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ScriptedProbe probe;
    probe.context = c.context;
    probe.shaderError = c.shaderError;
    probe.textureSize = c.textureSize;
    probe.renderer = c.renderer;
    const PreviewChoice choice = ChoosePreviewKind(probe, c.policy);
    EXPECT_EQ(choice.kind, c.kind);
    EXPECT_EQ(choice.reason, c.reason);
    EXPECT_EQ(probe.steps, c.steps);
  }
}

}  // namespace
