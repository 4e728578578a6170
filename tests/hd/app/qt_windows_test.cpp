// The Qt windows on the offscreen platform: the preferences window filled
// from a record and read back through its logic, its number fields' rules,
// the capture window's keys and clicks, the alerts, the about box's link and
// the main window's controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <cstring>

#include "hd/app/about_dialog.h"
#include "hd/app/capture_window.h"
#include "hd/app/prefs_dialog.h"
#include "hd/app/qt_app_view.h"
#include "hd/app/window_rects.h"

using namespace fw;

namespace {

// The application lives in main(): Qt's own statics (the test pointing
// device of QTest's mouse events) must go after it, not before.
void App() {
  ASSERT_NE(QApplication::instance(), nullptr);
}

CaptureDevices Device(const char* name, const char* id, std::vector<const char*> inputs) {
  CaptureDevices device{};
  std::strncpy(device.name, name, sizeof device.name - 1);
  std::strncpy(device.uniqueID, id, sizeof device.uniqueID - 1);
  device.inputCount = static_cast<uint8_t>(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i)
    std::strncpy(device.inputs[i].name, inputs[i], sizeof device.inputs[i].name - 1);
  return device;
}

class RecordingPrefsDelegate final : public PrefsWindowDelegate {
 public:
  std::vector<std::optional<PrefsStruct>> results;
  std::function<void()> then;
  void prefsDidFinish(bool ok, const PrefsStruct* newSettings) override {
    results.push_back(ok && newSettings != nullptr ? std::optional<PrefsStruct>(*newSettings) : std::nullopt);
    if (then) then();
  }
};

template <typename T>
T* Child(QWidget* parent, const char* name) {
  T* child = parent->findChild<T*>(name);
  EXPECT_NE(child, nullptr) << name;
  return child;
}

void Retype(QLineEdit* field, const QString& text) {
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  QTest::keyClicks(field, text);
}

class PrefsWindowQtTest : public ::testing::Test {
 protected:
  void SetUp() override {
    App();
    devices_ = {Device("Webcam", "v4l2:1", {"Camera 1", "Camera 2"}),
                Device("Card", "BM_K5S29FVB2W_Card", {})};
    prefs_ = PrefsStruct{};
    std::strcpy(prefs_.uniqueID, "v4l2:1");
    prefs_.inputNum = 1;
    prefs_.captureTrigger = kCaptureTriggerMouseDown;
    prefs_.dateOrdering = 1;
    prefs_.captureLocation = kCaptureLocationDocuments;
    prefs_.ignoreFrameCount = 3;
    prefs_.hundredTimesMovieFPS = 2500;
    prefs_.flipHFlag = 1;
    prefs_.trimTop = 4;
    prefs_.trimLeft = 6;
    prefs_.trimRight = 8;
    prefs_.trimBottom = 10;
    dialog_ = new PrefsDialog(nullptr);
    window_ = std::make_unique<PrefsWindow>(prefs_, devices_.data(), 2, delegate_,
                                            std::make_unique<QtPrefsWindowView>(dialog_.data()));
    // The logic lets the window go from inside its button's handler.
    delegate_.then = [this] { window_.reset(); };
  }
  void TearDown() override {
    window_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  void ClickButton(QDialogButtonBox::StandardButton which) {
    auto* buttons = dialog_->findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    QTest::mouseClick(buttons->button(which), Qt::LeftButton);
  }

  std::vector<CaptureDevices> devices_;
  PrefsStruct prefs_;
  RecordingPrefsDelegate delegate_;
  QPointer<PrefsDialog> dialog_;
  std::unique_ptr<PrefsWindow> window_;
};

TEST_F(PrefsWindowQtTest, FillsFromTheRecordAndWritesItBack) {
  ASSERT_TRUE(dialog_->isVisible());
  auto* devicePopup = Child<QComboBox>(dialog_, "devicePopup");
  ASSERT_EQ(devicePopup->count(), 3);
  EXPECT_EQ(devicePopup->itemText(0), "Webcam - Camera 1");
  EXPECT_EQ(devicePopup->itemText(2), "Card");
  EXPECT_EQ(devicePopup->currentIndex(), 1);
  EXPECT_EQ(Child<QComboBox>(dialog_, "triggerPopup")->currentIndex(), 1);
  EXPECT_EQ(Child<QComboBox>(dialog_, "dateOrderPopup")->currentIndex(), 1);
  EXPECT_EQ(Child<QComboBox>(dialog_, "captureLocationPopup")->currentIndex(), 3);
  EXPECT_EQ(Child<QLineEdit>(dialog_, "triggerDelayText")->text(), "3");
  EXPECT_EQ(Child<QLineEdit>(dialog_, "movieFrameRateText")->text(), "25");
  EXPECT_TRUE(Child<QCheckBox>(dialog_, "flipHCheck")->isChecked());
  EXPECT_FALSE(Child<QCheckBox>(dialog_, "flipVCheck")->isChecked());
  EXPECT_EQ(Child<QLineEdit>(dialog_, "trimTopText")->text(), "4");
  EXPECT_EQ(Child<QLineEdit>(dialog_, "trimLeftText")->text(), "6");
  EXPECT_EQ(Child<QLineEdit>(dialog_, "trimRightText")->text(), "8");
  EXPECT_EQ(Child<QLineEdit>(dialog_, "trimBottomText")->text(), "10");

  // Untouched, OK hands back the same settings.
  ClickButton(QDialogButtonBox::Ok);
  ASSERT_EQ(delegate_.results.size(), 1u);
  ASSERT_TRUE(delegate_.results[0].has_value());
  EXPECT_EQ(std::memcmp(&*delegate_.results[0], &prefs_, sizeof prefs_), 0);
  EXPECT_EQ(window_, nullptr);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(dialog_.isNull());
}

TEST_F(PrefsWindowQtTest, EditedControlsComeBackConverted) {
  Child<QComboBox>(dialog_, "devicePopup")->setCurrentIndex(2);
  Child<QComboBox>(dialog_, "triggerPopup")->setCurrentIndex(2);
  QTest::mouseClick(Child<QCheckBox>(dialog_, "flipVCheck"), Qt::LeftButton);
  Retype(Child<QLineEdit>(dialog_, "triggerDelayText"), "300");
  Retype(Child<QLineEdit>(dialog_, "movieFrameRateText"), "29.97");
  Retype(Child<QLineEdit>(dialog_, "trimTopText"), "1");
  Retype(Child<QLineEdit>(dialog_, "trimLeftText"), "2");
  Retype(Child<QLineEdit>(dialog_, "trimRightText"), "3");
  Retype(Child<QLineEdit>(dialog_, "trimBottomText"), "0");
  ClickButton(QDialogButtonBox::Ok);

  ASSERT_EQ(delegate_.results.size(), 1u);
  ASSERT_TRUE(delegate_.results[0].has_value());
  const PrefsStruct& result = *delegate_.results[0];
  EXPECT_STREQ(result.uniqueID, "BM_K5S29FVB2W_Card");
  EXPECT_EQ(result.inputNum, 0);
  EXPECT_EQ(result.captureTrigger, kCaptureTriggerEveryFrame);
  EXPECT_EQ(result.flipVFlag, 1);
  EXPECT_EQ(result.ignoreFrameCount, 44);
  EXPECT_EQ(result.hundredTimesMovieFPS, 2997);
  EXPECT_EQ(result.trimTop, 2);
  EXPECT_EQ(result.trimLeft, 2);
  EXPECT_EQ(result.trimRight, 4);
  EXPECT_EQ(result.trimBottom, 0);
}

TEST_F(PrefsWindowQtTest, NumberFieldsRefuseWhatIsNotANumber) {
  auto* trim = Child<QLineEdit>(dialog_, "trimTopText");
  Retype(trim, "-");
  EXPECT_EQ(trim->text(), "");
  Retype(trim, "a");
  EXPECT_EQ(trim->text(), "");
  Retype(trim, "1a2");
  EXPECT_EQ(trim->text(), "12");
  // A negative number cannot be typed one key at a time.
  Retype(trim, "-6");
  EXPECT_EQ(trim->text(), "6");

  auto* rate = Child<QLineEdit>(dialog_, "movieFrameRateText");
  Retype(rate, "a2-4.5.6");
  EXPECT_EQ(rate->text(), "24.56");

  // Escape is Cancel: nothing comes back.
  QTest::keyClick(dialog_, Qt::Key_Escape);
  ASSERT_EQ(delegate_.results.size(), 1u);
  EXPECT_FALSE(delegate_.results[0].has_value());
}

class RecordingTriggers final : public AppDelegateDelegate {
 public:
  std::vector<std::string> messages;
  void scheduleFrameCapture() override { messages.push_back("schedule"); }
  void stopCaptureWithErr(int32_t err) override { messages.push_back("stop " + std::to_string(err)); }
};

void PressKey(QWidget* window, int key, const QString& text, quint32 scanCode) {
  QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier, scanCode, 0, 0, text);
  QApplication::sendEvent(window, &event);
}

TEST(CaptureWindowQtTest, KeysByScanCodeAndClicksByTrigger) {
  App();
  RecordingTriggers triggers;
  ClickWindow clickWindow;
  CaptureWindow window(clickWindow);
  window.show();
  clickWindow.setCaptureTrigger(kCaptureTriggerMouseUp, &triggers);

  PressKey(&window, Qt::Key_Space, " ", kSpaceKeyCode);
  // A layout that puts another character on the space bar's key still
  // takes a frame; a key that types a space from elsewhere does not.
  PressKey(&window, Qt::Key_Underscore, "_", kSpaceKeyCode);
  PressKey(&window, Qt::Key_Space, " ", 0);
  PressKey(&window, Qt::Key_Escape, "\x1b", kEscapeKeyCode);
  EXPECT_EQ(triggers.messages, (std::vector<std::string>{"schedule", "schedule", "stop 0"}));

  triggers.messages.clear();
  QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(400, 400));
  EXPECT_TRUE(triggers.messages.empty());
  QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(400, 400));
  EXPECT_EQ(triggers.messages, std::vector<std::string>{"schedule"});
  // Clicks on the bar's labels count too.
  QTest::mouseClick(&window, Qt::LeftButton, {}, QPoint(30, 30));
  EXPECT_EQ(triggers.messages.size(), 2u);
  QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(400, 400));
  EXPECT_EQ(triggers.messages.size(), 2u);

  clickWindow.setCaptureTrigger(kCaptureTriggerMouseDown, &triggers);
  triggers.messages.clear();
  QTest::mousePress(&window, Qt::LeftButton, {}, QPoint(400, 400));
  EXPECT_EQ(triggers.messages, std::vector<std::string>{"schedule"});
  QTest::mouseRelease(&window, Qt::LeftButton, {}, QPoint(400, 400));
  EXPECT_EQ(triggers.messages.size(), 1u);

  // Closing the window finishes the capture; the window stays until then.
  window.close();
  EXPECT_EQ(triggers.messages.back(), "stop 0");
  EXPECT_TRUE(window.isVisible());
}

