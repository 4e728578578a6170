// The capture window.
#include "hd/app/capture_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <algorithm>

#include "core/capture/capture_records.h"
#include "core/capture/capture_timing.h"
#include "hd/app/window_rects.h"

namespace fw {

namespace {

constexpr int kLargestWidth = 1280;
constexpr int kLargestHeight = 800;

QString FramesText(uint32_t frames) {
  return frames == 1 ? QObject::tr("1 frame") : QObject::tr("%1 frames").arg(frames);
}

}  // namespace

CaptureWindow::CaptureWindow(ClickWindow& clickWindow, PreviewKind previewKind)
    : clickWindow_(clickWindow),
      preview_(MakePreviewWidget(previewKind, this)),
      instructionsLabel_(new QLabel(preview_.widget)),
      frameCountLabel_(new QLabel(preview_.widget)),
      droppedLabel_(new QLabel(preview_.widget)),
      healthLabel_(new QLabel(preview_.widget)) {
  setObjectName("captureWindow");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(preview_.widget);

  // A dark room: the picture stands out, the bar stays readable.
  QPalette dark = palette();
  dark.setColor(QPalette::Window, QColor(0x1E, 0x1E, 0x1E));
  dark.setColor(QPalette::WindowText, QColor(0xE8, 0xE8, 0xE8));
  setPalette(dark);
  preview_.widget->setPalette(dark);
  setAutoFillBackground(true);

  instructionsLabel_->setObjectName("instructionsLabel");
  instructionsLabel_->setTextFormat(Qt::RichText);
  frameCountLabel_->setObjectName("captureFrameCountLabel");
  QFont large = instructionsLabel_->font();
  large.setPointSizeF(large.pointSizeF() * 1.3);
  instructionsLabel_->setFont(large);
  QFont count = large;
  count.setBold(true);
  count.setPointSizeF(large.pointSizeF() * 1.4);
  frameCountLabel_->setFont(count);
  frameCountLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  droppedLabel_->setObjectName("droppedFramesLabel");
  healthLabel_->setObjectName("captureHealthLabel");
  droppedLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Drops and a slow disk are news the user should not miss: amber.
  QPalette amber = dark;
  amber.setColor(QPalette::WindowText, QColor(0xFF, 0xB0, 0x40));
  droppedLabel_->setPalette(amber);
  // Clicks anywhere in the window take frames, on the labels too.
  instructionsLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  frameCountLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  droppedLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  healthLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
  preview_.widget->setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::CrossCursor);

  ShowTrigger(kCaptureTriggerMouseUp);
  SetFrameCount(0);
  resize(kLargestWidth, kLargestHeight);
  LayOutBar();
}

void CaptureWindow::PlaceOn(const QRect& screenArea) {
  const int width = std::min(kLargestWidth, screenArea.width() - 40);
  const int height = std::min(kLargestHeight, screenArea.height() - 60);
  setFixedSize(std::max(width, 320), std::max(height, 240));
  move(screenArea.x() + (screenArea.width() - this->width()) / 2,
       screenArea.y() + (screenArea.height() - this->height()) / 2);
  LayOutBar();
}

void CaptureWindow::LayOutBar() {
  const Rect area = GetWindowRectLocal(this);
  const int innerWidth = area.right - 2 * kPreviewSideMargin;
  const int countWidth = 220;
  // Two rows: what to do and the count; under them, the capture's health.
  const int healthHeight = 24;
  const int topHeight = kCaptureWindowTopBarHeight - healthHeight;
  const int countLeft = area.right - kPreviewSideMargin - countWidth;
  instructionsLabel_->setGeometry(kPreviewSideMargin, 0, innerWidth - countWidth, topHeight);
  frameCountLabel_->setGeometry(countLeft, 0, countWidth, topHeight);
  healthLabel_->setGeometry(kPreviewSideMargin, topHeight, innerWidth - countWidth, healthHeight);
  droppedLabel_->setGeometry(countLeft, topHeight, countWidth, healthHeight);
}

