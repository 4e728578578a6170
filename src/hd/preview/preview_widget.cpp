// The Qt window surface of the live preview and its OpenGL path. GL objects
// shared by every preview of the widget (shaders, the quad) are made in
// initializeGL and freed when the context is about to be destroyed; each
// preview's texture lives from VPStartPreview to VPDisposePreview.
#include "hd/preview/preview_widget.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QPainter>
#include <QSurfaceFormat>
#include <cstring>
#include <utility>

#include "hd/preview/preview_choice.h"
#include "hd/preview/raster_preview_widget.h"

#ifndef GL_UNPACK_ROW_LENGTH
#define GL_UNPACK_ROW_LENGTH 0x0CF2
#endif
#ifndef GL_RGBA8
#define GL_RGBA8 0x8058
#endif

namespace fw {

namespace {

// The shaders are written once, for GLSL 1.10 (compatibility contexts);
// core and ES 3 contexts get the renamed keywords through these headers.
constexpr char kLegacyVertexHeader[] =
    "#version 110\n#define ATTRIBUTE attribute\n#define VARYING_OUT varying\n";
constexpr char kLegacyFragmentHeader[] =
    "#version 110\n#define VARYING_IN varying\n#define TEXTURE texture2D\n#define FRAG_COLOR gl_FragColor\n";
constexpr char kCoreVertexHeader[] = "#version 150\n#define ATTRIBUTE in\n#define VARYING_OUT out\n";
constexpr char kCoreFragmentHeader[] =
    "#version 150\n#define VARYING_IN in\n#define TEXTURE texture\nout vec4 fragColor;\n#define FRAG_COLOR "
    "fragColor\n";
constexpr char kESVertexHeader[] = "#version 300 es\n#define ATTRIBUTE in\n#define VARYING_OUT out\n";
constexpr char kESFragmentHeader[] =
    "#version 300 es\nprecision highp float;\n#define VARYING_IN in\n#define TEXTURE texture\n"
    "out vec4 fragColor;\n#define FRAG_COLOR fragColor\n";

// The quad over the viewport; its position (0…1, top-left origin) comes from
// the unmirrored corner, so mirroring is only the sign of the scale.
constexpr char kVertexBody[] = R"(
ATTRIBUTE vec2 vertex;
uniform vec2 scale;
VARYING_OUT vec2 position;
void main() {
  position = vec2(vertex.x * 0.5 + 0.5, 0.5 - vertex.y * 0.5);
  gl_Position = vec4(vertex * scale, 0.0, 1.0);
}
)";

// One texel holds a pair of '2vuy' pixels as Cb Y0 Cr Y1 → R G B A. Each
// fragment samples bilinearly at (centre · image size − ½), luma per pixel
// and chroma per pair (sited with the pair's first pixel), clamped at the
// edges: exactly where the software renderer samples. The texture's linear
// filter blends the two rows, and the chroma of two pairs, in one fetch; the
// two luma samples of a row are picked from the texels' centres. Then
// video-range Y'CbCr to R'G'B'.
constexpr char kFragmentBody[] = R"(
uniform sampler2D frame;
uniform vec2 imageSize;
uniform vec2 textureSize;
uniform vec4 coefficients;  // yScale, crToR, cbToG, crToG
uniform float cbToB;
VARYING_IN vec2 position;

float luma(float x, float v) {
  float pair = floor(x * 0.5);
  vec4 t = TEXTURE(frame, vec2((pair + 0.5) / textureSize.x, v));
  return (x - 2.0 * pair) < 0.5 ? t.g : t.a;
}

void main() {
  float sx = position.x * imageSize.x - 0.5;
  float base = floor(sx);
  float f = sx - base;
  float x0 = clamp(base, 0.0, imageSize.x - 1.0);
  float x1 = clamp(base + 1.0, 0.0, imageSize.x - 1.0);
  float v = position.y;
  float y = mix(luma(x0, v), luma(x1, v), f);
  vec2 chroma = TEXTURE(frame, vec2((sx * 0.5 + 0.5) / textureSize.x, v)).rb;

  vec3 ycc = vec3(y, chroma) * 255.0 - vec3(16.0, 128.0, 128.0);
  float l = coefficients.x * ycc.x;
  vec3 rgb = vec3(l + coefficients.y * ycc.z,
                  l - coefficients.z * ycc.y - coefficients.w * ycc.z,
                  l + cbToB * ycc.y) / 255.0;
  FRAG_COLOR = vec4(clamp(rgb, 0.0, 1.0), 1.0);
}
)";

// Triangle strip: top left, bottom left, top right, bottom right.
constexpr GLfloat kQuad[] = {-1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f, -1.0f};

