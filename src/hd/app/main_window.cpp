// The main window.
#include "hd/app/main_window.h"

#include <QCloseEvent>
#include <QKeySequence>
#include <QLayout>
#include <QMenuBar>

#include "core/capture/capture_health.h"
#include "hd/app/window_rects.h"

namespace fw {

namespace {

// The picture area: room for a 16:9 input at 780 × 439 between the bars.
constexpr int kPreviewWindowWidth = 800;
constexpr int kPreviewWindowHeight = 600;

}  // namespace

MainWindow::MainWindow(Commands commands, PreviewKind previewKind)
    : commands_(std::move(commands)),
      preview_(MakePreviewWidget(previewKind, this)),
      inputLabel_(new QLabel(preview_.widget)),
      frameCountLabel_(new QLabel(preview_.widget)),
      captureButton_(new QPushButton(tr("Start Capture"), preview_.widget)) {
  setWindowTitle(tr("Framewright HD"));
  setCentralWidget(preview_.widget);
  preview_.widget->setFixedSize(kPreviewWindowWidth, kPreviewWindowHeight);

  inputLabel_->setObjectName("inputLabel");
  frameCountLabel_->setObjectName("frameCountLabel");
  captureButton_->setObjectName("captureButton");
  frameCountLabel_->setText(tr("Start a capture, then click in the capture window for each frame."));
  // Secondary text: readable, but quieter than the input's name.
  QPalette quiet = frameCountLabel_->palette();
  quiet.setColor(QPalette::WindowText, QColor(0x5A, 0x5A, 0x5A));
  frameCountLabel_->setPalette(quiet);
  QFont bold = inputLabel_->font();
  bold.setBold(true);
  inputLabel_->setFont(bold);
  SetInputTitle(QString());

  // Only the first frame of an input turns the button on.
  captureButton_->setEnabled(false);
  captureButton_->setDefault(true);
  connect(captureButton_, &QPushButton::clicked, this, [this] { commands_.startCapture(); });

  BuildMenus();
  LayOutBars();
  // The size is the window's own; only its place is remembered.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
}

void MainWindow::BuildMenus() {
  QMenu* fileMenu = menuBar()->addMenu(tr("&File"));
  startCaptureAction_ = fileMenu->addAction(tr("&Start Capture"), this, [this] { commands_.startCapture(); });
  startCaptureAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
  startCaptureAction_->setEnabled(false);
  prefsAction_ = fileMenu->addAction(tr("&Preferences…"), this, [this] { commands_.preferences(); });
  prefsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Comma));
  prefsAction_->setMenuRole(QAction::PreferencesRole);
  fileMenu->addSeparator();
  QAction* quitAction = fileMenu->addAction(tr("&Quit"), this, [this] { commands_.quit(); });
  quitAction->setShortcut(QKeySequence::Quit);
  quitAction->setMenuRole(QAction::QuitRole);

  QMenu* helpMenu = menuBar()->addMenu(tr("&Help"));
  QAction* manualAction =
      helpMenu->addAction(tr("Framewright HD &Help"), this, [this] { commands_.manual(); });
  manualAction->setShortcut(QKeySequence::HelpContents);
  aboutAction_ = helpMenu->addAction(tr("&About Framewright HD"), this, [this] { commands_.about(); });
  aboutAction_->setMenuRole(QAction::AboutRole);
}

void MainWindow::LayOutBars() {
  const Rect area = GetWindowRectLocal(preview_.widget);
  const int width = area.right - area.left;
  const int innerWidth = width - 2 * kPreviewSideMargin;
  inputLabel_->setGeometry(kPreviewSideMargin, 0, innerWidth, kMainWindowTopBarHeight);

  const int barTop = area.bottom - kMainWindowBottomBarHeight;
  const QSize buttonSize = captureButton_->sizeHint().expandedTo(QSize(150, 32));
  const int buttonTop = barTop + (kMainWindowBottomBarHeight - buttonSize.height()) / 2;
  captureButton_->setGeometry(width - kPreviewSideMargin - buttonSize.width(), buttonTop, buttonSize.width(),
                              buttonSize.height());
  frameCountLabel_->setGeometry(kPreviewSideMargin, barTop,
                                innerWidth - buttonSize.width() - kPreviewSideMargin,
                                kMainWindowBottomBarHeight);
}

void MainWindow::SetInputTitle(const QString& title) {
  inputLabel_->setText(title.isEmpty() ? tr("No video input") : tr("Video input: %1").arg(title));
}

void MainWindow::SetLastCaptureFrames(uint32_t frames) {
  lastCaptureFrames_ = frames;
  frameCountLabel_->setText(frames == 1 ? tr("Last capture: 1 frame")
                                        : tr("Last capture: %1 frames").arg(frames));
}

void MainWindow::SetLastCaptureDroppedFrames(uint32_t framesDropped) {
  if (framesDropped == 0) return;
  const QString written = lastCaptureFrames_ == 1 ? tr("Last capture: 1 frame")
                                                  : tr("Last capture: %1 frames").arg(lastCaptureFrames_);
  // The capture window's words for the same count, during the capture.
  const QString dropped = QString::fromStdString(fw::DroppedFramesText(framesDropped));
  frameCountLabel_->setText(tr("%1, %2 (the computer could not keep up)").arg(written, dropped));
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closeAllowed_) {
    event->accept();
    return;
  }
  // Closing the main window ends the program (a running capture is finished
  // on the way out).
  event->ignore();
  commands_.quit();
}

}  // namespace fw