void CaptureWindow::ShowTrigger(uint8_t trigger) {
  // The stop-motion keys, on a second, quieter line: they work only where
  // frames are taken one at a time.
  const QString stopMotionKeys =
      tr("O onion skin, [ and ] its strength, Backspace takes the last frame back, P plays the last frames.");
  const auto twoLines = [&](const QString& first) {
    return QStringLiteral("%1<br><span style=\"font-size: small;\">%2</span>")
        .arg(first.toHtmlEscaped(), stopMotionKeys.toHtmlEscaped());
  };
  switch (trigger) {
    case kCaptureTriggerMouseDown:
      instructionsLabel_->setText(
          twoLines(tr("Press the mouse button or the space bar to take a frame.  Esc finishes.")));
      break;
    case kCaptureTriggerEveryFrame:
      instructionsLabel_->setText(tr("Recording every frame.  Press Esc to finish."));
      break;
    default:
      instructionsLabel_->setText(
          twoLines(tr("Click or press the space bar to take a frame.  Esc finishes.")));
      break;
  }
}

void CaptureWindow::SetFrameCount(uint32_t frames) {
  frames_ = frames;
  frameCountLabel_->setText(FramesText(frames));
  ShowTitle();
}

void CaptureWindow::SetHealth(const fw::CaptureHealthReport& report) {
  framesDropped_ = report.framesDropped;
  droppedLabel_->setText(QString::fromStdString(fw::DroppedFramesText(report.framesDropped)));
  QStringList health;
  if (report.minutesLeft) health << QString::fromStdString(fw::MinutesLeftText(*report.minutesLeft)) + '.';
  if (!report.diskWarning.empty()) health << QString::fromStdString(report.diskWarning);
  healthLabel_->setText(health.join(QStringLiteral("  ")));
  healthLabel_->setPalette(report.diskWarning.empty() ? palette() : droppedLabel_->palette());
  ShowTitle();
}

void CaptureWindow::ShowTitle() {
  // The title too, so the count (and the drops) show in the task bar.
  QString counts = FramesText(frames_);
  if (framesDropped_ > 0) counts += ", " + QString::fromStdString(fw::DroppedFramesText(framesDropped_));
  setWindowTitle(tr("Framewright HD - Capture (%1)").arg(counts));
}

bool CaptureWindow::event(QEvent* event) {
  if (event->type() != QEvent::UpdateRequest || gCapture == nullptr) return QWidget::event(event);
  // The window's repaint as a whole (the preview's paint and the window's
  // composition and flush to the screen) is the preview's share of the main
  // thread during a capture.
  ScopedNanos repaintTime(&gCaptureTiming.previewPaintNanos);
  ++gCaptureTiming.previewPaints;
  return QWidget::event(event);
}

void CaptureWindow::mousePressEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() == Qt::LeftButton) clickWindow_.mouseDown();
}

void CaptureWindow::mouseReleaseEvent(QMouseEvent* event) {
  event->accept();
  if (event->button() == Qt::LeftButton) clickWindow_.mouseUp();
}

void CaptureWindow::keyPressEvent(QKeyEvent* event) {
  // The hardware key for Escape and the space bar: the layout does not
  // matter. The stop-motion keys by the character they type; Backspace and
  // Delete type theirs on some systems only.
  event->accept();
  uint32_t character = 0;
  if (event->key() == Qt::Key_Backspace)
    character = 8;
  else if (event->key() == Qt::Key_Delete)
    character = 127;
  else if (event->text().size() == 1)
    character = event->text().at(0).unicode();
  clickWindow_.keyDown(event->nativeScanCode(), character);
}

void CaptureWindow::closeEvent(QCloseEvent* event) {
  if (closeAllowed_) {
    event->accept();
    return;
  }
  // The window goes away when the capture has ended, not before.
  event->ignore();
  clickWindow_.windowShouldClose();
}

}  // namespace fw
