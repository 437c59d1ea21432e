#include "installer/pipe_server_check.h"

#include <stdlib.h>

#include "win/handles.h"
#include "win/imports.h"

namespace {

// One class of the token's information in a block of the C heap; null when unreadable.
velmor::unique_malloc<void> token_information(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  ::GetTokenInformation(token, kind, nullptr, 0, &size);
  if (size == 0) return velmor::unique_malloc<void>();
  velmor::unique_malloc<void> block(malloc(size));
  if (!block || !::GetTokenInformation(token, kind, block.get(), size, &size)) return velmor::unique_malloc<void>();
  return block;
}

bool is_admin_or_system(PSID sid) {
  return sid != nullptr && (::IsWellKnownSid(sid, WinBuiltinAdministratorsSid) || ::IsWellKnownSid(sid, WinLocalSystemSid));
}

bool token_is_trusted(HANDLE token) {
  velmor::unique_malloc<void> owner = token_information(token, TokenOwner);
  if (owner && is_admin_or_system(static_cast<TOKEN_OWNER*>(owner.get())->Owner)) return true;
  velmor::unique_malloc<void> user = token_information(token, TokenUser);
  if (user && ::IsWellKnownSid(static_cast<TOKEN_USER*>(user.get())->User.Sid, WinLocalSystemSid)) return true;
  // Where administrators' objects belong to their creator (XP's default, Wine), the group tells;
  // the filtered token of a non-elevated administrator has it for denying only.
  velmor::unique_malloc<void> groups = token_information(token, TokenGroups);
  if (!groups) return false;
  const auto* list = static_cast<TOKEN_GROUPS*>(groups.get());
  for (DWORD i = 0; i < list->GroupCount; ++i) {
    const SID_AND_ATTRIBUTES& group = list->Groups[i];
    if ((group.Attributes & SE_GROUP_ENABLED) != 0 && (group.Attributes & SE_GROUP_USE_FOR_DENY_ONLY) == 0 &&
        ::IsWellKnownSid(group.Sid, WinBuiltinAdministratorsSid)) {
      return true;
    }
  }
  return false;
}

}  // namespace

bool pipe_server_is_trusted(HANDLE pipe) {
  auto server_process_id = velmor::imports::GetNamedPipeServerProcessId();
  if (server_process_id == nullptr) return true;
  ULONG server = 0;
  if (!server_process_id(pipe, &server)) return false;
  velmor::unique_handle process(::OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, server));
  // An elevated server's process may admit only the limited query (Vista on).
  if (!process) process.reset(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, server));
  if (!process) return false;
  velmor::unique_handle token;
  if (!::OpenProcessToken(process.get(), TOKEN_QUERY, token.put())) return false;
  return token_is_trusted(token.get());
}
