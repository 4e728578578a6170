// The Qt face of Framewright HD.
#include "hd/app/qt_app_view.h"

#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QScreen>
#include <QUrl>

#include "core/platform/folders.h"
#include "hd/app/about_dialog.h"
#include "hd/app/hd_app_delegate.h"
#include "hd/app/prefs_dialog.h"

namespace fw {

QtAppView::QtAppView(QString aboutLinkText, PreviewKind previewKind)
    : aboutLinkText_(std::move(aboutLinkText)) {
  MainWindow::Commands commands;
  commands.startCapture = [this] {
    if (delegate_ != nullptr) delegate_->startCapture();
  };
  commands.preferences = [this] {
    if (delegate_ != nullptr) delegate_->preferences();
  };
  commands.about = [this] {
    if (delegate_ != nullptr) delegate_->about();
  };
  commands.manual = [this] {
    if (delegate_ != nullptr) delegate_->manual();
  };
  // The end of the run (a capture finished, the settings written) happens
  // on the way out of the event loop, whichever way the quit came.
  commands.quit = [this] { Quit(); };
  mainWindow_ = std::make_unique<MainWindow>(std::move(commands), previewKind);
  captureWindow_ = std::make_unique<CaptureWindow>(clickWindow_, previewKind);
  // A precise timer: the frame poll should tick every 16 ms, not whenever
  // the coarse timer's slack allows.
  frameTimer_.setTimerType(Qt::PreciseTimer);
  connect(&frameTimer_, &QTimer::timeout, this, [this] {
    if (onTick_) onTick_();
  });
}

QtAppView::~QtAppView() {
  frameTimer_.stop();
  for (const QPointer<QWidget>& window : auxiliaryWindows_) delete window.data();
}

void QtAppView::Quit() {
  mainWindow_->AllowClose();
  captureWindow_->AllowClose();
  QApplication::quit();
}

void QtAppView::Attach(HDAppDelegate* delegate) {
  delegate_ = delegate;
}

QWidget* QtAppView::WindowOf(WindowId window) {
  return window == WindowId::kCaptureWindow ? static_cast<QWidget*>(captureWindow_.get()) : mainWindow_.get();
}

void QtAppView::ShowWindow(WindowId window) {
  QWidget* widget = WindowOf(window);
  if (window == WindowId::kCaptureWindow && !widget->isVisible()) {
    // The capture window comes up on the screen the main window was on.
    QScreen* screen =
        mainWindow_->screen() != nullptr ? mainWindow_->screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr) captureWindow_->PlaceOn(screen->availableGeometry());
  }
  widget->show();
  widget->raise();
  widget->activateWindow();
  if (window == WindowId::kCaptureWindow) widget->setFocus(Qt::ActiveWindowFocusReason);
}

void QtAppView::HideWindow(WindowId window) {
  WindowOf(window)->hide();
}

void QtAppView::TrackAuxiliaryWindow(QWidget* window) {
  std::erase_if(auxiliaryWindows_, [](const QPointer<QWidget>& w) { return w.isNull(); });
  auxiliaryWindows_.emplace_back(window);
}

void QtAppView::HideAuxiliaryWindows() {
  for (const QPointer<QWidget>& window : auxiliaryWindows_)
    if (window != nullptr) window->hide();
}

void QtAppView::ShowAuxiliaryWindows() {
  for (const QPointer<QWidget>& window : auxiliaryWindows_)
    if (window != nullptr) window->show();
}

void QtAppView::SetCaptureTrigger(uint8_t trigger) {
  clickWindow_.setCaptureTrigger(trigger, delegate_);
  captureWindow_->ShowTrigger(trigger);
}

void QtAppView::SetAuxiliaryMenuItems(Enablement enablement) {
  const bool enabled = enablement == Enablement::kEnabled;
  mainWindow_->aboutAction()->setEnabled(enabled);
  mainWindow_->prefsAction()->setEnabled(enabled);
}

void QtAppView::SetCaptureButton(Enablement enablement) {
  const bool enabled = enablement == Enablement::kEnabled;
  mainWindow_->captureButton()->setEnabled(enabled);
  mainWindow_->startCaptureAction()->setEnabled(enabled);
}

void QtAppView::SetFrameCount(uint32_t framesWritten) {
  captureWindow_->SetFrameCount(framesWritten);
  mainWindow_->SetLastCaptureFrames(framesWritten);
}

void QtAppView::ReportDroppedFrames(uint32_t framesDropped) {
  // Under the last capture's count in the main window, where the user looks
  // when the capture is over; an alert would hide a finished movie behind
  // a failure it is not.
  mainWindow_->SetLastCaptureDroppedFrames(framesDropped);
}

