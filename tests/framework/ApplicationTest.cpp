#include "platform/framework/Application.h"

#include <gtest/gtest.h>

#include "platform/fakes/RecordingHost.h"

using namespace platform;

namespace {

TEST(Application, MessageDlgReachesTheHostWithTheStandardTitleOfItsKind) {
  RecordingHost host;
  ScopedHost useHost(host);
  host.answer = mrNo;
  EXPECT_EQ(Application->MessageDlg("Disk full", mtError, {mbOK}, 0), mrNo);
  ASSERT_EQ(host.boxes.size(), 1u);
  EXPECT_EQ(host.boxes[0], (TMessageBox{mtError, "Disk full", {mbOK}, 0, "Error"}));

  Application->SetTitle("Sales Tool");
  Application->MessageDlg("a", mtWarning, {mbYes, mbNo}, 7);
  Application->MessageDlg("b", mtInformation, {mbOK}, 0);
  Application->MessageDlg("c", mtConfirmation, {mbOK, mbCancel}, 0);
  Application->MessageDlg("d", mtCustom, {}, 0);
  Application->SetTitle("");
  ASSERT_EQ(host.boxes.size(), 5u);
  EXPECT_EQ(host.boxes[1], (TMessageBox{mtWarning, "a", {mbYes, mbNo}, 7, "Warning"}));
  EXPECT_EQ(host.boxes[2].Title, "Information");
  EXPECT_EQ(host.boxes[3].Title, "Confirm");
  EXPECT_EQ(host.boxes[4].Title, "Sales Tool");  // a custom box carries the program's title
}

TEST(Application, TheConsoleHostWritesTheBoxToStandardErrorAndAnswersTheDefaultButton) {
  ScopedHost console(ConsoleHost());  // on Windows the default host shows a real box
  testing::internal::CaptureStderr();
  const TModalResult result = Application->MessageDlg("Name 'x' #1", mtError, {mbOK}, 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Name 'x' #1\n");
  EXPECT_EQ(result, mrOk);

  EXPECT_EQ(DefaultResult({mbCancel, mbOK}), mrOk);
  EXPECT_EQ(DefaultResult({mbNo, mbYes}), mrYes);
  EXPECT_EQ(DefaultResult({mbRetry, mbAbort}), mrAbort);
  EXPECT_EQ(DefaultResult({}), mrNone);
}

}  // namespace
