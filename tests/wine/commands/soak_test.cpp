// 10,000 refreshes of the running app, driven by timer messages as fast as it takes them, while the
// lab plugs and unplugs probes: handles, memory and window objects stay flat.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "command_fixture.h"
#include "process_usage.h"

namespace {

using RefreshSoak = cmd::CommandTest;

using Usage = wine_test::process_usage;
using wine_test::usage_of;

// Wine's setupapi, enumerating in the app while the lab removes a node, can write the node's key
// back with a bare ClassGUID; the lab leaves such keys alone (not its mark), so the soak removes
// them for its own instances before plugging one in again.
void scrub(const char* instance) {
  for (int n = -1; n <= 4; ++n) {
    std::string id = n < 0 ? velmor_lab::probe_parent_id(instance) : velmor_lab::probe_interface_id(instance, n);
    ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, ("System\\CurrentControlSet\\Enum\\" + id).c_str());
  }
}

void print(const char* when, int refreshes, const Usage& u) {
  std::printf("%-4s after %5d refreshes: %lu handles, %lu KiB private, %lu KiB working set, %lu GDI, %lu USER objects\n",
              when, refreshes, u.handles, static_cast<unsigned long>(u.private_bytes / 1024),
              static_cast<unsigned long>(u.working_set / 1024), static_cast<unsigned long>(u.gdi_objects),
              static_cast<unsigned long>(u.user_objects));
}

TEST_F(RefreshSoak, TenThousandRefreshesWithProbesComingAndGoingStayFlat) {
  // VELMOR_SOAK_REFRESHES shortens a run by hand.
  char count[16] = {};
  const int kRefreshes = ::GetEnvironmentVariableA("VELMOR_SOAK_REFRESHES", count, sizeof(count)) ? atoi(count) : 10000;
  const int kWarmUp = 500;
  const char* kInstances[] = {"C0DE003A", "C0DE003B", "C0DE003C"};
  for (const char* instance : kInstances) scrub(instance);
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
      if (c.plug) scrub(c.instance);
      bool ok = c.plug ? velmor_lab::plant_probe(cmd::bare_probe(c.instance)) : velmor_lab::unplug_probe(c.instance);
      ASSERT_TRUE(ok) << (c.plug ? "plug " : "unplug ") << c.instance;
      ++changes;
    }
    if (i == kWarmUp) {
      warm = usage_of(app.pid);
      print("warm", i, warm);
    }
  }
  DWORD elapsed = ::GetTickCount() - start;
  Usage end = usage_of(app.pid);
  print("end", kRefreshes, end);
  std::printf("%d refreshes in %lu ms (%.2f ms each), %d probe changes\n", kRefreshes, elapsed,
              static_cast<double>(elapsed) / kRefreshes, changes);

  // The dialog still answers and shows probes.
  EXPECT_FALSE(gui::control_text(app.dialog, IDC_UID_EDIT).empty());
  EXPECT_LE(end.handles, warm.handles + 10);
  ASSERT_GT(warm.handles, 0u) << "no figures for the app";
  EXPECT_LT(end.private_bytes, warm.private_bytes + 4 * 1024 * 1024);
  EXPECT_LE(end.gdi_objects, warm.gdi_objects + 2);
  EXPECT_EQ(0, app.close());
  for (const char* instance : kInstances) scrub(instance);
}

}  // namespace
