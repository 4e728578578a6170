// framewright: the classic program on the Qt backend of its toolbox. The
// Qt side is only the window system under the toolbox and the put-file
// dialog; everything the program decides is in the library.
#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QStandardPaths>
#include <string>

#include "classic/app/framewright_app.h"
#include "classic/capture/new_capture_file.h"
#include "classic/toolbox/qt_backend.h"
#include "core/platform/files.h"

#ifndef FW_MANUAL_RELATIVE_PATH
#define FW_MANUAL_RELATIVE_PATH "../share/doc/framewright/manual.html"
#endif
#ifndef FW_VERSION
#define FW_VERSION "0"
#endif

using namespace fw;

namespace {

// Capture location "ask": the desktop's own save dialog, which asks before
// it replaces a file.
class QtPutFileDialog : public PutFileDialog {
 public:
  OSErr AskForFile(const std::string& suggestedName, FileRef* outFile, bool* outReplacing) override {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString chosen =
        QFileDialog::getSaveFileName(nullptr, QStringLiteral("Save the capture as"),
                                     folder + QLatin1Char('/') + QString::fromStdString(suggestedName));
    if (chosen.isEmpty()) return userCanceledErr;
    *outReplacing = QFileInfo::exists(chosen);
    return MakeFileRef(QFileInfo(chosen).absoluteFilePath().toStdString(), outFile);
  }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Framewright"));
  QApplication::setDesktopFileName(QStringLiteral("framewright"));
  QApplication::setQuitOnLastWindowClosed(false);

  SetManualRelativePath(FW_MANUAL_RELATIVE_PATH);
  SetProgramVersion(FW_VERSION);
  QtPutFileDialog putFileDialog;
  SetPutFileDialog(&putFileDialog);
  // A file size limit ends a capture as a full disk does, with its file.
  TreatFileSizeLimitAsFullDisk();

  InitToolbox(MakeQtToolboxBackend());
  // SIGTERM, SIGINT, SIGHUP and the session's end ask to quit; a running
  // capture is finished first.
  InstallQuitSignalHandlers();
  const int status = FramewrightMain();
  ShutdownToolbox();
  SetPutFileDialog(nullptr);
  return status;
}
