// The raster preview widget.
#include "hd/preview/raster_preview_widget.h"

#include <QPaintEvent>
#include <QPainter>
#include <cstring>

#include "hd/preview/preview_widget.h"

namespace fw {

RasterPreviewWidget::RasterPreviewWidget(QWidget* parent) : QWidget(parent) {
  setAutoFillBackground(true);
}

OSErr RasterPreviewWidget::ShowImage(const ConstRGB32ImageView& image, const Rect& destRect) {
  const QRect target(destRect.left, destRect.top, destRect.right - destRect.left,
                     destRect.bottom - destRect.top);
  if (!isVisible() || target.isEmpty() || !target.intersects(rect())) return codecNothingToBlitErr;
  if (image.base == nullptr || image.width != target.width() || image.height != target.height())
    return paramErr;
  if (image_.size() != target.size()) {
    image_ = QImage(target.size(), QImage::Format_RGB32);
    if (image_.isNull()) return memFullErr;
  }
  const size_t rowBytesUsed = static_cast<size_t>(image.width) * 4;
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(image_.scanLine(y), reinterpret_cast<const uint8_t*>(image.base) + y * image.rowBytes,
                rowBytesUsed);
  }
  imageRect_ = target;
  return noErr;
}

void RasterPreviewWidget::ClearImage(const Rect& destRect) {
  const QRect target(destRect.left, destRect.top, destRect.right - destRect.left,
                     destRect.bottom - destRect.top);
  if (target == imageRect_) {
    image_ = QImage();
    imageRect_ = QRect();
  }
  // The background fills the area at the next repaint.
  if (!target.isEmpty()) update(target);
}

void RasterPreviewWidget::RequestRepaint() {
  const QRect area = deferredDraw_ != nullptr ? deferredRect_.united(imageRect_) : imageRect_;
  if (!area.isEmpty()) update(area);
}

bool RasterPreviewWidget::SetDeferredDraw(DeferredDraw* draw, const Rect& destRect) {
  deferredDraw_ = draw;
  deferredRect_ =
      QRect(destRect.left, destRect.top, destRect.right - destRect.left, destRect.bottom - destRect.top);
  return true;
}

void RasterPreviewWidget::StopDeferredDraw(DeferredDraw* draw) {
  if (deferredDraw_ != draw) return;
  deferredDraw_ = nullptr;
  deferredRect_ = QRect();
}

void RasterPreviewWidget::paintEvent(QPaintEvent* event) {
  // The newest frame is converted now, once, however many arrived since the
  // last repaint.
  if (deferredDraw_ != nullptr) deferredDraw_->DrawPending();
  if (image_.isNull() || !event->rect().intersects(imageRect_)) return;
  QPainter painter(this);
  painter.drawImage(imageRect_, image_);
}

PreviewWidgetRef MakePreviewWidget(PreviewKind kind, QWidget* parent) {
  if (kind == PreviewKind::kOpenGL) {
    auto* widget = new PreviewWidget(parent);
    return {widget, widget};
  }
  auto* widget = new RasterPreviewWidget(parent);
  return {widget, widget};
}

}  // namespace fw
