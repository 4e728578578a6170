// The start-up choice of the preview widget.
#include "hd/preview/preview_choice.h"

PreviewChoice ChoosePreviewKind(OpenGLProbe& probe) {
  if (!probe.MakeContextCurrent()) return {PreviewKind::kSoftware, "software preview: no OpenGL context"};
  if (std::string why = probe.CheckShaders(); !why.empty())
    return {PreviewKind::kSoftware, "software preview: OpenGL shaders refused (" + why + ")"};
  if (const int32_t size = probe.MaxTextureSize(); size < kMinPreviewTextureSize) {
    return {PreviewKind::kSoftware,
            "software preview: OpenGL textures limited to " + std::to_string(size) + " pixels"};
  }
  return {PreviewKind::kOpenGL, {}};
}
