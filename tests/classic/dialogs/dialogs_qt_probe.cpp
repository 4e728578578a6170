// The dialog toolkit on the Qt backend, for the test on a real X server.
//   dialogs_qt_probe dialog         a dialog with a two-digit numeric box
//                                   (item 3) and a free box (item 4), run by
//                                   StandardDialogEventLoop; prints "ready",
//                                   the items' global centres, and at the end
//                                   "item=N box3=… box4=… beeps=N".
//   dialogs_qt_probe clipboard-get  prints the desktop clipboard's text.
//   dialogs_qt_probe clipboard-set T  owns the desktop clipboard with T until
//                                   killed; prints "owned" once it does.
// Two separate X clients, so the clipboard is read and written through the
// X server, not inside one program.
#include <QApplication>
#include <QClipboard>
#include <array>
#include <cstdio>
#include <cstring>

#include "classic/dialogs/dialog_toolkit.h"
#include "classic/toolbox/qt_backend.h"

using namespace fw;

namespace {

constexpr int16_t kProbeDialogID = 800;
constexpr std::array kItems{
    DialogItemTemplate{kButtonDialogItem, Rect{100, 10, 120, 80}, "OK", 0},
    DialogItemTemplate{kButtonDialogItem, Rect{100, 100, 120, 170}, "Cancel", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{10, 10, 30, 100}, "", 0},
    DialogItemTemplate{kEditTextDialogItem, Rect{40, 10, 60, 200}, "", 0},
};
constexpr std::array kDialogs{
    DialogTemplate{kProbeDialogID, "Dialog probe", Rect{150, 150, 280, 400}, 0, WindowCloseBox::kPresent, 1,
                   kItems},
};

std::string BoxText(DialogRef dialog, int16_t item) {
  ControlRef control = nullptr;
  if (GetDialogItemAsControl(dialog, item, &control) != noErr) return "?";
  Str255 text;
  MyGetEditTextBoxText(control, text);
  return Str255ToString(text);
}

int RunDialog() {
  InitToolbox(MakeQtToolboxBackend());
  RegisterDialogTemplates(kDialogs);
  DialogRef dialog = GetNewDialog(kProbeDialogID, nullptr, kFirstWindowOfClass);
  ControlRef numeric = nullptr;
  if (dialog == nullptr || GetDialogItemAsControl(dialog, 3, &numeric) != noErr) return 1;
  SetTextBoxContentType(numeric, kContentTypeInteger);
  SetTextBoxMaxCharacters(numeric, 2);
  WindowRef window = GetDialogWindow(dialog);
  MyShowDialog(dialog);
  // MyShowDialog drew it and cleared its update; its activation says the
  // backend has shown it (the script also waits for the X window).
  for (;;) {
    EventRecord event;
    if (WaitNextEvent(updateMask | activMask, &event, 10, nullptr)) {
      ProcessEventInDialog(dialog, &event);
      if (event.what == activateEvt) break;
    }
  }
  const Rect content = GetWindowContentRectGlobal(window);
  std::printf("ready top=%d left=%d\n", content.top, content.left);
  for (int16_t item = 1; item <= CountDITL(dialog); ++item) {
    Rect box;
    GetDialogItem(dialog, item, nullptr, nullptr, &box);
    std::printf("item%d x=%d y=%d\n", item, content.left + (box.left + box.right) / 2,
                content.top + (box.top + box.bottom) / 2);
  }
  std::fflush(stdout);
  const int16_t item = StandardDialogEventLoop(dialog, 0);
  std::printf("item=%d box3=%s box4=%s beeps=%u\n", item, BoxText(dialog, 3).c_str(),
              BoxText(dialog, 4).c_str(), GetSysBeepCount());
  DisposeDialog(dialog);
  ShutdownToolbox();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "clipboard-get") == 0) {
    std::printf("%s\n", QGuiApplication::clipboard()->text().toUtf8().constData());
    return 0;
  }
  if (argc > 2 && std::strcmp(argv[1], "clipboard-set") == 0) {
    QGuiApplication::clipboard()->setText(QString::fromUtf8(argv[2]));
    std::printf("owned\n");
    std::fflush(stdout);
    return QApplication::exec();
  }
  return RunDialog();
}
