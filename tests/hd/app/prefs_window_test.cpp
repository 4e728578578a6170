// The preferences window's logic: its device items, the conversions of its
// fields on OK, the effect of new settings on the preview and the input, and
// the rules of its number fields.
#include <climits>

#include "app_test_support.h"
#include "core/capture/error_messages.h"

using namespace fw;

namespace {

CaptureDevices Device(const char* name, const char* id, std::vector<const char*> inputs) {
  CaptureDevices device{};
  std::strncpy(device.name, name, sizeof device.name - 1);
  std::strncpy(device.uniqueID, id, sizeof device.uniqueID - 1);
  device.mediaKind = kMediaKindVideo;
  device.inputCount = static_cast<uint8_t>(inputs.size());
  for (size_t i = 0; i < inputs.size(); ++i)
    std::strncpy(device.inputs[i].name, inputs[i], sizeof device.inputs[i].name - 1);
  return device;
}

PrefsStruct PrefsFor(const char* id, int16_t inputNum) {
  PrefsStruct prefs{};
  std::strncpy(prefs.uniqueID, id, sizeof prefs.uniqueID - 1);
  prefs.inputNum = inputNum;
  return prefs;
}

TEST(DeviceItemsTest, OneItemPerInputAndTheSavedOneSelected) {
  const std::vector<CaptureDevices> devices{Device("Webcam", "v4l2:usb-1", {"Camera 1", "Camera 2"}),
                                            Device("Card", "BM_K5S29FVB2W_Card", {}),
                                            Device("Pattern", "pattern", {"1280 x 720", "3840 x 2160"})};
  const auto count = static_cast<int32_t>(devices.size());
  EXPECT_EQ(DeviceItemTitles(devices.data(), count),
            (std::vector<std::string>{"Webcam - Camera 1", "Webcam - Camera 2", "Card",
                                      "Pattern - 1280 x 720", "Pattern - 3840 x 2160"}));
  EXPECT_EQ(SelectedDeviceItem(devices.data(), count, PrefsFor("v4l2:usb-1", 1)), 1);
  EXPECT_EQ(SelectedDeviceItem(devices.data(), count, PrefsFor("BM_K5S29FVB2W_Card", 5)), 2);
  EXPECT_EQ(SelectedDeviceItem(devices.data(), count, PrefsFor("pattern", 1)), 4);
  // Gone, or its input gone: the first item.
  EXPECT_EQ(SelectedDeviceItem(devices.data(), count, PrefsFor("v4l2:usb-9", 0)), 0);
  EXPECT_EQ(SelectedDeviceItem(devices.data(), count, PrefsFor("pattern", 7)), 0);

  PrefsStruct prefs = PrefsFor("old", 9);
  ASSERT_TRUE(StoreDeviceItem(devices.data(), count, 2, &prefs));
  EXPECT_STREQ(prefs.uniqueID, "BM_K5S29FVB2W_Card");
  EXPECT_EQ(prefs.inputNum, 0);
  ASSERT_TRUE(StoreDeviceItem(devices.data(), count, 4, &prefs));
  EXPECT_STREQ(prefs.uniqueID, "pattern");
  EXPECT_EQ(prefs.inputNum, 1);
  EXPECT_FALSE(StoreDeviceItem(devices.data(), count, 5, &prefs));
  EXPECT_FALSE(StoreDeviceItem(devices.data(), count, -1, &prefs));
  EXPECT_STREQ(prefs.uniqueID, "pattern");
}

TEST(DeviceItemsTest, SameDeviceListedTwiceSelectsTheLastAndFullFieldsStayInBounds) {
  std::vector<CaptureDevices> devices{Device("Muxed", "dv", {"In"}), Device("Muxed", "dv", {"In"})};
  EXPECT_EQ(SelectedDeviceItem(devices.data(), 2, PrefsFor("dv", 0)), 1);

  // Fields filled to their last byte, without a terminator, are read no
  // further; the title is cut at 255 bytes.
  CaptureDevices full{};
  std::memset(full.name, 'N', sizeof full.name);
  std::memset(full.uniqueID, 'U', sizeof full.uniqueID);
  full.inputCount = 200;  // more than the 16 the record holds
  for (DeviceInput& input : full.inputs) std::memset(input.name, 'I', sizeof input.name);
  const std::vector<std::string> titles = DeviceItemTitles(&full, 1);
  ASSERT_EQ(titles.size(), 16u);
  EXPECT_EQ(titles[0], std::string(64, 'N') + " - " + std::string(32, 'I'));
  PrefsStruct prefs{};
  ASSERT_TRUE(StoreDeviceItem(&full, 1, 15, &prefs));
  EXPECT_EQ(std::string(prefs.uniqueID), std::string(127, 'U'));
  EXPECT_EQ(prefs.inputNum, 15);

  EXPECT_TRUE(DeviceItemTitles(nullptr, 3).empty());
  EXPECT_EQ(SelectedDeviceItem(nullptr, 3, prefs), 0);
}

TEST(PrefsFieldsTest, ConversionsOfTheNumberFields) {
  EXPECT_EQ(TriggerDelayFromText("300"), 44);  // a byte, as the file holds it
  EXPECT_EQ(TriggerDelayFromText("255"), 255);
  EXPECT_EQ(TriggerDelayFromText(""), 0);
  EXPECT_EQ(TriggerDelayFromText(" 12 "), 12);

  EXPECT_EQ(HundredTimesFPSFromText(""), 0);
  EXPECT_EQ(HundredTimesFPSFromText("18"), 1800);
  EXPECT_EQ(HundredTimesFPSFromText("29.97"), 2997);
  EXPECT_EQ(HundredTimesFPSFromText("23.976"), 2397);  // truncated toward zero
  EXPECT_EQ(HundredTimesFPSFromText("12.5"), 1250);
  EXPECT_EQ(HundredTimesFPSFromText(".5"), 50);
  EXPECT_EQ(HundredTimesFPSFromText("99999999999"), INT32_MAX);

  EXPECT_EQ(TrimFromText("1"), 2);
  EXPECT_EQ(TrimFromText("2"), 2);
  EXPECT_EQ(TrimFromText("3"), 4);
  EXPECT_EQ(TrimFromText("0"), 0);
  EXPECT_EQ(TrimFromText("-3"), -4);
  EXPECT_EQ(TrimFromText(""), 0);
  // Beyond 16 bits: held at the nearest even value, never wrapped round.
  EXPECT_EQ(TrimFromText("32767"), 32766);
  EXPECT_EQ(TrimFromText("70001"), 32766);
  EXPECT_EQ(TrimFromText("-70001"), -32768);

  EXPECT_EQ(MovieFrameRateText(1800), "18");
  EXPECT_EQ(MovieFrameRateText(2997), "29.97");
  EXPECT_EQ(MovieFrameRateText(1250), "12.5");
  EXPECT_EQ(MovieFrameRateText(5), "0.05");
  EXPECT_EQ(MovieFrameRateText(0), "");
  EXPECT_EQ(MovieFrameRateText(-2500), "-25");
  EXPECT_EQ(MovieFrameRateText(INT32_MIN), "-21474836.48");
}

TEST(PrefsFieldsTest, OnlyIntegersCanBeTyped) {
  for (const char* text : {"", "0", "12", "-3", "+4", " 7", "8 ", "123456789012"})
    EXPECT_TRUE(OnlyIntegerValueFormatter::isPartialStringValid(text)) << '"' << text << '"';
  for (const char* text : {"-", "+", "a", "1a", "1.5", " ", "--1", "1 2", "٣"})
    EXPECT_FALSE(OnlyIntegerValueFormatter::isPartialStringValid(text)) << '"' << text << '"';

  for (const char* text : {"", "24", "29.97", ".", "5."})
    EXPECT_TRUE(IsPartialFrameRateValid(text)) << '"' << text << '"';
  for (const char* text : {"-", "-5", "1.2.3", "a", "2,5", " 5"})
    EXPECT_FALSE(IsPartialFrameRateValid(text)) << '"' << text << '"';
}

TEST_F(AppTest, WindowShowsTheSettingsAndAMissingSavedDeviceSelectsTheFirstItem) {
  PrefsStruct saved = DefaultPrefs();
  SetUniqueID(&saved, "fake:unplugged");
  saved.captureTrigger = kCaptureTriggerEveryFrame;
  saved.dateOrdering = 2;
  saved.captureLocation = kCaptureLocationDocuments;
  saved.ignoreFrameCount = 5;
  saved.hundredTimesMovieFPS = 2997;
  saved.flipVFlag = 1;
  saved.trimTop = 8;
  saved.trimRight = -2;
  WritePrefsFile(saved);
  Launch();

  delegate_->preferences();
  ASSERT_EQ(view_.prefsWindows.size(), 1u);
  auto window = view_.prefsWindows[0];
  ASSERT_TRUE(window->shown.has_value());
  const PrefsWindowControls& shown = *window->shown;
  EXPECT_EQ(shown.deviceItems,
            (std::vector<std::string>{"Camera 0 - Composite", "Camera 0 - S-Video", "Camera 1"}));
  EXPECT_EQ(shown.deviceIndex, 0);
  EXPECT_EQ(shown.triggerIndex, 2);
  EXPECT_EQ(shown.dateOrderIndex, 2);
  EXPECT_EQ(shown.captureLocationIndex, 3);
  EXPECT_EQ(shown.triggerDelayText, "5");
  EXPECT_EQ(shown.movieFrameRateText, "29.97");
  EXPECT_FALSE(shown.flipH);
  EXPECT_TRUE(shown.flipV);
  EXPECT_EQ(shown.trimTopText, "8");
  EXPECT_EQ(shown.trimRightText, "-2");
  EXPECT_TRUE(window->visible);

  // A second command brings the same window to the front.
  delegate_->preferences();
  EXPECT_EQ(view_.prefsWindows.size(), 1u);
  EXPECT_EQ(window->showCount, 2);

  // OK without a change stores the first item's device.
  window->actions->okClick();
  EXPECT_STREQ(gPrefs.uniqueID, "fake:0");
  EXPECT_EQ(gPrefs.inputNum, 0);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 2997);
  EXPECT_TRUE(window->destroyed);
  EXPECT_FALSE(delegate_->HasPrefsWindow());
}