TEST(QtAppViewTest, AlertIsAWindowModalSheetAndFramesKeepComing) {
  App();
  QtAppView view(QStringLiteral("file:///manual.html"));
  int ticks = 0;
  view.StartFrameTimer(std::chrono::microseconds(16'667), [&ticks] { ++ticks; });
  // The main window stays hidden: the offscreen platform has no OpenGL to
  // paint its picture with.
  bool dismissed = false;
  const std::string text =
      "Sorry, there was an error while initialising: error 1300, no video input devices were found. Please "
      "check "
      "that a device is connected and any necessary driver software is installed.";
  view.ShowAlert(WindowId::kMainWindow, text, [&dismissed] { dismissed = true; });

  auto* alert = view.mainWindow().findChild<QMessageBox*>("alert");
  ASSERT_NE(alert, nullptr);
  EXPECT_EQ(alert->text().toStdString(), text);
  EXPECT_EQ(alert->windowModality(), Qt::WindowModal);
  ASSERT_EQ(alert->buttons().size(), 1);
  EXPECT_EQ(alert->buttons()[0]->text(), "OK");
  EXPECT_TRUE(alert->isVisible());

  // The sheet is up and no nested loop holds the timer.
  QTest::qWait(200);
  EXPECT_GT(ticks, 3);
  EXPECT_FALSE(dismissed);
  QTest::mouseClick(alert->buttons()[0], Qt::LeftButton);
  EXPECT_TRUE(dismissed);
}

TEST(QtAppViewTest, MenuItemsAndCaptureButtonFollowTheLogic) {
  App();
  QtAppView view(QStringLiteral("file:///manual.html"));
  MainWindow& main = view.mainWindow();
  EXPECT_FALSE(main.captureButton()->isEnabled());
  EXPECT_FALSE(main.startCaptureAction()->isEnabled());
  view.SetCaptureButton(Enablement::kEnabled);
  EXPECT_TRUE(main.captureButton()->isEnabled());
  EXPECT_TRUE(main.startCaptureAction()->isEnabled());
  view.SetAuxiliaryMenuItems(Enablement::kDisabled);
  EXPECT_FALSE(main.aboutAction()->isEnabled());
  EXPECT_FALSE(main.prefsAction()->isEnabled());
  EXPECT_EQ(main.prefsAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Comma));

  // The button sits in the bar below the picture, not over it.
  const Rect window = GetWindowRectLocal(main.preview());
  EXPECT_EQ(window, (Rect{0, 0, 600, 800}));
  const QRect button = main.captureButton()->geometry();
  EXPECT_GE(button.top(), window.bottom - kMainWindowBottomBarHeight);
  EXPECT_LE(button.bottom(), window.bottom);

  view.SetFrameCount(5);
  EXPECT_EQ(view.captureWindow().windowTitle(), "Framewright HD - Capture (5 frames)");
  view.SetInputTitle("Test Pattern Camera - 1280 x 720");
  EXPECT_EQ(main.findChild<QLabel*>("inputLabel")->text(), "Video input: Test Pattern Camera - 1280 x 720");
  EXPECT_EQ(view.LaunchURL(""), paramErr);
  EXPECT_EQ(view.LaunchURL("not a url"), paramErr);
}

// What the main window says under the picture after a capture, with the
// frames the every-frame queue had to drop (none: no mention of drops).
TEST(QtAppViewTest, LastCaptureLineCountsWrittenAndDroppedFrames) {
  App();
  struct Case {
    uint32_t written, dropped;
    const char* text;
  };
  const Case cases[] = {
      {1, 0, "Last capture: 1 frame"},
      {240, 0, "Last capture: 240 frames"},
      {1, 1, "Last capture: 1 frame, 1 frame dropped (the computer could not keep up)"},
      {598, 3, "Last capture: 598 frames, 3 frames dropped (the computer could not keep up)"},
  };
  for (const Case& c : cases) {
    QtAppView view(QStringLiteral("file:///manual.html"));
    view.SetFrameCount(c.written);
    view.ReportDroppedFrames(c.dropped);
    EXPECT_EQ(view.mainWindow().findChild<QLabel*>("frameCountLabel")->text().toStdString(), c.text);
  }
}

// The every-frame capture's health in the capture window: drops beside the
// count (and in the title, in the words of the main window's line), the
// minutes left and a slow disk's warning under the instructions; a fresh
// capture clears them.
TEST(QtAppViewTest, CaptureWindowShowsDropsMinutesLeftAndASlowDisk) {
  App();
  struct Case {
    fw::CaptureHealthReport report;
    const char* dropped;
    const char* health;
    const char* title;
  };
  const std::string warning = fw::DiskTooSlowWarning(40e6, 124.4e6);
  const Case cases[] = {
      {{0, 42, ""}, "", "42 minutes left on the disk.", "Framewright HD - Capture (598 frames)"},
      {{3, 0, warning},
       "3 frames dropped",
       "Less than a minute left on the disk.  This disk writes about 40 MB/s, less than the 125 MB/s this "
       "picture needs, so frames will be dropped.",
       "Framewright HD - Capture (598 frames, 3 frames dropped)"},
      {{1, std::nullopt, ""},
       "1 frame dropped",
       "",
       "Framewright HD - Capture (598 frames, 1 frame dropped)"},
      {{}, "", "", "Framewright HD - Capture (598 frames)"},
  };
  QtAppView view(QStringLiteral("file:///manual.html"));
  CaptureWindow& window = view.captureWindow();
  view.SetFrameCount(598);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    view.SetCaptureHealth(c.report);
    EXPECT_EQ(window.findChild<QLabel*>("droppedFramesLabel")->text().toStdString(), c.dropped);
    EXPECT_EQ(window.findChild<QLabel*>("captureHealthLabel")->text().toStdString(), c.health);
    EXPECT_EQ(window.windowTitle().toStdString(), c.title);
  }
}

