#include "capture/error_messages.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ErrorAlertText, EachStepNamesItselfThenTheCodeAndItsExplanation) {
  EXPECT_EQ(BuildErrorAlertText(ErrorStep::kDuringCapture, -34),
            "Sorry, there was an error during capture: error -34, the disk is full.");
  EXPECT_EQ(BuildErrorAlertText(ErrorStep::kInitialising, 1300),
            "Sorry, there was an error while initialising: error 1300, no video input devices were found. "
            "Please check that a device is connected and any necessary driver software is installed.");
  EXPECT_EQ(BuildErrorAlertText(ErrorStep::kStartingCapture, 1301),
            "Sorry, there was an error while starting the capture: error 1301, could not create the file.");
  EXPECT_EQ(BuildErrorAlertText(ErrorStep::kFinishingCapture, -43),
            "Sorry, there was an error while finishing capture: error -43, file not found.");
  // Codes without a text show their number and nothing behind it.
  EXPECT_EQ(BuildErrorAlertText(ErrorStep::kOpeningVideoInput, 90022),
            "Sorry, there was an error opening the video input device: error 90022");
  EXPECT_EQ(BuildErrorAlertText(ErrorStep::kDuringCapture, 777),
            "Sorry, there was an error during capture: error 777");
}

TEST(ErrorSuffix, OnlyTheListedCodesHaveText) {
  EXPECT_EQ(GetErrorSuffix(-37), ", bad file name.");
  EXPECT_EQ(GetErrorSuffix(-48), ", that file already exists.");
  EXPECT_EQ(GetErrorSuffix(-120), ", directory not found.");
  EXPECT_EQ(GetErrorSuffix(800), ", the operation timed out.");
  EXPECT_EQ(GetErrorSuffix(90020), ", count not open the video input.");
  EXPECT_EQ(GetErrorSuffix(90021), ", the video input device could not be found.");
  EXPECT_EQ(GetErrorSuffix(90023), ", could not open the BlackMagic device.");
  EXPECT_EQ(GetErrorSuffix(90024), ", could not start streaming from the BlackMagic device.");
  EXPECT_EQ(GetErrorSuffix(90025), ", the format of video from the BlackMagic device has changed unexpectedly.");
  // No ranges: neighbours of listed codes, and the codes never explained.
  for (int32_t code : {0, -33, -35, -36, -121, 34, 555, 729, 777, 992, 1302, 90022, 90026})
    EXPECT_EQ(GetErrorSuffix(code), "") << code;
}

TEST(ErrorAlertWindow, RunningCaptureErrorsGoOnTheCaptureWindow) {
  EXPECT_EQ(GetErrorAlertWindow(ErrorStep::kInitialising), ErrorAlertWindow::kMainWindow);
  EXPECT_EQ(GetErrorAlertWindow(ErrorStep::kOpeningVideoInput), ErrorAlertWindow::kMainWindow);
  EXPECT_EQ(GetErrorAlertWindow(ErrorStep::kStartingCapture), ErrorAlertWindow::kMainWindow);
  EXPECT_EQ(GetErrorAlertWindow(ErrorStep::kDuringCapture), ErrorAlertWindow::kCaptureWindow);
  EXPECT_EQ(GetErrorAlertWindow(ErrorStep::kFinishingCapture), ErrorAlertWindow::kCaptureWindow);
}

}  // namespace