TEST_F(AppTest, OkStoresTheConvertedFieldsAndWritesThem) {
  Launch();
  view_.calls.clear();
  AnswerPreferences(true, [](PrefsWindowControls& c) {
    c.deviceIndex = 2;
    c.triggerIndex = 1;
    c.dateOrderIndex = 3;
    c.captureLocationIndex = 2;
    c.triggerDelayText = "300";
    c.movieFrameRateText = "";
    c.flipH = true;
    c.trimTopText = "1";
    c.trimLeftText = "2";
    c.trimRightText = "3";
    c.trimBottomText = "0";
  });
  for (const PrefsStruct& prefs : {gPrefs, ReadPrefsFile()}) {
    EXPECT_STREQ(prefs.uniqueID, "fake:1");
    EXPECT_EQ(prefs.inputNum, 0);
    EXPECT_EQ(prefs.captureTrigger, kCaptureTriggerMouseDown);
    EXPECT_EQ(prefs.dateOrdering, 3);
    EXPECT_EQ(prefs.captureLocation, kCaptureLocationDesktop);
    EXPECT_EQ(prefs.ignoreFrameCount, 44);
    EXPECT_EQ(prefs.hundredTimesMovieFPS, 0);  // 1800 at the next capture
    EXPECT_EQ(prefs.flipHFlag, 1);
    EXPECT_EQ(prefs.flipVFlag, 0);
    EXPECT_EQ(prefs.trimTop, 2);
    EXPECT_EQ(prefs.trimLeft, 2);
    EXPECT_EQ(prefs.trimRight, 4);
    EXPECT_EQ(prefs.trimBottom, 0);
  }
  // The window goes and the main window comes back to the front.
  EXPECT_TRUE(view_.prefsWindows[0]->destroyed);
  ASSERT_FALSE(view_.calls.empty());
  EXPECT_EQ(view_.calls.back(), "show main");
}