TEST(QtAppViewTest, OpenDialogsHideForACaptureAndComeBackAfterIt) {
  App();
  QtAppView view(QStringLiteral("file:///manual.html"));
  std::unique_ptr<PrefsWindowView> prefs = view.CreatePrefsWindowView();
  std::unique_ptr<AboutBoxView> about = view.CreateAboutBoxView();
  prefs->Show();
  about->Show();
  auto* prefsDialog = view.mainWindow().findChild<PrefsDialog*>("prefsWindow");
  auto* aboutDialog = view.mainWindow().findChild<AboutDialog*>("aboutBox");
  ASSERT_NE(prefsDialog, nullptr);
  ASSERT_NE(aboutDialog, nullptr);

  view.HideAuxiliaryWindows();
  EXPECT_FALSE(prefsDialog->isVisible());
  EXPECT_FALSE(aboutDialog->isVisible());
  view.ShowAuxiliaryWindows();
  EXPECT_TRUE(prefsDialog->isVisible());
  EXPECT_TRUE(aboutDialog->isVisible());

  // A window the logic has let go of stays closed.
  QPointer<AboutDialog> closed(aboutDialog);
  about.reset();
  EXPECT_FALSE(closed->isVisible());
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(closed.isNull());
  view.HideAuxiliaryWindows();
  view.ShowAuxiliaryWindows();
  EXPECT_TRUE(prefsDialog->isVisible());
}

class RecordingAboutActions final : public AboutBoxActions {
 public:
  int closes = 0;
  void windowWillClose() override { ++closes; }
};

TEST(AboutDialogQtTest, LinkIsBlueUnderlinedAndClosingIsReported) {
  App();
  AboutDialog dialog(QStringLiteral("file:///usr/share/doc/framewright/manual.html"), nullptr);
  RecordingAboutActions actions;
  dialog.SetActions(&actions);
  dialog.show();
  auto* link = dialog.findChild<QLabel*>("linkText");
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(dialog.LinkText(), "file:///usr/share/doc/framewright/manual.html");
  dialog.ShowLink(dialog.LinkText(), dialog.LinkText());
  EXPECT_TRUE(link->text().contains("href=\"file:///usr/share/doc/framewright/manual.html\""));
  EXPECT_TRUE(link->text().contains("color: blue"));
  EXPECT_TRUE(link->text().contains("underline"));
  EXPECT_TRUE(link->openExternalLinks());

  dialog.close();
  EXPECT_EQ(actions.closes, 1);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
