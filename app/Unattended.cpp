#include "app/Unattended.h"

#include <process.h>

#include "app/CommandLine.h"
#include "engine/engine.h"
#include "win/imports.h"
#include "win/registry.h"

bool HasInteractiveDesktop() {
  USEROBJECTFLAGS flags = {};
  DWORD needed = 0;
  HWINSTA station = ::GetProcessWindowStation();
  if (station != nullptr && ::GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof(flags), &needed) &&
      (flags.dwFlags & WSF_VISIBLE) == 0) {
    return false;
  }
  // Session 0 holds services only from Vista on; on XP it is the console user's.
  if (windows_version_code == -1) detect_windows_version();
  const bool vista_or_later = windows_version_code >= 0x60;
  DWORD session = 0;
  if (vista_or_later && ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) && session == 0) return false;

  SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
  PSID system = nullptr;
  if (!::AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system)) return true;
  BOOL is_system = FALSE;
  if (!::CheckTokenMembership(nullptr, system, &is_system)) is_system = FALSE;
  ::FreeSid(system);
  return !is_system;
}

unsigned NativeMachine() {
  auto is_wow64_2 = velmor::imports::IsWow64Process2();
  USHORT process = 0, native = 0;
  if (is_wow64_2 == nullptr || !is_wow64_2(::GetCurrentProcess(), &process, &native)) return 0;
  return native;
}

bool SModeActive() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\CI\\Policy", 0, KEY_QUERY_VALUE,
                      &raw) != ERROR_SUCCESS) {
    return false;
  }
  velmor::unique_hkey key(raw);
  DWORD required = 0;
  return velmor::read_registry_dword(key.get(), "SkuPolicyRequired", &required) == ERROR_SUCCESS && required == 1;
}

RunBound::RunBound(unsigned limit_ms, HANDLE ends_early)
    : limit_ms_(limit_ms),
      start_(::GetTickCount()),
      ends_early_(ends_early),
      stop_(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  if (stop_) thread_.reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &Watch, this, 0, nullptr)));
}

RunBound::~RunBound() {
  if (stop_) ::SetEvent(stop_.get());
  if (thread_) ::WaitForSingleObject(thread_.get(), INFINITE);
}

bool RunBound::expired() const { return remaining_ms() == 0; }

unsigned RunBound::remaining_ms() const { return RemainingRunMs(::GetTickCount() - start_, limit_ms_); }

unsigned __stdcall RunBound::Watch(void* self) {
  RunBound* bound = static_cast<RunBound*>(self);
  HANDLE waits[2] = {bound->stop_.get(), bound->ends_early_};
  DWORD woke = ::WaitForMultipleObjects(bound->ends_early_ != nullptr ? 2 : 1, waits, FALSE, bound->limit_ms_);
  if (woke != WAIT_TIMEOUT && woke != WAIT_OBJECT_0 + 1) return 0;
  // An attempt may be about to start its installer: keep ending them until the run is over.
  do {
    stop_current_installation();
  } while (::WaitForSingleObject(bound->stop_.get(), 200) == WAIT_TIMEOUT);
  return 0;
}