constexpr int kVertexLocation = 0;

}  // namespace

class PreviewWidget::FramePipe final : public GLFramePipe {
 public:
  FramePipe(PreviewWidget* widget, const GLFrameSetup& setup) : widget_(widget), setup_(setup) {}
  ~FramePipe() override {
    if (widget_ != nullptr) widget_->ReleasePipe(this);
  }
  OSErr DrawFrame(const void* baseAddr) override {
    return widget_ != nullptr ? widget_->DrawPipe(this, baseAddr) : kGLContextLostErr;
  }
  uint32_t TextureName() const override { return texture_; }

  PreviewWidget* widget_;  // null once the widget is gone
  GLFrameSetup setup_;
  GLuint texture_ = 0;
  uint64_t generation_ = 0;  // of the context the texture was made in
  // The newest frame, rows packed, copied while its bytes were valid and
  // drawn at the next repaint; a newer frame before then replaces it.
  std::vector<uint8_t> frame_;
  bool hasFrame_ = false;
  bool needsDraw_ = false;
  OSErr lastDrawErr_ = noErr;  // of a repaint, reported by the next DrawFrame
};

PreviewWidget::PreviewWidget(QWidget* parent)
    : QOpenGLWidget(parent), vertexBuffer_(QOpenGLBuffer::VertexBuffer) {
  // The framebuffer keeps what the preview drew between repaints.
  setUpdateBehavior(QOpenGLWidget::PartialUpdate);
}

PreviewWidget::~PreviewWidget() {
  CleanupGL();
  // The base class destroys the context after this destructor: its signal
  // must not reach what is left of this object.
  if (context() != nullptr) {
    disconnect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &PreviewWidget::CleanupGL);
  }
  for (FramePipe* pipe : pipes_) pipe->widget_ = nullptr;
}

PreviewGLContext* PreviewWidget::GLContext() {
  return context() != nullptr && glUsable_ ? this : nullptr;
}

void PreviewWidget::initializeGL() {
  connect(context(), &QOpenGLContext::aboutToBeDestroyed, this, &PreviewWidget::CleanupGL,
          Qt::DirectConnection);
  initializeOpenGLFunctions();
  ++contextGeneration_;
  glUsable_ = BuildPipeline();
  clearAll_ = true;
  softwareDirty_ = !softwareImage_.isNull();
  for (FramePipe* pipe : pipes_) pipe->needsDraw_ = pipe->hasFrame_;
}

namespace {

// Compiles and links the preview's shaders in the current context: empty on
// success, else why not. Shared by the widget and the start-up probe, so the
// probe refuses exactly what the widget would.
QString BuildPreviewProgram(QOpenGLContext* ctx, std::unique_ptr<QOpenGLShaderProgram>* out) {
  const QSurfaceFormat format = ctx->format();
  const bool es = ctx->isOpenGLES();
  const bool core = !es && format.profile() == QSurfaceFormat::CoreProfile;
  // Shaders need 2.0; ES needs 3.0 for the unpack row length.
  if ((es && format.majorVersion() < 3) || (!es && format.majorVersion() < 2))
    return QStringLiteral("OpenGL %1.%2 is too old").arg(format.majorVersion()).arg(format.minorVersion());
  const char* vertexHeader = es ? kESVertexHeader : (core ? kCoreVertexHeader : kLegacyVertexHeader);
  const char* fragmentHeader = es ? kESFragmentHeader : (core ? kCoreFragmentHeader : kLegacyFragmentHeader);
  auto program = std::make_unique<QOpenGLShaderProgram>();
  if (!program->addShaderFromSourceCode(QOpenGLShader::Vertex, QByteArray(vertexHeader) + kVertexBody) ||
      !program->addShaderFromSourceCode(QOpenGLShader::Fragment, QByteArray(fragmentHeader) + kFragmentBody))
    return QStringLiteral("shaders do not compile: ") + program->log();
  program->bindAttributeLocation("vertex", kVertexLocation);
  if (!program->link()) return QStringLiteral("shaders do not link: ") + program->log();
  *out = std::move(program);
  return {};
}

// The start-up questions asked on an offscreen surface with the format the
// widgets will get.
class QtOpenGLProbe final : public OpenGLProbe {
 public:
  ~QtOpenGLProbe() override {
    if (current_) context_.doneCurrent();
  }
  bool MakeContextCurrent() override {
    // The context first: without OpenGL in the platform it fails at once,
    // before any surface of the window system is asked for.
    context_.setFormat(QSurfaceFormat::defaultFormat());
    if (!context_.create()) return false;
    surface_.setFormat(context_.format());
    surface_.create();
    if (!surface_.isValid()) return false;
    current_ = context_.makeCurrent(&surface_);
    return current_;
  }
  std::string CheckShaders() override {
    std::unique_ptr<QOpenGLShaderProgram> program;
    QString why = BuildPreviewProgram(&context_, &program);
    const bool coreOrES = context_.isOpenGLES() || context_.format().profile() == QSurfaceFormat::CoreProfile;
    if (why.isEmpty() && coreOrES) {
      QOpenGLVertexArrayObject vertexArray;
      if (!vertexArray.create()) why = QStringLiteral("no vertex array objects");
    }
    return why.toStdString();
  }
  int32_t MaxTextureSize() override {
    GLint size = 0;
    context_.functions()->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    return size;
  }
  std::string Renderer() override {
    const auto* renderer = context_.functions()->glGetString(GL_RENDERER);
    return renderer != nullptr ? reinterpret_cast<const char*>(renderer) : "";
  }

