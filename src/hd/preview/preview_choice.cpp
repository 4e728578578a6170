// The start-up choice of the preview widget.
#include "hd/preview/preview_choice.h"

#include <cctype>

namespace fw {

bool IsSoftwareRenderer(const std::string& renderer) {
  std::string lower = renderer;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* name : {"llvmpipe", "softpipe", "swrast", "software rasterizer", "swiftshader"}) {
    if (lower.find(name) != std::string::npos) return true;
  }
  return false;
}

PreviewChoice ChoosePreviewKind(OpenGLProbe& probe, SoftwareOpenGL softwareOpenGL) {
  if (!probe.MakeContextCurrent()) return {PreviewKind::kSoftware, "software preview: no OpenGL context"};
  if (std::string why = probe.CheckShaders(); !why.empty())
    return {PreviewKind::kSoftware, "software preview: OpenGL shaders refused (" + why + ")"};
  if (const int32_t size = probe.MaxTextureSize(); size < kMinPreviewTextureSize) {
    return {PreviewKind::kSoftware,
            "software preview: OpenGL textures limited to " + std::to_string(size) + " pixels"};
  }
  if (softwareOpenGL == SoftwareOpenGL::kPreferRaster) {
    if (const std::string renderer = probe.Renderer(); IsSoftwareRenderer(renderer))
      return {PreviewKind::kSoftware, "software preview: OpenGL is drawn in software (" + renderer + ")"};
  }
  return {PreviewKind::kOpenGL, {}};
}

}  // namespace fw
