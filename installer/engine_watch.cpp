#include "installer/engine_watch.h"

#include <process.h>

#include "protocol/status.h"
#include "installer/restore_policy.h"
#include "win/handles.h"
#include "win/imports.h"
#include "win/lock.h"

namespace {

velmor::critical_section restore_lock;
bool restore_points_off = false;
bool engine_gone = false;

unsigned __stdcall watch(void* engine) {
  velmor::unique_handle process(static_cast<HANDLE>(engine));
  ::WaitForSingleObject(process.get(), INFINITE);
  {
    velmor::critical_section_lock hold(restore_lock);
    engine_gone = true;
    if (restore_points_off) set_restore_point_policy(false);
    restore_points_off = false;
  }
  // Not ExitProcess: the main thread may be inside the device installer, holding locks that the
  // process's orderly exit would wait for.
  ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(WDI_ST_OTHER));
  return 0;
}

}  // namespace

void watch_engine(HANDLE pipe) {
  auto server_process_id = velmor::imports::GetNamedPipeServerProcessId();
  ULONG id = 0;
  if (server_process_id == nullptr || !server_process_id(pipe, &id) || id == 0) return;
  HANDLE engine = ::OpenProcess(SYNCHRONIZE, FALSE, id);
  if (engine == nullptr) {
    // Gone already (or never ours to watch): nothing was switched off yet.
    if (::GetLastError() == ERROR_INVALID_PARAMETER) ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(WDI_ST_OTHER));
    return;
  }
  HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, watch, engine, 0, nullptr));
  if (thread == nullptr) {
    ::CloseHandle(engine);
    return;
  }
  ::CloseHandle(thread);
}

void switch_restore_points_off() {
  velmor::critical_section_lock hold(restore_lock);
  if (engine_gone) return;
  restore_points_off = set_restore_point_policy(true);
}

void put_restore_points_back() {
  velmor::critical_section_lock hold(restore_lock);
  if (restore_points_off) set_restore_point_policy(false);
  restore_points_off = false;
}
