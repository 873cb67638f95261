// Linux's default host, with no ScopedHost in place (the Windows one: tests/windows).
#include <gtest/gtest.h>

#include "platform/framework/Application.h"

using namespace platform;

namespace {

TEST(ConsoleDefaultHost, IsTheConsoleHostWhichApplicationUsesWithoutAnOverride) {
  EXPECT_EQ(&DefaultHost(), &ConsoleHost());
  testing::internal::CaptureStderr();
  EXPECT_EQ(Application->MessageDlg("Keep going?", mtConfirmation, {mbYes, mbNo}, 0), mrYes);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Confirm: Keep going?\n");
  Application->ProcessMessages();  // no loop: returns at once
}

}  // namespace