TEST_F(AppTest, CancelChangesNothing) {
  Launch();
  DeliverFrame(0);
  AnswerPreferences(false, [](PrefsWindowControls& c) {
    c.deviceIndex = 2;
    c.triggerDelayText = "9";
    c.flipH = true;
  });
  EXPECT_STREQ(gPrefs.uniqueID, "");
  EXPECT_EQ(gPrefs.ignoreFrameCount, 0);
  EXPECT_EQ(gPrefs.flipHFlag, 0);
  EXPECT_FALSE(std::filesystem::exists(PrefsFilePath()));
  EXPECT_EQ(preview_.disposals, 0);
  EXPECT_EQ(backend_.sessions.size(), 1u);
  EXPECT_TRUE(view_.prefsWindows[0]->destroyed);
}

TEST_F(AppTest, FlipOnlyChangeRestartsThePreviewAndKeepsTheInputOpen) {
  PrefsStruct saved = DefaultPrefs();
  SetUniqueID(&saved, "fake:0");
  WritePrefsFile(saved);
  Launch();
  DeliverFrame(0);
  ASSERT_EQ(preview_.starts, 1);
  const int32_t deviceRef = gInput->deviceRef;

  AnswerPreferences(true, [](PrefsWindowControls& c) { c.flipV = true; });
  EXPECT_EQ(preview_.disposals, 1);
  EXPECT_EQ(gVideoPreviewRef, nullptr);
  ASSERT_EQ(backend_.sessions.size(), 1u);
  EXPECT_FALSE(backend_.sessions[0]->stopped);
  ASSERT_NE(gInput, nullptr);
  EXPECT_EQ(gInput->deviceRef, deviceRef);
  EXPECT_TRUE(view_.captureButtonEnabled);

  // The next frame starts the new preview.
  DeliverFrame(0);
  EXPECT_EQ(preview_.starts, 2);

  // Settings that act at the next capture touch neither.
  AnswerPreferences(true, [](PrefsWindowControls& c) {
    c.triggerIndex = 2;
    c.triggerDelayText = "3";
    c.movieFrameRateText = "12";
  });
  EXPECT_EQ(preview_.disposals, 1);
  EXPECT_EQ(backend_.sessions.size(), 1u);
  EXPECT_EQ(gPrefs.hundredTimesMovieFPS, 1200);
}