 private:
  QOpenGLContext context_;
  QOffscreenSurface surface_;
  bool current_ = false;
};

}  // namespace

PreviewChoice ChoosePreviewKindForDisplay(SoftwareOpenGL softwareOpenGL) {
  QtOpenGLProbe probe;
  return ChoosePreviewKind(probe, softwareOpenGL);
}

bool PreviewWidget::BuildPipeline() {
  QOpenGLContext* ctx = context();
  const bool es = ctx->isOpenGLES();
  const bool core = !es && ctx->format().profile() == QSurfaceFormat::CoreProfile;
  glUnusableReason_ = BuildPreviewProgram(ctx, &program_);
  if (!glUnusableReason_.isEmpty()) return false;
  // Looked up once per context rather than by name at every draw.
  uniforms_.frame = program_->uniformLocation("frame");
  uniforms_.scale = program_->uniformLocation("scale");
  uniforms_.imageSize = program_->uniformLocation("imageSize");
  uniforms_.textureSize = program_->uniformLocation("textureSize");
  uniforms_.coefficients = program_->uniformLocation("coefficients");
  uniforms_.cbToB = program_->uniformLocation("cbToB");
  // Core and ES 3 contexts draw only through a vertex array object.
  const bool haveVertexArray = vertexArray_.create();
  if (!haveVertexArray && (core || es)) {
    glUnusableReason_ = QStringLiteral("no vertex array objects");
    program_.reset();
    return false;
  }
  QOpenGLVertexArrayObject::Binder binder(&vertexArray_);
  vertexBuffer_.create();
  vertexBuffer_.bind();
  vertexBuffer_.allocate(kQuad, sizeof(kQuad));
  if (haveVertexArray) {
    glEnableVertexAttribArray(kVertexLocation);
    glVertexAttribPointer(kVertexLocation, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
  }
  vertexBuffer_.release();
  glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
  glUnusableReason_.clear();
  return true;
}

void PreviewWidget::CleanupGL() {
  if (context() == nullptr || (!program_ && pipes_.empty())) return;
  makeCurrent();
  for (FramePipe* pipe : pipes_) {
    if (pipe->texture_ != 0) glDeleteTextures(1, &pipe->texture_);
    pipe->texture_ = 0;
    pipe->generation_ = 0;
  }
  program_.reset();
  vertexBuffer_.destroy();
  vertexArray_.destroy();
  glUsable_ = false;
  doneCurrent();
}

void PreviewWidget::resizeGL(int, int) {
  // A new framebuffer: nothing of the old picture is left in it.
  clearAll_ = true;
  softwareDirty_ = !softwareImage_.isNull();
  for (FramePipe* pipe : pipes_) pipe->needsDraw_ = pipe->hasFrame_;
}

void PreviewWidget::paintGL() {
  // The software path's newest frame, converted once per repaint.
  if (deferredDraw_ != nullptr) deferredDraw_->DrawPending();
  ApplyPendingClears();
  for (FramePipe* pipe : pipes_) {
    if (pipe->needsDraw_) pipe->lastDrawErr_ = PaintPipe(pipe);
  }
  if (softwareDirty_ && !softwareImage_.isNull()) {
    QPainter painter(this);
    painter.drawImage(softwareRect_, softwareImage_);
    softwareDirty_ = false;
  }
}

// Clears asked for since the last paint; also before an OpenGL frame is
// drawn, so a clear left over from the previous preview never wipes it.
void PreviewWidget::ApplyPendingClears() {
  if (!clearAll_ && pendingClears_.empty()) return;
  const QColor background = palette().color(QPalette::Window);
  glClearColor(background.redF(), background.greenF(), background.blueF(), 1.0f);
  if (clearAll_) {
    glClear(GL_COLOR_BUFFER_BIT);
  } else {
    glEnable(GL_SCISSOR_TEST);
    for (const Rect& r : pendingClears_) {
      const QRect device = DeviceRect(r);
      glScissor(device.x(), device.y(), device.width(), device.height());
      glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
  }
  clearAll_ = false;
  pendingClears_.clear();
}

QRect PreviewWidget::DeviceRect(const Rect& windowRect) const {
  const qreal ratio = devicePixelRatioF();
  const int left = qRound(windowRect.left * ratio);
  const int right = qRound(windowRect.right * ratio);
  const int top = qRound(windowRect.top * ratio);
  const int bottom = qRound(windowRect.bottom * ratio);
  const int framebufferHeight = qRound(height() * ratio);
  return QRect(left, framebufferHeight - bottom, right - left, bottom - top);
}

void PreviewWidget::DrainGLErrors() {
  // Bounded: a lost context may report errors forever.
  for (int i = 0; i < 16 && glGetError() != GL_NO_ERROR; ++i) {
  }
}

OSErr PreviewWidget::OpenFramePipe(const GLFrameSetup& setup, std::unique_ptr<GLFramePipe>* out) {
  if (context() == nullptr || !glUsable_) return kGLContextLostErr;
  const int texelsWide = (setup.imageWidth + 1) / 2;
  if (setup.imageWidth <= 0 || setup.imageHeight <= 0 || texelsWide > maxTextureSize_ ||
      setup.imageHeight > maxTextureSize_ || setup.rowLengthTexels < texelsWide) {
    return GL_INVALID_VALUE;
  }
  auto pipe = std::make_unique<FramePipe>(this, setup);
  makeCurrent();
  const OSErr err = MakeTexture(pipe.get());
  doneCurrent();
  if (err != noErr) return err;  // the pipe's destructor frees what was made
  pipes_.push_back(pipe.get());
  *out = std::move(pipe);
  return noErr;
}

OSErr PreviewWidget::MakeTexture(FramePipe* pipe) {
  DrainGLErrors();
  glGenTextures(1, &pipe->texture_);
  glBindTexture(GL_TEXTURE_2D, pipe->texture_);
  // Linear: the shader lets the filter blend rows and chroma (see above).
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, (pipe->setup_.imageWidth + 1) / 2, pipe->setup_.imageHeight, 0,
               GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glBindTexture(GL_TEXTURE_2D, 0);
  pipe->generation_ = contextGeneration_;
  const GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    glDeleteTextures(1, &pipe->texture_);
    pipe->texture_ = 0;
    pipe->generation_ = 0;
  }
  return static_cast<OSErr>(err);
}

OSErr PreviewWidget::DrawPipe(FramePipe* pipe, const void* baseAddr) {
  if (context() == nullptr || !glUsable_) return kGLContextLostErr;
  const GLFrameSetup& setup = pipe->setup_;
  const size_t rowBytes = static_cast<size_t>((setup.imageWidth + 1) / 2) * 4;
  const size_t pitch = static_cast<size_t>(setup.rowLengthTexels) * 4;
  const size_t rows = static_cast<size_t>(setup.imageHeight);
  // Only a copy here: the drawing waits for the widget's repaint, which Qt
  // paces to the display and runs once however many frames came before it,
  // so the caller (the capture) never waits for the renderer.
  pipe->frame_.resize(rowBytes * rows);
  const auto* source = static_cast<const uint8_t*>(baseAddr);
  if (pitch == rowBytes) {
    std::memcpy(pipe->frame_.data(), source, rowBytes * rows);
  } else {
    for (size_t y = 0; y < rows; ++y)
      std::memcpy(pipe->frame_.data() + y * rowBytes, source + y * pitch, rowBytes);
  }
  pipe->hasFrame_ = true;
  pipe->needsDraw_ = true;
  return std::exchange(pipe->lastDrawErr_, noErr);
}

// Inside paintGL: the context is current and the framebuffer bound.
OSErr PreviewWidget::PaintPipe(FramePipe* pipe) {
  pipe->needsDraw_ = false;
  if (!glUsable_) return kGLContextLostErr;
  // A context made anew (the widget moved to another window) has none of the
  // old texture: make it again.
  if (pipe->generation_ != contextGeneration_) {
    if (OSErr err = MakeTexture(pipe); err != noErr) return err;
  }
  DrainGLErrors();
  const GLFrameSetup& setup = pipe->setup_;
  const int texelsWide = (setup.imageWidth + 1) / 2;

  // The one upload of the frame.
  glBindTexture(GL_TEXTURE_2D, pipe->texture_);
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, texelsWide, setup.imageHeight, GL_RGBA, GL_UNSIGNED_BYTE,
                  pipe->frame_.data());
  GLenum err = glGetError();
  if (err != GL_NO_ERROR) {
    glBindTexture(GL_TEXTURE_2D, 0);
    return static_cast<OSErr>(err);
  }

  // Draw only into the destination rectangle.
  const QRect device = DeviceRect(setup.destRect);
  glViewport(device.x(), device.y(), device.width(), device.height());
  glScissor(device.x(), device.y(), device.width(), device.height());
  glEnable(GL_SCISSOR_TEST);
  glDisable(GL_BLEND);
  glDisable(GL_DEPTH_TEST);

  const YCbCrCoefficients& k = CoefficientsFor(setup.matrix);
  program_->bind();
  program_->setUniformValue(uniforms_.frame, 0);
  program_->setUniformValue(uniforms_.scale, MirrorsHorizontally(setup.mirroring) ? -1.0f : 1.0f,
                            MirrorsVertically(setup.mirroring) ? -1.0f : 1.0f);
  program_->setUniformValue(uniforms_.imageSize, static_cast<GLfloat>(setup.imageWidth),
                            static_cast<GLfloat>(setup.imageHeight));
  program_->setUniformValue(uniforms_.textureSize, static_cast<GLfloat>(texelsWide),
                            static_cast<GLfloat>(setup.imageHeight));
  program_->setUniformValue(uniforms_.coefficients, k.yScale, k.crToR, k.cbToG, k.crToG);
  program_->setUniformValue(uniforms_.cbToB, k.cbToB);
  glActiveTexture(GL_TEXTURE0);
  if (vertexArray_.isCreated()) {
    vertexArray_.bind();
  } else {
    vertexBuffer_.bind();
    glEnableVertexAttribArray(kVertexLocation);
    glVertexAttribPointer(kVertexLocation, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
  }
  glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
  if (vertexArray_.isCreated()) {
    vertexArray_.release();
  } else {
    glDisableVertexAttribArray(kVertexLocation);
    vertexBuffer_.release();
  }
  program_->release();
  glBindTexture(GL_TEXTURE_2D, 0);
  glDisable(GL_SCISSOR_TEST);
  // paintGL's own viewport for whatever the widget paints after.
  const qreal ratio = devicePixelRatioF();
  glViewport(0, 0, qRound(width() * ratio), qRound(height() * ratio));
  err = glGetError();
  return static_cast<OSErr>(err);
}

void PreviewWidget::ReleasePipe(FramePipe* pipe) {
  std::erase(pipes_, pipe);
  if (pipe->texture_ != 0 && context() != nullptr) {
    makeCurrent();
    glDeleteTextures(1, &pipe->texture_);
    doneCurrent();
  }
  pipe->texture_ = 0;
}

OSErr PreviewWidget::ShowImage(const ConstRGB32ImageView& image, const Rect& destRect) {
  const QRect target(destRect.left, destRect.top, destRect.right - destRect.left,
                     destRect.bottom - destRect.top);
  if (!isVisible() || target.isEmpty() || !target.intersects(rect())) return codecNothingToBlitErr;
  if (image.base == nullptr || image.width != target.width() || image.height != target.height())
    return paramErr;
  if (softwareImage_.size() != target.size()) {
    softwareImage_ = QImage(target.size(), QImage::Format_RGB32);
    if (softwareImage_.isNull()) return memFullErr;
  }
  const size_t rowBytesUsed = static_cast<size_t>(image.width) * 4;
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(softwareImage_.scanLine(y), reinterpret_cast<const uint8_t*>(image.base) + y * image.rowBytes,
                rowBytesUsed);
  }
  softwareRect_ = target;
  softwareDirty_ = true;
  return noErr;
}

bool PreviewWidget::SetDeferredDraw(DeferredDraw* draw, const Rect&) {
  deferredDraw_ = draw;
  return true;
}

void PreviewWidget::StopDeferredDraw(DeferredDraw* draw) {
  if (deferredDraw_ == draw) deferredDraw_ = nullptr;
}

void PreviewWidget::ClearImage(const Rect& destRect) {
  const QRect target(destRect.left, destRect.top, destRect.right - destRect.left,
                     destRect.bottom - destRect.top);
  if (target == softwareRect_) {
    softwareImage_ = QImage();
    softwareRect_ = QRect();
    softwareDirty_ = false;
  }
  if (!target.isEmpty()) pendingClears_.push_back(destRect);
}

}  // namespace fw