void QtAppView::SetCaptureHealth(const fw::CaptureHealthReport& report) {
  captureWindow_->SetHealth(report);
}

WindowFrame QtAppView::FrameOf(WindowId window) {
  const QRect frame = WindowOf(window)->frameGeometry();
  return WindowFrame{frame.x(), frame.y(), frame.width(), frame.height()};
}

void QtAppView::MovePointerTo(int screenX, int screenY) {
  QCursor::setPos(screenX, screenY);
}

void QtAppView::ShowAlert(WindowId window, const std::string& message, std::function<void()> onDismissed) {
  auto* alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Framewright HD"),
                                QString::fromStdString(message), QMessageBox::Ok, WindowOf(window));
  alert->setObjectName("alert");
  alert->setWindowModality(Qt::WindowModal);
  alert->setAttribute(Qt::WA_DeleteOnClose);
  connect(alert, &QMessageBox::finished, this, [onDismissed = std::move(onDismissed)] {
    if (onDismissed) onDismissed();
  });
  // open(), not exec(): no nested event loop, the frame timer keeps going.
  alert->open();
}

void QtAppView::ShowSavePanel(const std::string& suggestedName,
                              std::function<void(std::optional<std::string> path)> onDone) {
  auto* panel = new QFileDialog(mainWindow_.get(), tr("Save the Capture As"));
  panel->setObjectName("savePanel");
  panel->setAcceptMode(QFileDialog::AcceptSave);
  panel->setFileMode(QFileDialog::AnyFile);
  panel->setNameFilter(tr("QuickTime movies (*.mov)"));
  panel->setDefaultSuffix(QStringLiteral("mov"));
  // Documents where there is one, else the home folder (never the folder
  // the program happened to be started from).
  std::string documents;
  const bool haveDocuments = GetDocumentsFolder(&documents, FolderCreation::kUseAsIs) == noErr &&
                             QDir(QString::fromStdString(documents)).exists();
  panel->setDirectory(haveDocuments ? QString::fromStdString(documents) : QDir::homePath());
  panel->resize(760, 480);
  panel->selectFile(QString::fromStdString(suggestedName));
  panel->setWindowModality(Qt::WindowModal);
  panel->setAttribute(Qt::WA_DeleteOnClose);
  connect(panel, &QFileDialog::finished, this, [panel, onDone = std::move(onDone)](int result) {
    const QStringList files = panel->selectedFiles();
    if (result == QDialog::Accepted && !files.isEmpty())
      onDone(files.first().toStdString());
    else
      onDone(std::nullopt);
  });
  panel->open();
}

void QtAppView::StartFrameTimer(std::chrono::microseconds interval, std::function<void()> onTick) {
  onTick_ = std::move(onTick);
  // Whole milliseconds, rounded down so that a 60 Hz source is never
  // outpaced by the poll.
  frameTimer_.start(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(interval),
                             std::chrono::milliseconds(1)));
}

std::vector<ScreenArea> QtAppView::ScreenAreas() {
  std::vector<ScreenArea> areas;
  QScreen* primary = QGuiApplication::primaryScreen();
  auto add = [&areas](const QScreen* screen) {
    const QRect area = screen->availableGeometry();
    areas.push_back(ScreenArea{area.x(), area.y(), area.width(), area.height()});
  };
  if (primary != nullptr) add(primary);
  for (const QScreen* screen : QGuiApplication::screens())
    if (screen != primary) add(screen);
  return areas;
}

void QtAppView::MoveWindowTo(WindowId window, int x, int y) {
  WindowOf(window)->move(x, y);
}

std::unique_ptr<PrefsWindowView> QtAppView::CreatePrefsWindowView() {
  auto* dialog = new PrefsDialog(mainWindow_.get());
  TrackAuxiliaryWindow(dialog);
  return std::make_unique<QtPrefsWindowView>(dialog);
}

std::unique_ptr<AboutBoxView> QtAppView::CreateAboutBoxView() {
  auto* dialog = new AboutDialog(aboutLinkText_, mainWindow_.get());
  TrackAuxiliaryWindow(dialog);
  return std::make_unique<QtAboutBoxView>(dialog);
}

void QtAppView::SetInputTitle(const std::string& title) {
  mainWindow_->SetInputTitle(QString::fromStdString(title));
}

OSErr QtAppView::LaunchURL(const char* url) {
  if (url == nullptr || url[0] == '\0') return paramErr;
  const QUrl target(QString::fromUtf8(url), QUrl::StrictMode);
  if (!target.isValid() || target.scheme().isEmpty()) return paramErr;
  return QDesktopServices::openUrl(target) ? noErr : kNoURLHandlerErr;
}

void QtAppView::Beep() {
  QApplication::beep();
}

}  // namespace fw
