// The console handler on the events Wine cannot send: Ctrl+Break asks for the stop and lets the
// process go on at once; a close holds the process until the run is over.
#include <gtest/gtest.h>

#include <windows.h>
#include <process.h>

#include "app/ConsoleStop.h"

namespace {

unsigned __stdcall Close(void*) { return ConsoleStop::OnEvent(CTRL_CLOSE_EVENT) ? 1 : 0; }

TEST(ConsoleStopHandler, BreakStopsTheRunAndCloseWaitsForItsEnd) {
  HANDLE closing = nullptr;
  {
    ConsoleStop stop;
    EXPECT_FALSE(stop.requested());
    EXPECT_TRUE(ConsoleStop::OnEvent(CTRL_BREAK_EVENT));
    EXPECT_TRUE(stop.requested());
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(stop.event(), 0));

    closing = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Close, nullptr, 0, nullptr));
    ASSERT_NE(nullptr, closing);
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(closing, 1000)) << "returned before the run was over";
  }
  // The run is over: the handler returns well before Windows would end the process.
  EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(closing, 2000));
  DWORD handled = 0;
  ::GetExitCodeThread(closing, &handled);
  EXPECT_EQ(1u, handled);
  ::CloseHandle(closing);

  // Once the run is over, a late close is not held up.
  const DWORD start = ::GetTickCount();
  EXPECT_TRUE(ConsoleStop::OnEvent(CTRL_SHUTDOWN_EVENT));
  EXPECT_LT(::GetTickCount() - start, 1000u);
}

}  // namespace