TEST_F(AppTest, TrimOrInputChangeReopensTheInput) {
  PrefsStruct saved = DefaultPrefs();
  SetUniqueID(&saved, "fake:0");
  WritePrefsFile(saved);
  Launch();
  DeliverFrame(0);
  AnswerPreferences(true, [](PrefsWindowControls& c) { c.trimLeftText = "16"; });
  EXPECT_EQ(preview_.disposals, 1);
  ASSERT_EQ(backend_.sessions.size(), 2u);
  EXPECT_TRUE(backend_.sessions[0]->stopped);
  EXPECT_FALSE(backend_.sessions[1]->stopped);
  EXPECT_EQ(backend_.sessions[1]->uniqueID, "fake:0");
  // Closed, the input turned the button off; the new input's first frame
  // turns it on again.
  EXPECT_FALSE(view_.captureButtonEnabled);
  DeliverFrame(1);
  EXPECT_TRUE(view_.captureButtonEnabled);
  EXPECT_EQ(preview_.starts, 2);

  AnswerPreferences(true, [](PrefsWindowControls& c) { c.deviceIndex = 1; });
  ASSERT_EQ(backend_.sessions.size(), 3u);
  EXPECT_EQ(backend_.sessions[2]->request.inputSource, 1);
  EXPECT_EQ(view_.inputTitle, "Camera 0 - S-Video");
}

TEST_F(AppTest, ReopeningWithNoDeviceListedShowsTheOpeningMessage) {
  backend_.devices.clear();
  Launch();
  ASSERT_EQ(view_.alerts.size(), 1u);
  AnswerPreferences(true, [](PrefsWindowControls& c) {
    EXPECT_TRUE(c.deviceItems.empty());
    EXPECT_EQ(c.deviceIndex, -1);
    c.trimTopText = "4";
  });
  ASSERT_EQ(view_.alerts.size(), 2u);
  EXPECT_EQ(view_.alerts[1].message, BuildErrorAlertText(ErrorStep::kOpeningVideoInput, kNoVideoDevicesErr));
  EXPECT_EQ(gPrefs.trimTop, 4);
}

}  // namespace
