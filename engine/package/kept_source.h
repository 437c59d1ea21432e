// The source of an installed package on Windows before Vista. Those systems have no driver store:
// Windows remembers the folder a driver was installed from and looks there again when the probe
// is plugged into another port, so the package must outlive its installation. One folder per
// package kind, "<common application data>\Velmor driver sources\<INF name without .inf>", only
// administrators and the system account may change; the next installation of that kind replaces
// it, and /uninstall removes it. Vista and later keep the source in the driver store: nothing is
// kept there.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Removes the kept source of the packages installed from INFs named inf_name (a bare name ending
// in ".inf"), with the folder of all sources once it is empty. Nothing happens where none was kept.
// 0, or a negative status after a warning line.
int wdi_forget_package_source(const char* inf_name);

#ifdef __cplusplus
}

namespace velmor::kept_source {

// Before Vista: replaces the kind's kept source with a copy of the protected package folder
// `prepared` and names the copy in `folder`, to install from. False (after a warning; `folder`
// unchanged) when nothing could be kept: the installation then runs from `prepared` as on later
// systems. Call with the install mutex held.
bool keep(const char* prepared, const char* inf_name, char (&folder)[MAX_PATH]);

// What a run killed between the steps of a replacement left, made whole: the kept source is the
// old or the new copy, complete, and nothing else of the kind stays. Done by keep and by
// wdi_forget_package_source first.
void mend(const char* inf_name);

}  // namespace velmor::kept_source
#endif
