#include "win/mutex_owner.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <cstdio>

#include "win/handles.h"

namespace velmor {
namespace {

// This process's own account: it runs elevated, so that account is an administrator.
bool is_own_user(PSID sid) {
  unique_handle token;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, token.put())) return false;
  BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE] = {};
  DWORD size = 0;
  if (!::GetTokenInformation(token.get(), TokenUser, buffer, sizeof(buffer), &size)) return false;
  return ::EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid) != FALSE;
}

bool is_trusted_owner(PSID sid) {
  return ::IsWellKnownSid(sid, WinLocalSystemSid) || ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) ||
         is_own_user(sid);
}

}  // namespace

bool mutex_squatted(const char* name, char* owner, size_t owner_size) {
  unique_handle mutex(::OpenMutexA(READ_CONTROL, FALSE, name));
  if (!mutex) {
    if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
    std::snprintf(owner, owner_size, "%s", "an account that hides it");
    return true;
  }
  PSID sid = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (::GetSecurityInfo(mutex.get(), SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &sid, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
    return false;
  }
  unique_hlocal descriptor_owner(descriptor);
  if (sid == nullptr || is_trusted_owner(sid)) return false;
  char* text = nullptr;
  if (!::ConvertSidToStringSidA(sid, &text)) {
    std::snprintf(owner, owner_size, "%s", "an unknown account");
    return true;
  }
  unique_hlocal text_owner(text);
  std::snprintf(owner, owner_size, "%s", text);
  return true;
}

bool squatted_mutex_line(const char* name, char* line, size_t size) {
  char owner[192] = {};
  if (!mutex_squatted(name, owner, sizeof(owner))) return false;
  std::snprintf(line, size, "%s was made by %s, neither an administrator nor the system: another account took the name "
                "first, no other copy of this tool is at work", name, owner);
  return true;
}

}  // namespace velmor
