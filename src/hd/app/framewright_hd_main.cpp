// framewright-hd: Framewright HD's program. Builds the windows and the
// application logic, starts it, and on the way out (the Quit command,
// closing the main window, or SIGINT/SIGTERM from a terminal) lets it finish
// a running capture and write the settings.
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>

#include "core/platform/fault_injection.h"
#include "core/platform/files.h"
#include "core/platform/manual_location.h"
#include "hd/app/hd_app_delegate.h"
#include "hd/app/qt_app_view.h"
#include "hd/app/surface_preview_port.h"
#include "hd/preview/raster_preview_widget.h"

#ifndef FW_MANUAL_RELATIVE_PATH
#define FW_MANUAL_RELATIVE_PATH "../share/doc/framewright/manual.html"
#endif

using namespace fw;

namespace {

int gSignalPipe[2] = {-1, -1};

void OnTerminationSignal(int) {
  const char byte = 1;
  // Only async-signal-safe work here: the event loop does the rest.
  [[maybe_unused]] const ssize_t written = write(gSignalPipe[1], &byte, 1);
}

// A terminal's Ctrl-C or a session's SIGTERM quits like the Quit command, so
// a capture that is running is finished rather than cut off.
void QuitOnTerminationSignals(QtAppView* view) {
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalPipe) != 0) {
    std::perror("framewright-hd: signal pipe");
    return;
  }
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, view);
  QObject::connect(notifier, &QSocketNotifier::activated, view, [view] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = read(gSignalPipe[0], &byte, 1);
    view->Quit();
  });
  struct sigaction action = {};
  action.sa_handler = &OnTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

std::string ManualURL() {
  std::string path;
  if (const OSErr err = FindManual(FW_MANUAL_RELATIVE_PATH, &path); err != noErr) {
    std::fprintf(stderr, "framewright-hd: the manual is not beside the program (error %d)\n", err);
    return {};
  }
  return FileURLOfPath(path);
}

// Test seam: with FRAMEWRIGHT_TEST_DISK_BYTES_PER_SECOND set, every file the
// program writes goes at that speed, as on a disk that slow (the tests of
// the capture's health use it; nothing else should).
void SlowDiskForTesting() {
  const char* speed = std::getenv("FRAMEWRIGHT_TEST_DISK_BYTES_PER_SECOND");
  if (speed == nullptr || *speed == '\0') return;
  const unsigned long long bytesPerSecond = std::strtoull(speed, nullptr, 10);
  if (bytesPerSecond == 0) return;
  InjectWriteSlowdown(fw::WriteSlowdown{"/", bytesPerSecond});
  std::fprintf(stderr, "framewright-hd: writing as a disk of %llu bytes per second (test)\n", bytesPerSecond);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Framewright HD"));
  QApplication::setDesktopFileName(QStringLiteral("framewright-hd"));
  // The main window's close ends the run; hidden windows must not.
  QApplication::setQuitOnLastWindowClosed(false);

  SlowDiskForTesting();
  const std::string manualURL = ManualURL();
  // Before any window exists: a window holding an OpenGL widget cannot even
  // be painted on a display without a usable OpenGL.
  const char* keepSoftwareOpenGL = std::getenv(kKeepSoftwareOpenGLVariable);
  const PreviewChoice previewChoice = ChoosePreviewKindForDisplay(
      keepSoftwareOpenGL != nullptr && *keepSoftwareOpenGL != '\0' ? SoftwareOpenGL::kKeepOpenGL
                                                                   : SoftwareOpenGL::kPreferRaster);
  if (!previewChoice.reason.empty())
    std::fprintf(stderr, "framewright-hd: %s\n", previewChoice.reason.c_str());
  int status = 0;
  {
    QtAppView view(QString::fromStdString(manualURL), previewChoice.kind);
    SurfacePreviewPort preview(view.mainWindow().previewSurface(), view.captureWindow().previewSurface());
    HDAppDelegate delegate(view, preview, manualURL);
    view.Attach(&delegate);
    QObject::connect(&app, &QCoreApplication::aboutToQuit,
                     [&delegate] { delegate.applicationWillTerminate(); });
    QuitOnTerminationSignals(&view);
    // A file size limit ends a capture as a full disk does, with its movie.
    TreatFileSizeLimitAsFullDisk();

    delegate.applicationDidFinishLaunching();
    status = QApplication::exec();
    // The windows close after the logic is done with them; dialogs let go
    // of late are deleted before the windows go.
    view.Attach(nullptr);
  }
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return status;
}
