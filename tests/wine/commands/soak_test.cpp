// 10,000 refreshes of the running app, driven by timer messages as fast as it takes them, while the
// lab plugs and unplugs probes: handles, memory and window objects stay flat.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <string>

#include "command_fixture.h"

namespace {

using RefreshSoak = cmd::CommandTest;

struct Usage {
  DWORD handles = 0;
  SIZE_T private_bytes = 0;
  DWORD gdi = 0, user = 0;
};

Usage usage_of(HANDLE process) {
  Usage u;
  ::GetProcessHandleCount(process, &u.handles);
  PROCESS_MEMORY_COUNTERS_EX counters = {};
  counters.cb = sizeof(counters);
  if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof(counters))) {
    u.private_bytes = counters.PrivateUsage;
  }
  u.gdi = ::GetGuiResources(process, GR_GDIOBJECTS);
  u.user = ::GetGuiResources(process, GR_USEROBJECTS);
  return u;
}

void print(const char* when, int refreshes, const Usage& u) {
  std::printf("%-6s after %5d refreshes: %lu handles, %lu KiB private, %lu GDI, %lu USER objects\n", when, refreshes,
              u.handles, static_cast<unsigned long>(u.private_bytes / 1024), u.gdi, u.user);
}

TEST_F(RefreshSoak, TenThousandRefreshesWithProbesComingAndGoingStayFlat) {
  const int kRefreshes = 10000;
  const int kWarmUp = 500;
  const char* kInstances[] = {"C0DE003A", "C0DE003B", "C0DE003C"};
  ASSERT_TRUE(velmor_lab::plant_probe(cmd::bare_probe(kInstances[0])));
  Start();

  Usage warm;
  DWORD start = ::GetTickCount();
  int changes = 0;
  for (int i = 1; i <= kRefreshes; ++i) {
    DWORD_PTR ignored = 0;
    ASSERT_NE(0, ::SendMessageTimeoutW(app.dialog, WM_TIMER, 1, 0, SMTO_NORMAL, 10000, &ignored)) << "refresh " << i;
    // Every 200 refreshes a probe comes or goes; the first one stays: 1, 2, 3, 2, 1, 2 ... attached.
    if (i % 200 == 0) {
      struct Change {
        const char* instance;
        bool plug;
      };
      const Change cycle[] = {{kInstances[1], true}, {kInstances[2], true}, {kInstances[2], false},
                              {kInstances[1], false}};
      const Change& c = cycle[(i / 200 - 1) % 4];
      bool ok = c.plug ? velmor_lab::plant_probe(cmd::bare_probe(c.instance)) : velmor_lab::unplug_probe(c.instance);
      ASSERT_TRUE(ok) << (c.plug ? "plug " : "unplug ") << c.instance;
      ++changes;
    }
    if (i == kWarmUp) {
      warm = usage_of(app.process);
      print("warm", i, warm);
    }
  }
  DWORD elapsed = ::GetTickCount() - start;
  Usage end = usage_of(app.process);
  print("end", kRefreshes, end);
  std::printf("%d refreshes in %lu ms (%.2f ms each), %d probe changes\n", kRefreshes, elapsed,
              static_cast<double>(elapsed) / kRefreshes, changes);

  // The dialog still answers and shows probes.
  EXPECT_FALSE(gui::control_text(app.dialog, cmd::kUidEdit).empty());
  EXPECT_LE(end.handles, warm.handles + 10);
  EXPECT_LE(end.gdi, warm.gdi + 5);
  EXPECT_LE(end.user, warm.user + 5);
  EXPECT_LT(end.private_bytes, warm.private_bytes + 4 * 1024 * 1024);
  EXPECT_EQ(0, app.close());
}

}  // namespace
