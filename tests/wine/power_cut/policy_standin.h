// What the local policy stand-in (policy_standin.cpp) and the tests that register it share.
#pragma once

// The class the product asks COM for: the local group policy object.
#define POLICY_STANDIN_CLASS_ID L"{EA502722-A23D-11D1-A7D3-0000F87571E3}"

// The policy's machine part, in the registry's 64-bit view (KEY_WOW64_64KEY).
inline constexpr wchar_t kPolicyStandinMachineKey[] = L"Software\\Velmor tests\\Local policy\\Machine";
