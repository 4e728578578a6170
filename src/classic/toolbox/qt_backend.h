// The Qt backend: one top-level widget per toolbox window, drawn from the
// model (the port's picture, then each control with the desktop's QStyle,
// and the menu bar strip on the window that carries it), feeding mouse,
// keys (with classic key codes from the X11 key), focus changes, close
// requests and the session's end back as events. It decides nothing: every
// rule stays in the model. A QApplication must exist before InitToolbox.
#pragma once

#include <memory>

#include "classic/toolbox/backend.h"

namespace fw {

std::unique_ptr<ToolboxBackend> MakeQtToolboxBackend();

}  // namespace fw
