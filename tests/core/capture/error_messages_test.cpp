#include "core/capture/error_messages.h"

#include <gtest/gtest.h>

#include <string>

using namespace fw;

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
  // The texts stand as the program has always shown them, slip included.
  EXPECT_EQ(GetErrorSuffix(90020), ", count not open the video input.");
  // A plain lookup, no ranges: neighbours of listed codes and the codes
  // that are never explained show as numbers alone.
  for (int32_t code : {0, -33, -35, -36, -121, 34, 555, 729, 777, 992, 1302, 90022, 90026})
    EXPECT_EQ(GetErrorSuffix(code), "") << code;
}

}  // namespace
