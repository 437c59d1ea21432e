// TEMPORARY: see runner_pending_deps.h.
#include "engine/runner_pending_deps.h"

#include "engine/system.h"
#include "engine/win_raii.h"

cmp_wait_no_pending_install_events_fn pCMP_WaitNoPendingInstallEvents = nullptr;

extern "C" BOOL init_dlls(void) {
  if (pCMP_WaitNoPendingInstallEvents == nullptr) {
    pCMP_WaitNoPendingInstallEvents = resolve_function<cmp_wait_no_pending_install_events_fn>(
        "init_dlls", "Setupapi.dll", "CMP_WaitNoPendingInstallEvents");
  }
  return pCMP_WaitNoPendingInstallEvents != nullptr;
}

extern "C" PSID get_sid(void) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &raw)) return nullptr;
  velmor::unique_handle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenUser, nullptr, 0, &size);
  velmor::unique_malloc<TOKEN_USER> user(static_cast<TOKEN_USER*>(malloc(size)));
  if (!user || !::GetTokenInformation(token.get(), TokenUser, user.get(), size, &size)) return nullptr;
  DWORD length = ::GetLengthSid(user.get()->User.Sid);
  PSID copy = ::LocalAlloc(LPTR, length);
  if (copy != nullptr) ::CopySid(length, copy, user.get()->User.Sid);
  return copy;
}
