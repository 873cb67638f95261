// `tabrix about` in the Windows build shows the about box on the screen until it is closed:
// the client is started as its users start it, and its window is found, read and closed
// from here, as a person would.
#include <gtest/gtest.h>

#include <string>

#include "TabrixVersion.h"
#include "tests/windows/TestWindows.h"
#include "tests/windows/WineRegistry.h"

namespace {

using wintest::TextOf;

struct Search {
  DWORD process;
  HWND found = nullptr;
};

BOOL CALLBACK FindVisibleWindowOf(HWND window, LPARAM searchPointer) {
  auto& search = *reinterpret_cast<Search*>(searchPointer);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search.process || !IsWindowVisible(window)) return TRUE;
  search.found = window;
  return FALSE;
}

TEST(ClientAbout, ShowsTheFilledBoxUntilItIsClosedAndExitsZero) {
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  std::string line = "\"" + wintest::ProgramDir() + "tabrix.exe\" about";
  ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process))
      << line;

  // Up to 30 s for the window; a client that cannot make one exits instead.
  Search search{process.dwProcessId};
  for (int i = 0; i < 300 && !search.found; ++i) {
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) break;
    EnumWindows(FindVisibleWindowOf, reinterpret_cast<LPARAM>(&search));
  }
  std::string caption;
  if (search.found) {
    caption = TextOf(search.found);
    PostMessageA(search.found, WM_CLOSE, 0, 0);
  }
  const bool exited = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  if (!exited) TerminateProcess(process.hProcess, 99);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);

  ASSERT_NE(search.found, nullptr) << "no window from " << line << " (exit " << status << ")";
  EXPECT_EQ(caption, "About TTabrixCreator v" TABRIX_VERSION);
  EXPECT_TRUE(exited);
  EXPECT_EQ(status, 0u);
}

}  // namespace
